// Every text updater-manifest prints, in one place. "%s" and "%d" take the
// values named beside each; Format fills them in.
#pragma once

#include <string>

namespace manifesttexts {

// lint: the document and its root.
inline constexpr char kNotWellFormedFormat[] =
    "not well-formed XML: %s (column %d); the updater rejects the whole manifest";
inline constexpr char kNoRootFormat[] =
    "no \"%s\" element: the updater finds no update in this manifest";
inline constexpr char kNoVersion[] =
    "\"updateinfo\" has no version: no installed version is older than it";
inline constexpr char kVersionNotFourNumbersFormat[] =
    "version \"%s\" is not four numbers: the updater reads it as %s";
inline constexpr char kVersionZero[] = "version 0.0.0.0 is never newer than an installed version";
inline constexpr char kVersionCutFormat[] =
    "version %s is recorded as %s, which is older, so a client installs it again on every run";
inline constexpr char kNotReadInRootFormat[] =
    "<%s> is not read: the updater reads only \"%s\" elements here%s";
inline constexpr char kExpiresNotDateFormat[] =
    "expires \"%s\" is not a date YYYY-MM-DD: a client that checks signatures refuses the manifest";
inline constexpr char kExpiresPastFormat[] =
    "expires %s is past: a client that checks signatures refuses the manifest";
inline constexpr char kNoExpiresFormat[] =
    "\"updateinfo\" has no %s: a client that checks signatures refuses the manifest (publish "
    "writes one)";
inline constexpr char kNoPackageFormat[] =
    "no \"%s\": the updater installs nothing and keeps the installed version";

// lint: packages and action lists.
inline constexpr char kNotReadInPackageFormat[] = "<%s> is not read in a package%s";
inline constexpr char kMd5WithoutUrl[] =
    "md5 without a url: the package has no file, and the updater ignores it";
inline constexpr char kMd5NotDigestFormat[] =
    "md5 \"%s\" is not 32 hexadecimal digits: no download of the file can pass the check";
inline constexpr char kNoSha256[] =
    "a url without a sha256: the file is checked by md5 only (publish fills in both)";
inline constexpr char kNoSize[] =
    "a url without a size: the download is not held to the file's length (publish fills it in)";
inline constexpr char kRefusedWithoutFormat[] =
    "a url without a %s: a client that checks signatures refuses the manifest (publish fills it "
    "in)";
inline constexpr char kSizeNotNumberFormat[] =
    "size \"%s\" is not a number of bytes: no download of the file can pass the check";
inline constexpr char kSha256NotDigestFormat[] =
    "sha256 \"%s\" is not 64 hexadecimal digits: no download of the file can pass the check";
inline constexpr char kThisFileInUrlFormat[] =
    "%s stands for the package file only in action parameters: in the url it stays as written";
inline constexpr char kSecondListFormat[] =
    "a second <%s> in this package: the updater reads only the first";
inline constexpr char kBeforeFirstActionFormat[] =
    "<%s> before the first \"action\" element of <%s>: the updater passes it over";
inline constexpr char kNoTypeFormat[] = "<%s> without a \"type\": the updater passes it over";
inline constexpr char kTypeNotRegisteredFormat[] =
    "action type \"%s\" is not registered: the updater passes it over%s";

// lint: actions an atomic update cannot undo; the second "%s" is one of the
// two reasons.
inline constexpr char kNotUndoneFormat[] =
    "%s in an atomic manifest: when the update is put back, %s";
inline constexpr char kProgramKeepsItsEffects[] = "the program it started keeps its own effects";
inline constexpr char kMessageStaysSent[] = "the message stays sent";

// lint: parameters and their values.
inline constexpr char kNoParameterFormat[] =
    "\"%s\" is no parameter of \"%s\": the updater does not read it%s";
inline constexpr char kSuggestionFormat[] = " (did you mean \"%s\"?)";
inline constexpr char kParameterListFormat[] = " (its parameters: %s)";
inline constexpr char kVariableNotClosedFormat[] =
    "\"%s\" is not closed by \"}\": it stays as written%s";
inline constexpr char kNoPathVariableFormat[] = "\"%s\" is no path variable: it stays as written%s";
inline constexpr char kEnvironmentStaysFormat[] =
    "\"%s\" in %s stays as written: the updater expands environment references only in a value "
    "that also holds %s";
inline constexpr char kNoWindow[] =
    "sendmessage without a classname or a title: the updater finds no window to send to";
inline constexpr char kNoMessage[] = "sendmessage without a message: the updater sends message 0";
inline constexpr char kUnknownMessageFormat[] =
    "message \"%s\" is neither a known message name (%s) nor a decimal number: the updater sends "
    "message %d%s";
inline constexpr char kNotDecimalParamFormat[] =
    "%s \"%s\" is not a decimal number: the updater sends %d";
inline constexpr char kUnknownShortcutCmdFormat[] =
    "shortcut cmd \"%s\" is none of %s: the updater does nothing%s";
inline constexpr char kShortcutWithoutName[] = "shortcut without a name: the updater does nothing";
inline constexpr char kUnknownRootFormat[] =
    "registry key \"%s\": \"%s\" is no root key, so the updater uses HKEY_LOCAL_MACHINE\\%s%s";
inline constexpr char kNoSubKeyFormat[] =
    "registry key \"%s\" has no sub key: the updater takes it as the sub key %s of "
    "HKEY_LOCAL_MACHINE";
inline constexpr char kUnknownValueTypeFormat[] =
    "valuetype \"%s\" is none of %s: the updater writes a string%s";
inline constexpr char kNotHexFormat[] =
    "BINARY value \"%s\" is not in \"hex:\" notation (hex:0a,0b,ff): the updater writes nothing";
inline constexpr char kBinaryWithoutStartPos[] =
    "BINARY value without \"startpos\": it is bound as 0, so an existing value is patched from "
    "its first byte, not replaced (startpos=\"-1\" replaces it)";
inline constexpr char kDwordNotNumberFormat[] = "DWORD value \"%s\" is not a decimal number";
inline constexpr char kDwordOutOfRangeFormat[] =
    "DWORD value \"%s\" is out of the range %d to %d that the updater reads";

// publish.
inline constexpr char kNoFileForUrlFormat[] = "url %s: no file \"%s\" in %s";
inline constexpr char kCannotReadFormat[] = "cannot read %s";
inline constexpr char kCannotPlaceFormat[] =
    "cannot tell where <%s> stands on this line; give it a line of its own";
inline constexpr char kDigestsNotPlaced[] =
    "the digests, sizes and expiry date could not be placed in the text; nothing written";
inline constexpr char kExpiresOptionFormat[] = "--expires %s: not a date YYYY-MM-DD or +DAYS";
inline constexpr char kExpiresOptionPastFormat[] = "--expires %s: that day is past";
inline constexpr char kExpiresDaysFormat[] = "--expires %s: not a number of days from 1 to %d";

// release.
inline constexpr char kReleaseCannotListFormat[] = "%s: cannot be listed";
inline constexpr char kReleaseLinkFormat[] =
    "%s: a link; a release carries files and folders only (copy what it points to)";
inline constexpr char kReleaseSpecialFileFormat[] = "%s: neither a file nor a folder";
inline constexpr char kReleaseControlCharacterFormat[] =
    "%s: a control character in the name, which a manifest cannot carry";
inline constexpr char kReleaseSeparatorInNameFormat[] =
    "%s: a \"\\\" inside a name, which the updater reads as a separator";
inline constexpr char kReleaseClimbingNameFormat[] =
    "%s: the updater refuses the name \"%s\" (\"..\", or dots and blanks alone, climbs out of "
    "its folder)";
inline constexpr char kReleaseWindowsNameFormat[] =
    "%s: Windows cannot hold the name \"%s\" (one of <>:\"|?*, a dot or blank at the end, or a "
    "device name)";
inline constexpr char kReleaseVariableInNameFormat[] =
    "%s: \"${\" in a name that the manifest carries, where the updater reads a variable";
inline constexpr char kReleaseNotTextFormat[] = "%s: the name is not valid text of this system";
inline constexpr char kReleaseNotGbkFormat[] =
    "%s: GBK cannot hold this name, so the product's clients cannot";
inline constexpr char kReleaseNameTooLongFormat[] =
    "%s: the name is %d bytes as the client reads it; the updater refuses %d or more";
inline constexpr char kReleaseDriveNameFormat[] =
    "%s: the name starts with a drive, which the updater refuses in a zip";
inline constexpr char kReleaseOneNameOnWindowsFormat[] =
    "%s and %s: one name on Windows, which ignores letter case";
inline constexpr char kReleaseTimeHeldFormat[] =
    "%s: its time is outside what a zip records; it is given %s";
inline constexpr char kReleaseFileTooLargeFormat[] =
    "%s: 4 GiB or more, more than a zip entry holds";
inline constexpr char kReleaseCommentFormat[] =
    "<!-- updater-manifest release: files in the package: %d, paths removed: %d, folders made: "
    "%d -->";
inline constexpr char kReleaseVersionFormat[] =
    "--version %s: not four numbers that an installation records (at most 15.255.15.65535, not "
    "0.0.0.0)";
inline constexpr char kReleaseBaseUrlFormat[] =
    "--base-url %s: not an http:// or https:// URL without a query";
inline constexpr char kReleaseOutInsideFormat[] = "-o %s: inside %s, which the release compares";
inline constexpr char kReleaseEqualFormat[] =
    "%s and %s hold the same files and folders: there is nothing to release";
inline constexpr char kReleaseNothingWrittenFormat[] = "%s: nothing written";
inline constexpr char kReleaseZipWrittenFormat[] = "%s: new or changed files: %d, %llu bytes";
inline constexpr char kReleaseManifestWrittenFormat[] =
    "%s: version %s, paths removed: %d, folders made: %d, expires %s";
inline constexpr char kReleaseNamesOptionFormat[] = "--names %s: not utf8 or gbk";
inline constexpr char kReleaseClientOptionFormat[] = "--client %s: not windows or posix";
inline constexpr char kReleaseGbkForPosix[] =
    "--names gbk: POSIX clients read UTF-8 names; GBK names are for Windows clients";

// plan.
inline constexpr char kPlanInstalledFormat[] = "installed version: %s";
inline constexpr char kPlanNoInstalled[] = "(none)";
inline constexpr char kPlanUpdaterLogsFormat[] = "the updater logs: %s";
inline constexpr char kPlanUnusableFormat[] =
    "the updater cannot use this manifest: it shows \"%s\" and installs nothing";
inline constexpr char kPlanManifestVersionFormat[] = "manifest version: %s (line %d)";
inline constexpr char kPlanNotNewer[] =
    "not newer: nothing is downloaded or run, and the installed version stays";
inline constexpr char kPlanNoPackages[] =
    "newer, but without packages: nothing is installed, and the installed version stays";
inline constexpr char kPlanNewerFormat[] =
    "newer: the update runs %d package%s, then records %s as the installed version";
inline constexpr char kPlanPackageFormat[] = "package %d%s (line %d)";
inline constexpr char kPlanVersionFormat[] = "  version: %s";
inline constexpr char kPlanDescriptionFormat[] = "  description: \"%s\" (logged and shown first)";
inline constexpr char kPlanNoFileFormat[] = "  file: none; only the actions run, and %s is empty";
inline constexpr char kPlanFileFormat[] = "  file: %s";
inline constexpr char kPlanSavedAsFormat[] = "  saved as: %s (%s in its actions)";
inline constexpr char kPlanNoMd5[] = "  md5, sha256, size: none; the file is not checked";
inline constexpr char kPlanMd5Format[] =
    "  md5: %s (checked after each download, three attempts at most)";
inline constexpr char kPlanSha256Format[] =
    "  sha256: %s (checked after each download, three attempts at most)";
inline constexpr char kPlanSizeFormat[] =
    "  size: %s bytes (a longer body stops the download, another length fails the check)";
inline constexpr char kPlanEntriesFormat[] = "  %s beside the manifest holds %d entries:";
inline constexpr char kPlanEntryFormat[] = "    %s";
inline constexpr char kPlanUnixEntryFormat[] = "    %s (mode %o)";
inline constexpr char kPlanEntryUnreadable[] = "    (an entry the updater cannot read)";
inline constexpr char kPlanListNoneFormat[] = "  %s: none";
inline constexpr char kPlanListFormat[] = "  %s:";
inline constexpr char kPlanActionFormat[] = "    %d. %s (line %d)";
inline constexpr char kPlanNotRegisteredFormat[] =
    "    %d. (line %d) type \"%s\" is not registered: passed over";
inline constexpr char kPlanAbsent[] = " (attribute absent)";

// verify.
inline constexpr char kVerifyNoScratch[] = "no scratch folder for the downloads";
inline constexpr char kVerifyCannotCreateFormat[] = "cannot create %s";
inline constexpr char kVerifyManifestFailedFormat[] = "FAILED manifest %s: cannot be downloaded";
inline constexpr char kVerifyManifestEmptyFormat[] = "FAILED manifest %s: empty";
inline constexpr char kVerifyManifestUnusableFormat[] =
    "FAILED manifest %s: the updater cannot use it";
inline constexpr char kVerifyManifestFormat[] = "manifest %s: version %s";
inline constexpr char kVerifyUpdaterLogsFormat[] = "  the updater logs: %s";
inline constexpr char kVerifyPackageLabelFormat[] = "package %d (line %d)";
inline constexpr char kVerifyNoFileFormat[] = "no file  %s";
inline constexpr char kVerifyDownloadFailedFormat[] = "FAILED   %s %s: cannot be downloaded";
inline constexpr char kVerifyNoMd5Format[] = "no md5   %s %s: not checked by the updater (%s)";
inline constexpr char kVerifyOkFormat[] = "ok       %s %s";
inline constexpr char kVerifyMismatchFormat[] =
    "MISMATCH %s %s: the manifest says %s, the server's file is %s";
inline constexpr char kVerifySha256MismatchFormat[] =
    "MISMATCH %s %s: the manifest's sha256 is %s, the server's file is %s";
inline constexpr char kVerifySizeMismatchFormat[] =
    "MISMATCH %s %s: the manifest's size is %s, the server's file has %s bytes";
inline constexpr char kVerifyNotVouchedFormat[] =
    "FAILED   %s %s: no sha256 or no size, so a client that checks signatures refuses the "
    "manifest";
inline constexpr char kVerifyUnreadable[] = "unreadable";
inline constexpr char kVerifySignatureFailedFormat[] = "FAILED signature %s: cannot be downloaded";
inline constexpr char kVerifySignatureEmptyFormat[] = "FAILED signature %s: empty";
inline constexpr char kVerifySignatureInvalidFormat[] =
    "FAILED signature %s: not a valid signature of the manifest by any key given";
inline constexpr char kVerifyNoTimestampFormat[] =
    "FAILED signature %s: its trusted comment has no timestamp";
inline constexpr char kVerifySignatureOkFormat[] = "signature %s: valid, timestamp %s";
inline constexpr char kVerifyExpiredFormat[] = "FAILED manifest: expired (expires %s)";
inline constexpr char kVerifyNoExpires[] = "FAILED manifest: no expires";
inline constexpr char kVerifyNoKeysFormat[] = "%s: no minisign public key in it";

// The command line.
inline constexpr char kUsage[] =
    "usage:\n"
    "  updater-manifest lint [--pubkey KEY|FILE]... FILE...\n"
    "      reports what would make the updater do other than the manifest's author meant;\n"
    "      with keys, also what a client that checks signatures refuses (no expires, a\n"
    "      package file without its sha256 or size);\n"
    "      exit 0 clean, 1 with findings, 2 when a file cannot be read\n"
    "  updater-manifest publish TEMPLATE DIR -o OUT [--expires YYYY-MM-DD|+DAYS]\n"
    "      fills in each package's md5, sha256 and size from the file of its url's name in\n"
    "      DIR, and the expiry date (30 days ahead unless given)\n"
    "  updater-manifest release OLD NEW --version VERSION --base-url URL -o OUT\n"
    "                   [--expires YYYY-MM-DD|+DAYS] [--atomic] [--names utf8|gbk]\n"
    "                   [--client windows|posix]\n"
    "      compares OLD (the product as installed) with NEW (as it must be after the\n"
    "      update) and writes into OUT the zip of what is new or changed and update.xml,\n"
    "      which installs it and removes what NEW no longer has; exit 1, with nothing\n"
    "      written, when nothing changed or the folders hold what a release cannot carry\n"
    "      (links, unreadable files, names the clients' updater refuses), 2 for a wrong\n"
    "      option or an OUT that cannot be written\n"
    "  updater-manifest plan FILE --installed VERSION [--app-path PATH]\n"
    "      shows what a client at that version would do, without doing it\n"
    "  updater-manifest verify URL [--pubkey KEY|FILE]...\n"
    "      downloads the manifest and its files as the updater does and checks each digest\n"
    "      and size; with keys (a minisign public key, or a file of them such as a .pub\n"
    "      file) also the signature URL.minisig, its timestamp, the manifest's expiry and\n"
    "      that every file has its sha256 and size\n"
    "  updater-manifest --version\n"
    "      the version of the updater this tool was built with\n";
inline constexpr char kCannotBeReadFormat[] = "%s: cannot be read";
inline constexpr char kNotAFolderFormat[] = "%s: not a folder";
inline constexpr char kNotWrittenFormat[] = "%s: not written";
inline constexpr char kCannotBeWrittenFormat[] = "%s: cannot be written";

}  // namespace manifesttexts

// The format with its values filled in, as snprintf fills them.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
