// Publishing: digests from the files themselves, written into the text as it
// stands, and nothing at all when a file is missing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <sstream>

#include "support/temp_dir.h"
#include "updater-manifest/publish.h"

namespace {

using ::testing::HasSubstr;

const char kExpires[] = "2099-01-31";

// The digest md5sum or sha256sum gives each file, by file name.
std::map<std::string, std::string> Digests(const std::string& tool, const std::string& dir,
                                           const std::vector<std::string>& names) {
  std::string command = "cd '" + dir + "' && " + tool;
  for (const std::string& name : names) command += " '" + name + "'";
  std::map<std::string, std::string> digests;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return digests;
  char line[512];
  while (fgets(line, sizeof(line), pipe)) {
    std::istringstream in(line);
    std::string digest, name;
    in >> digest >> name;
    digests[name] = digest;
  }
  pclose(pipe);
  return digests;
}

class ManifestPublish : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string binary;
    for (int i = 0; i < 256; ++i) binary += static_cast<char>(i);
    std::string large;
    for (int i = 0; i < 250000; ++i) large += static_cast<char>((i * 7919) % 251);
    ASSERT_TRUE(WriteFileBytes(m_dir.Sub("a.zip"), binary));
    ASSERT_TRUE(WriteFileBytes(m_dir.Sub("b.txt"), "release notes\n"));
    ASSERT_TRUE(WriteFileBytes(m_dir.Sub("c.bin"), large));
    m_digests = Digests("md5sum", m_dir.path(), {"a.zip", "b.txt", "c.bin"});
    m_sha = Digests("sha256sum", m_dir.path(), {"a.zip", "b.txt", "c.bin"});
    ASSERT_EQ(m_digests.size(), 3u);
    ASSERT_EQ(m_sha.size(), 3u);
  }

  bool Publish(const std::string& text, std::string* out, std::string* err) {
    std::ostringstream messages;
    bool ok =
        PublishManifest(text, "update.in.xml", m_dir.path(), kExpires, "update.xml", out, messages);
    *err = messages.str();
    return ok;
  }

  TempDir m_dir;
  std::map<std::string, std::string> m_digests;
  std::map<std::string, std::string> m_sha;
};

std::string Sha256Element(const std::string& digest) { return "<sha256>" + digest + "</sha256>"; }
std::string SizeElement(size_t size) { return "<size>" + std::to_string(size) + "</size>"; }

TEST_F(ManifestPublish, WritesTheDigestsMd5sumGivesAndLeavesTheRestAsWritten) {
  std::string text =
      "<?xml version=\"1.0\"?>\n"
      "<updateinfo version=\"1.0.0.1\">\n"
      "  <package name=\"a\">\n"
      "    <url>http://h/files/a.zip</url>\n"
      "    <md5> 00000000000000000000000000000000 </md5>\n"
      "    <sha256>old</sha256>\n"
      "  </package>\n"
      "  <package name=\"b\">\n"
      "    <url>http://h/b.txt</url>\n"
      "    <actions><action type=\"open\" file=\"${this_file}\"/></actions>\n"
      "  </package>\n"
      "  <package name=\"c\"><url>http://h/c.bin</url><md5 /></package>\n"
      "  <package name=\"d\"><description>no file</description></package>\n"
      "</updateinfo>\n";
  std::string expected = text;
  expected.replace(expected.find("\">\n  <package"), 0, "\" expires=\"2099-01-31");
  expected.replace(expected.find(" 00000000000000000000000000000000 "), 34, m_digests["a.zip"]);
  expected.replace(expected.find(">old<") + 1, 3, m_sha["a.zip"]);
  expected.replace(expected.find("</sha256>") + 9, 0, "\n    " + SizeElement(256));
  expected.replace(expected.find("</url>\n    <actions>") + 6, 0,
                   "\n    <md5>" + m_digests["b.txt"] + "</md5>\n    " +
                       Sha256Element(m_sha["b.txt"]) + "\n    " + SizeElement(14));
  expected.replace(expected.find("<md5 />"), 7,
                   "<md5>" + m_digests["c.bin"] + "</md5>" + Sha256Element(m_sha["c.bin"]) +
                       SizeElement(250000));
  std::string out, err;
  ASSERT_TRUE(Publish(text, &out, &err)) << err;
  EXPECT_EQ(out, expected);
  EXPECT_EQ(err, "");
}

TEST_F(ManifestPublish, PlacesDigestsInACompactManifestWithCrLfLines) {
  std::string text =
      "<updateinfo version=\"1.0.0.1\">\r\n"
      "<package><url>http://h/a.zip</url><md5>x</md5></package><package><url>http://h/b.txt"
      "</url></package><package>\r\n"
      "\t<url>http://h/c.bin</url>\r\n"
      "</package></updateinfo>";
  std::string out, err;
  ASSERT_TRUE(Publish(text, &out, &err)) << err;
  EXPECT_EQ(out,
            "<updateinfo version=\"1.0.0.1\" expires=\"2099-01-31\">\r\n"
            "<package><url>http://h/a.zip</url><md5>" +
                m_digests["a.zip"] + "</md5>" + Sha256Element(m_sha["a.zip"]) + SizeElement(256) +
                "</package><package><url>http://h/b.txt</url><md5>" + m_digests["b.txt"] +
                "</md5>" + Sha256Element(m_sha["b.txt"]) + SizeElement(14) +
                "</package><package>\r\n"
                "\t<url>http://h/c.bin</url>\r\n\t<md5>" +
                m_digests["c.bin"] + "</md5>\r\n\t" + Sha256Element(m_sha["c.bin"]) + "\r\n\t" +
                SizeElement(250000) +
                "\r\n"
                "</package></updateinfo>");
}

// The date the client reads is the one written, whatever stood there before.
TEST_F(ManifestPublish, ReplacesAnExistingExpiryAndKeepsAGivenSizeElement) {
  std::string text =
      "<updateinfo expires = '2001-01-01' version=\"1.0.0.1\">\n"
      "<package><url>http://h/b.txt</url><size>1</size><md5/></package>\n"
      "</updateinfo>\n";
  std::string out, err;
  ASSERT_TRUE(Publish(text, &out, &err)) << err;
  EXPECT_EQ(out,
            "<updateinfo expires = '2099-01-31' version=\"1.0.0.1\">\n"
            "<package><url>http://h/b.txt</url><size>14</size><md5>" +
                m_digests["b.txt"] + "</md5>" + Sha256Element(m_sha["b.txt"]) +
                "</package>\n</updateinfo>\n");
}

TEST(SignedFields, ExpiryOptionsCountFromTodayInUtc) {
  const std::time_t march1st2024 = 1709251200;  // 2024-03-01 00:00:00 UTC
  EXPECT_EQ(DefaultExpires(march1st2024), "2024-03-31");
  EXPECT_EQ(DefaultExpires(march1st2024 - 1), "2024-03-30");
  const struct {
    const char* option;
    const char* date;  // null: refused
  } cases[] = {
      {"+1", "2024-03-02"},
      {"+366", "2025-03-02"},
      {"+36500", "2124-02-06"},
      {"2024-03-01", "2024-03-01"},
      {"2099-12-31", "2099-12-31"},
      {"2024-02-29", nullptr},
      {"+0", nullptr},
      {"+36501", nullptr},
      {"+-1", nullptr},
      {"+", nullptr},
      {"2024-3-1", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    std::string date = "unchanged", error;
    EXPECT_EQ(ExpiresFromOption(c.option, march1st2024, &date, &error), c.date != nullptr)
        << c.option;
    EXPECT_EQ(date, c.date ? c.date : "unchanged") << c.option;
    EXPECT_EQ(error.empty(), c.date != nullptr) << c.option;
  }
}

TEST_F(ManifestPublish, AMissingFileIsAnErrorAndNothingIsPublished) {
  std::string text =
      "<updateinfo version=\"1.0.0.1\">\n"
      "<package><url>http://h/a.zip</url></package>\n"
      "<package>\n<url>http://h/gone.zip</url>\n</package>\n"
      "<package><url>http://h/dir/</url></package>\n"
      "</updateinfo>\n";
  std::string out = "untouched", err;
  EXPECT_FALSE(Publish(text, &out, &err));
  EXPECT_EQ(out, "untouched");
  EXPECT_THAT(err, HasSubstr("update.in.xml:4: url http://h/gone.zip: no file \"gone.zip\" in " +
                             m_dir.path()));
  EXPECT_THAT(err, HasSubstr("update.in.xml:6: url http://h/dir/: no file \"\""));
}

TEST_F(ManifestPublish, AResultThatDoesNotPassTheLintIsNotPublished) {
  std::string text =
      "<updateinfo version=\"1.0.0.1\">\n"
      "<package><url>http://h/a.zip</url>\n"
      "<actions><action type=\"copy\" form=\"${this_file}\" to=\"x\"/></actions></package>\n"
      "</updateinfo>\n";
  std::string out, err;
  EXPECT_FALSE(Publish(text, &out, &err));
  EXPECT_TRUE(out.empty());
  EXPECT_THAT(err, HasSubstr("update.xml:3: \"form\" is no parameter of \"copy\""));

  EXPECT_FALSE(Publish("<updateinfo version=\"1.0.0.1\">\n<package>\n", &out, &err));
  EXPECT_THAT(err, HasSubstr("not well-formed"));
}

}  // namespace
