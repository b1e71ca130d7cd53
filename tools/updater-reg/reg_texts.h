// Every text updater-reg prints. The messages follow reg.exe's wording where
// reg.exe has one.
#pragma once

namespace regtexts {

inline constexpr char kSuccess[] = "The operation completed successfully.";
inline constexpr char kCancelled[] = "The operation was cancelled by the user.";
inline constexpr char kDefaultName[] = "(Default)";
inline constexpr char kValueNotSet[] = "(value not set)";
inline constexpr char kEndOfSearchFormat[] = "End of search: %d match(es) found.";

inline constexpr char kInvalidSyntax[] = "ERROR: Invalid syntax.";
inline constexpr char kUsageHintFormat[] = "Type \"updater-reg %s /?\" for usage.";
inline constexpr char kInvalidKeyName[] = "ERROR: Invalid key name.";
inline constexpr char kNotFound[] =
    "ERROR: The system was unable to find the specified registry key or value.";
inline constexpr char kAccessDenied[] = "ERROR: Access is denied.";
inline constexpr char kCorrupt[] = "ERROR: The configuration registry database is corrupt.";
inline constexpr char kBusy[] = "ERROR: The registry is in use by another process. Try again.";
inline constexpr char kFailedFormat[] = "ERROR: The registry operation failed (error %u).";
inline constexpr char kBadTypeFormat[] =
    "ERROR: Invalid type %s. Use REG_SZ, REG_EXPAND_SZ, REG_DWORD or REG_BINARY.";
inline constexpr char kBadNumber[] =
    "ERROR: Invalid syntax. Specify a valid numeric value for '/d' (decimal or 0x hex, 32 bits).";
inline constexpr char kBadHex[] =
    "ERROR: Invalid syntax. Specify valid hex data for '/d' (pairs of hex digits).";
inline constexpr char kDataWithoutValue[] = "ERROR: Invalid syntax. /t and /d need /v or /ve.";
inline constexpr char kRootNotDeleted[] = "ERROR: A root key cannot be deleted.";
inline constexpr char kNotAllDeleted[] = "ERROR: The key could not be deleted completely.";
inline constexpr char kNeedForceFormat[] =
    "ERROR: %s without asking needs /f (standard input is not a terminal).";
inline constexpr char kNeedOverwriteFormat[] =
    "ERROR: %s exists. Use /y to overwrite it without asking (standard input is not a terminal).";

inline constexpr char kAskOverwriteValueFormat[] = "Value %s exists, overwrite(Yes/No)? ";
inline constexpr char kAskDeleteKeyFormat[] = "Permanently delete the registry key %s (Yes/No)? ";
inline constexpr char kAskDeleteValueFormat[] = "Delete the registry value %s (Yes/No)? ";
inline constexpr char kAskDeleteAllFormat[] =
    "Delete all values under the registry key %s (Yes/No)? ";
inline constexpr char kAskOverwriteFileFormat[] = "File %s already exists. Overwrite (Yes/No)? ";
inline constexpr char kOverwriteValue[] = "Overwriting an existing value";
inline constexpr char kDeleting[] = "Deleting";

inline constexpr char kCannotReadFileFormat[] = "ERROR: Cannot read the file %s.";
inline constexpr char kCannotWriteFileFormat[] = "ERROR: Cannot write the file %s.";
inline constexpr char kRegFileErrorFormat[] = "ERROR: %s, line %d: %s";
inline constexpr char kNothingImported[] = "Nothing was imported.";
inline constexpr char kImportIncomplete[] =
    "ERROR: The import stopped part way; the keys before this one were written.";

// Problems found in a .reg file.
inline constexpr char kRegFileHeader[] = "Windows Registry Editor Version 5.00";
inline constexpr char kNoHeader[] =
    "the file does not begin with \"Windows Registry Editor Version 5.00\"";
inline constexpr char kBadUtf16[] = "the file is not valid UTF-16 text";
inline constexpr char kBadSection[] = "a key line must read [KEY] or [-KEY]";
inline constexpr char kBadRoot[] = "the key does not begin with a known root key";
inline constexpr char kRootNotDeletedInFile[] = "a root key cannot be deleted";
inline constexpr char kValueOutsideKey[] = "a value comes before any [KEY] line";
inline constexpr char kValueInDeletion[] = "a value inside a [-KEY] deletion";
inline constexpr char kBadValueName[] = "a value name must be \"quoted\" or @";
inline constexpr char kNoEquals[] = "\"=\" expected after the value name";
inline constexpr char kBadString[] = "the string is not closed by a quote, or text follows it";
inline constexpr char kBadDword[] = "dword: needs 1 to 8 hex digits";
inline constexpr char kBadHexList[] = "hex data must be hex byte pairs separated by commas";
inline constexpr char kBadTextData[] = "hex(1), hex(2) and hex(7) data must be UTF-16LE text";
inline constexpr char kBadData[] = "unknown data; expected \"text\", dword:, hex:, hex(N): or -";
inline constexpr char kBadLine[] = "the line is neither a [KEY] nor a value";
inline constexpr char kContinuationAtEnd[] = "the file ends in a line continuation";

inline constexpr char kUsage[] =
    "Usage: updater-reg OPERATION [parameters]\n"
    "\n"
    "  updater-reg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]\n"
    "  updater-reg query KEY [/v NAME | /ve] [/s]\n"
    "  updater-reg delete KEY [/v NAME | /ve | /va] [/f]\n"
    "  updater-reg export KEY FILE [/y]\n"
    "  updater-reg import FILE\n"
    "\n"
    "KEY is ROOT\\SubKey; ROOT is HKLM, HKCU, HKCR, HKU or HKCC, or the long name\n"
    "(HKEY_LOCAL_MACHINE, ...), in any letter case.\n"
    "TYPE is REG_SZ (the default), REG_EXPAND_SZ, REG_DWORD (decimal or 0x hex) or\n"
    "REG_BINARY (hex digit pairs, as 64001320).\n"
    "/f  overwrite or delete without asking; needed when standard input is not a terminal.\n"
    "/s  query the key and all its sub keys.\n"
    "/va delete all values of the key, keeping its sub keys.\n"
    "/y  export over an existing file without asking.\n"
    "Files are .reg files, \"Windows Registry Editor Version 5.00\", written as UTF-8;\n"
    "UTF-16LE files (with their byte-order mark) are read too.\n"
    "\n"
    "The registry is kept in machine.db and user.db in $VELMAR_REGISTRY_DIR when it is set.\n"
    "Return code: 0 on success, 1 on failure.\n";

}  // namespace regtexts
