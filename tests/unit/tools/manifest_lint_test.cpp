// The publisher's lint: one case for every kind of finding, with the line it is
// reported on, and clean manifests that report nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "updater-manifest/lint.h"
#include "updater-manifest/nearest_name.h"

namespace {

using ::testing::HasSubstr;

// Lines 1-6 of every manifest below; the actions start on line 7.
std::string Manifest(const std::string& actions, const std::string& version = "1.2.0.0") {
  return "<?xml version=\"1.0\"?>\n"
         "<updateinfo version=\"" +
         version +
         "\">\n"
         "<package name=\"p\">\n"
         "<url>http://h/p.zip</url>\n"
         "<md5>0123456789abcdef0123456789ABCDEF</md5><sha256>" +
         std::string(64, 'e') +
         "</sha256><size>1234</size>\n"
         "<actions>\n" +
         actions +
         "</actions>\n"
         "</package>\n"
         "</updateinfo>\n";
}

std::string Describe(const std::vector<Finding>& findings) {
  std::string out;
  for (const Finding& f : findings) out += std::to_string(f.nLine) + ": " + f.szMessage + "\n";
  return out;
}

// Exactly one finding, on `line`, whose message holds every one of `parts`.
void ExpectOne(const std::string& text, int line, std::vector<std::string> parts) {
  std::vector<Finding> findings = LintManifest(text);
  ASSERT_EQ(findings.size(), 1u) << Describe(findings);
  EXPECT_EQ(findings[0].nLine, line) << findings[0].szMessage;
  for (const std::string& part : parts) EXPECT_THAT(findings[0].szMessage, HasSubstr(part));
}

TEST(ManifestLint, TheExampleManifestsOfTheReadmeAreClean) {
  std::string root = std::string(UPDATER_TEST_SOURCE_DIR) + "/..";
  std::string readme = ReadFileBytes(root + "/README.md");
  const std::pair<const char*, const char*> examples[] = {
      {"/docs/example-manifest.xml", "## Writing a manifest"},
      {"/docs/example-atomic-manifest.xml", "## Atomic updates"}};
  for (const auto& example : examples) {
    std::string text = ReadFileBytes(root + example.first);
    ASSERT_FALSE(text.empty()) << example.first;
    EXPECT_EQ(Describe(LintManifest(text)), "") << example.first;
    // The README shows the same file.
    size_t section = readme.find(example.second);
    size_t begin = readme.find("```xml\n", section);
    ASSERT_NE(begin, std::string::npos);
    begin += 7;
    EXPECT_EQ(readme.substr(begin, readme.find("```", begin) - begin), text) << example.first;
  }
}

TEST(ManifestLint, NumbersNamesAndNotationsThatTheUpdaterReadsWholeAreClean) {
  std::string actions =
      "<action type=\" RUN \" cmd=\"C:\\\\Tools\\\\x.exe\" args=\"%TEMP%/${this_file} 50% 100%\" "
      "async=\"TRUE\"/>\n"
      "<action type=\"sendmessage\" classname=\"C\" title=\"T\" message=\"wm_close\" "
      "wparam=\"-1\" lparam=\" 7\"/>\n"
      "<action type=\"sendmessage\" classname=\"C\" message=\"273\"/>\n"
      "<step type=\"shortcut\" cmd=\" Delete \" name=\"Velmar Acc\"/>\n"
      "<action type=\"registry\" key=\"hkcu\\Software\\V\" valuetype=\"dword\" value=\"-1\"/>\n"
      "<action type=\"registry\" key=\"HKU\\S\" valuetype=\"Binary\" value=\"HEX: 01, 02\" "
      "startpos=\"2\"/>\n"
      "<action type=\"registry\" key=\"-HKEY_CLASSES_ROOT\\.velmar\" value=\"x\" "
      "valuetype=\"BINARY\"/>\n"
      "<action type=\"unzip\" file=\"${this_file}\" where=\"${app_path}\"/>\n"
      "<action type=\"copy\" from=\"${win_path}/a\" to=\"${sys32_path}\"/>\n";
  EXPECT_EQ(Describe(LintManifest(Manifest(actions))), "");
}

TEST(ManifestLint, ATextThatIsNotWellFormedIsReportedWhereTheParserStopped) {
  ExpectOne("<updateinfo version=\"1.0.0.0\">\n<package>\n</updateinfo>\n", 3,
            {"not well-formed XML", "rejects the whole manifest"});
  ExpectOne("", 1, {"not well-formed XML"});
}

TEST(ManifestLint, AManifestWithoutUpdateinfoOrWithABadVersion) {
  ExpectOne("<?xml version=\"1.0\"?>\n<update version=\"1.0.0.0\"/>\n", 2, {"no \"updateinfo\""});
  ExpectOne(Manifest("", "2.1"), 2, {"\"2.1\" is not four numbers", "reads it as 2.1.0.0"});
  ExpectOne(Manifest("", "1.2.3.4beta"), 2, {"reads it as 1.2.3.4"});
  ExpectOne(Manifest("", "1.2.3.99999999999"), 2, {"reads it as 1.2.3.4294967295"});
  ExpectOne(Manifest("", "0.0.0.0"), 2, {"never newer"});
  // The installed version keeps 4, 8, 4 and 16 bits of the numbers.
  ExpectOne(Manifest("", "16.0.0.0"), 2, {"recorded as 0.0.0.0", "again on every run"});
  ExpectOne(Manifest("", "1.256.0.65536"), 2, {"recorded as 1.0.0.0"});
  EXPECT_EQ(Describe(LintManifest(Manifest("", "15.255.15.65535"))), "");
  ExpectOne("<updateinfo>\n<package/>\n</updateinfo>\n", 1, {"has no version"});
  ExpectOne("<updateinfo version=\"1.0.0.0\">\n</updateinfo>\n", 1,
            {"no \"package\"", "keeps the installed version"});
}

TEST(ManifestLint, ElementsTheUpdaterPassesOver) {
  ExpectOne("<updateinfo version=\"1.0.0.0\">\n<package/>\n<Package/>\n</updateinfo>\n", 3,
            {"<Package> is not read", "did you mean \"package\""});
  std::string text = Manifest("");
  text.replace(text.find("<actions>"), 0, "<MD5>x</MD5>\n");
  ExpectOne(text, 6, {"<MD5> is not read in a package", "did you mean \"md5\""});
  ExpectOne(Manifest("<note type=\"mkdir\" dir=\"d\"/>\n<action type=\"mkdir\" dir=\"e\"/>\n"), 7,
            {"<note> before the first \"action\"", "passes it over"});
  ExpectOne(Manifest("<action type=\"mkdir\" dir=\"d\"/>\n</actions>\n<actions>\n"), 9,
            {"a second <actions>", "only the first"});
  ExpectOne(Manifest("<action dir=\"d\"/>\n"), 7, {"without a \"type\""});
}

TEST(ManifestLint, PackageDigestsThatCanNeverMatchOrAreNeverRead) {
  std::string text = Manifest("");
  std::string bad = text;
  bad.replace(bad.find("0123456789abcdef0123456789ABCDEF"), 32, "0123456789abcdef0123456789ABCDEG");
  ExpectOne(bad, 5, {"is not 32 hexadecimal digits"});
  bad = text;
  bad.replace(bad.find("0123456789abcdef0123456789ABCDEF"), 32, "d41d8cd98f00b204e9800998ecf8427");
  ExpectOne(bad, 5, {"is not 32 hexadecimal digits"});
  bad = text;
  bad.replace(bad.find("<url>http://h/p.zip</url>"), 25, "<url> </url>");
  ExpectOne(bad, 5, {"md5 without a url"});
  bad = text;
  bad.replace(bad.find("p.zip"), 5, "${this_file}");
  ExpectOne(bad, 4, {"only in action parameters"});
  bad = text;
  bad.replace(bad.find("<sha256>"), 8 + 64 + 9, "");
  ExpectOne(bad, 4, {"a url without a sha256"});
  bad = text;
  bad.replace(bad.find(std::string(64, 'e')), 1, "");
  ExpectOne(bad, 5, {"is not 64 hexadecimal digits"});
  bad = text;
  bad.replace(bad.find("<size>1234</size>"), 17, "");
  ExpectOne(bad, 4, {"a url without a size", "not held to the file's length"});
  for (const char* size : {"-1", "1 234", "12k", "0x10", "18446744073709551616"}) {
    bad = text;
    bad.replace(bad.find(">1234<") + 1, 4, size);
    ExpectOne(bad, 5, {"is not a number of bytes"});
  }
}

// For clients that check signatures, what they refuse is reported in their
// terms; a manifest that has everything is clean for them too.
TEST(ManifestLint, WhatAClientThatChecksSignaturesRefuses) {
  std::string text = Manifest("");
  text.insert(text.find(" version=", text.find("<updateinfo")), " expires=\"2999-12-31\"");
  EXPECT_EQ(Describe(LintManifest(text, true)), "");
  const struct {
    std::string cut;
    int line;
    const char* message;
  } cases[] = {
      {" expires=\"2999-12-31\"", 2, "\"updateinfo\" has no expires: a client that checks"},
      {"<sha256>" + std::string(64, 'e') + "</sha256>", 4, "a url without a sha256: a client"},
      {"<size>1234</size>", 4, "a url without a size: a client that checks signatures refuses"},
  };
  for (const auto& c : cases) {
    std::string bad = text;
    bad.erase(bad.find(c.cut), c.cut.size());
    std::vector<Finding> findings = LintManifest(bad, true);
    ASSERT_EQ(findings.size(), 1u) << Describe(findings);
    EXPECT_EQ(findings[0].nLine, c.line);
    EXPECT_THAT(findings[0].szMessage, HasSubstr(c.message));
  }
}

TEST(ManifestLint, AnExpiryThatIsNoDateOrIsPast) {
  std::string text = Manifest("");
  const size_t at = text.find(" version=", text.find("<updateinfo"));
  for (const char* date : {"2999-12-31", "2028-02-29"}) {
    EXPECT_EQ(Describe(LintManifest(
                  std::string(text).insert(at, " expires=\"" + std::string(date) + "\""))),
              "");
  }
  ExpectOne(std::string(text).insert(at, " expires=\"2001-01-01\""), 2,
            {"expires 2001-01-01 is past"});
  for (const char* date : {"2999-02-29", "2999-1-1", "tomorrow"}) {
    ExpectOne(std::string(text).insert(at, " expires=\"" + std::string(date) + "\""), 2,
              {"is not a date YYYY-MM-DD"});
  }
}

TEST(ManifestLint, AnActionTypeThatIsNotRegistered) {
  ExpectOne(Manifest("<action type=\"cpoy\" from=\"a\" to=\"b\"/>\n"), 7,
            {"type \"cpoy\" is not registered", "did you mean \"copy\""});
  ExpectOne(Manifest("<action type=\"zzzz\"/>\n"), 7, {"\"zzzz\" is not registered"});
}

TEST(ManifestLint, AnAttributeThatIsNoParameterOfItsType) {
  ExpectOne(Manifest("<action type=\"copy\" form=\"a\" to=\"b\"/>\n"), 7,
            {"\"form\" is no parameter of \"copy\"", "did you mean \"from\""});
  // Names are matched exactly.
  ExpectOne(Manifest("<action type=\"copy\" From=\"a\" to=\"b\"/>\n"), 7,
            {"\"From\" is no parameter", "did you mean \"from\""});
  // The line is the attribute's own.
  ExpectOne(
      Manifest("<action type=\"unzip\"\n  file=\"a\"\n  destination=\"b\"/>\n"), 9,
      {"\"destination\" is no parameter of \"unzip\"", "its parameters: description, file, where"});
  // The shortcut type has no description.
  ExpectOne(Manifest("<action type=\"shortcut\" description=\"d\" name=\"n\"/>\n"), 7,
            {"\"description\" is no parameter of \"shortcut\""});
}

TEST(ManifestLint, AVariableThatIsNoPathVariable) {
  ExpectOne(Manifest("<action type=\"mkdir\" dir=\"${app_pth}/x\"/>\n"), 7,
            {"\"${app_pth}\" is no path variable", "did you mean \"${app_path}\""});
  ExpectOne(Manifest("<action type=\"mkdir\" dir=\"${APP_PATH}/x\"/>\n"), 7,
            {"did you mean \"${app_path}\""});
  ExpectOne(Manifest("<action type=\"mkdir\" dir=\"${this_file/x\"/>\n"), 7,
            {"\"${this_file\" is not closed", "did you mean \"${this_file}\""});
  // A comment is not looked at; after it the search goes on.
  ExpectOne(Manifest("<!-- ${old_path}\n -->\n<action type=\"mkdir\" dir=\"${syspath}\"/>\n"), 9,
            {"\"${syspath}\" is no path variable"});
}

TEST(ManifestLint, AnEnvironmentReferenceThatStaysAsWritten) {
  ExpectOne(Manifest("<action type=\"run\"\n cmd=\"%ProgramFiles(x86)%/Velmar/x.exe\"/>\n"), 8,
            {"\"%ProgramFiles(x86)%\" in cmd stays as written", "also holds ${this_file}"});
  ExpectOne(Manifest("<action type=\"mkdir\" description=\"Into %APPDATA%\" dir=\"d\"/>\n"), 7,
            {"\"%APPDATA%\" in description"});
}

TEST(ManifestLint, RegistryKeysAndValuesTheUpdaterReadsOtherwise) {
  ExpectOne(Manifest("<action type=\"registry\" key=\"HKXX\\Software\\V\" value=\"v\"/>\n"), 7,
            {"\"HKXX\" is no root key", "HKEY_LOCAL_MACHINE\\Software\\V"});
  ExpectOne(Manifest("<action type=\"registry\" key=\"HKEY_CURENT_USER\\S\" value=\"v\"/>\n"), 7,
            {"did you mean \"HKEY_CURRENT_USER\""});
  ExpectOne(Manifest("<action type=\"registry\" key=\"Software\\Velmar\" value=\"v\"/>\n"), 7,
            {"\"Software\" is no root key", "HKEY_LOCAL_MACHINE\\Velmar"});
  ExpectOne(Manifest("<action type=\"registry\" key=\"HKCU\" value=\"v\"/>\n"), 7,
            {"has no sub key"});
  ExpectOne(Manifest("<action type=\"registry\" key=\"HKCU\\S\" valuetype=\"BINARY\"\n"
                     "  value=\"41,00\" startpos=\"-1\"/>\n"),
            8, {"BINARY value \"41,00\" is not in \"hex:\" notation", "writes nothing"});
  ExpectOne(Manifest("<action type=\"registry\" key=\"HKCU\\S\" valuetype=\"BINARY\" "
                     "value=\"hex:01\"/>\n"),
            7, {"without \"startpos\"", "patched from its first byte"});
  ExpectOne(Manifest("<action type=\"registry\" key=\"HKCU\\S\" valuetype=\"DWORD\" "
                     "value=\"0x10\"/>\n"),
            7, {"DWORD value \"0x10\" is not a decimal number"});
  ExpectOne(Manifest("<action type=\"registry\" key=\"HKCU\\S\" valuetype=\"DWORD\" "
                     "value=\"4294967295\"/>\n"),
            7, {"out of the range -2147483648 to 2147483647"});
  ExpectOne(Manifest("<action type=\"registry\" key=\"HKCU\\S\" valuetype=\"DWROD\" "
                     "value=\"1\"/>\n"),
            7, {"valuetype \"DWROD\" is none of", "writes a string", "did you mean \"DWORD\""});
}

TEST(ManifestLint, AMessageNameTheUpdaterDoesNotKnow) {
  ExpectOne(Manifest("<action type=\"sendmessage\" classname=\"C\" message=\"WM_CLOSED\"/>\n"), 7,
            {"\"WM_CLOSED\" is neither a known message name", "sends message 0",
             "did you mean \"WM_CLOSE\""});
  ExpectOne(Manifest("<action type=\"sendmessage\" classname=\"C\" message=\"0x10\"/>\n"), 7,
            {"\"0x10\" is neither", "sends message 0"});
  ExpectOne(Manifest("<action type=\"sendmessage\" classname=\"C\" message=\"16x\"/>\n"), 7,
            {"sends message 16"});
  ExpectOne(Manifest("<action type=\"sendmessage\" classname=\"C\"/>\n"), 7, {"without a message"});
  ExpectOne(Manifest("<action type=\"sendmessage\" message=\"WM_CLOSE\"/>\n"), 7,
            {"without a classname or a title", "finds no window"});
  ExpectOne(Manifest("<action type=\"sendmessage\" classname=\"C\" message=\"16\" "
                     "wparam=\"0x1\"/>\n"),
            7, {"wparam \"0x1\" is not a decimal number", "sends 0"});
}

TEST(ManifestLint, AShortcutCommandOtherThanCreateUpdateDelete) {
  ExpectOne(Manifest("<action type=\"shortcut\" cmd=\"remove\" name=\"n\"/>\n"), 7,
            {"cmd \"remove\" is none of create, update, delete", "does nothing"});
  ExpectOne(Manifest("<action type=\"shortcut\" cmd=\"updte\" name=\"n\"/>\n"), 7,
            {"did you mean \"update\""});
  ExpectOne(Manifest("<action type=\"shortcut\" cmd=\"create\" target=\"t\"/>\n"), 7,
            {"shortcut without a name"});
}

TEST(ManifestLint, WhatAnAtomicUpdateCannotPutBack) {
  const std::string actions =
      "<action type=\"run\" cmd=\"c\"/>\n"
      "<action type=\"open\" file=\"f\"/>\n"
      "<action type=\"sendmessage\" classname=\"C\" message=\"WM_CLOSE\"/>\n"
      "<action type=\"copy\" from=\"a\" to=\"b\"/>\n";
  std::string atomic = Manifest(actions);
  atomic.replace(atomic.find("\">"), 2, "\" atomic=\"TRUE\">");
  std::vector<Finding> findings = LintManifest(atomic);
  ASSERT_EQ(findings.size(), 3u) << Describe(findings);
  EXPECT_EQ(findings[0].nLine, 7);
  EXPECT_THAT(findings[0].szMessage, HasSubstr("run in an atomic manifest"));
  EXPECT_THAT(findings[1].szMessage, HasSubstr("the program it started keeps its own effects"));
  EXPECT_EQ(findings[2].nLine, 9);
  EXPECT_THAT(findings[2].szMessage, HasSubstr("the message stays sent"));
  EXPECT_TRUE(LintManifest(Manifest(actions)).empty()) << Describe(LintManifest(Manifest(actions)));
}

TEST(ManifestLint, FindingsComeInLineOrder) {
  std::vector<Finding> findings = LintManifest(
      Manifest("<action type=\"copy\" form=\"a\"/>\n<action type=\"cpoy\"/>\n", "1.0") +
      "<!-- ${x} -->");
  ASSERT_EQ(findings.size(), 3u) << Describe(findings);
  EXPECT_EQ(findings[0].nLine, 2);
  EXPECT_EQ(findings[1].nLine, 7);
  EXPECT_EQ(findings[2].nLine, 8);
}

TEST(NearestName, SuggestsOnlyNamesWithinTwoEdits) {
  EXPECT_EQ(EditDistance("form", "from"), 1);
  EXPECT_EQ(EditDistance("FROM", "from"), 0);
  EXPECT_EQ(EditDistance("", "abc"), 3);
  EXPECT_EQ(NearestName("form", {"description", "from", "to"}), "from");
  EXPECT_EQ(NearestName("descripton", {"description", "from", "to"}), "description");
  EXPECT_EQ(NearestName("id", {"to", "from"}), "");
  EXPECT_EQ(NearestName("classname", {"from", "to"}), "");
}

TEST(IsDecimalNumber, ReadsWhatAtoiReadsWhole) {
  long long value = 0;
  EXPECT_TRUE(IsDecimalNumber(" -12 ", &value));
  EXPECT_EQ(value, -12);
  EXPECT_TRUE(IsDecimalNumber("+7", &value));
  EXPECT_EQ(value, 7);
  EXPECT_FALSE(IsDecimalNumber("", &value));
  EXPECT_FALSE(IsDecimalNumber("-", &value));
  EXPECT_FALSE(IsDecimalNumber("1 2", &value));
  EXPECT_FALSE(IsDecimalNumber("0x10", &value));
  EXPECT_TRUE(IsDecimalNumber("99999999999999999999999", &value));
  EXPECT_GT(value, 4294967295LL);
}

}  // namespace
