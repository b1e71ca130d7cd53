// updater-manifest as a publisher runs it: exit codes, the file publish
// writes, and verify against the nginx fixture (see servers.cmake).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "support/temp_dir.h"
#include "support/test_servers.h"

namespace {

struct Outcome {
  int nExit = -1;
  std::string szOut;
};

std::string Quoted(const std::string& arg) { return "'" + arg + "'"; }

// The tool with `args` (already quoted), run in `cwd` when given: its standard
// output and exit code; standard error goes to the output too.
Outcome Tool(const std::string& args, const std::string& cwd = std::string()) {
  Outcome outcome;
  std::string command = std::string(UPDATER_MANIFEST_TOOL) + " " + args + " 2>&1";
  if (!cwd.empty()) command = "cd " + Quoted(cwd) + " && " + command;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return outcome;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) outcome.szOut.append(buffer, n);
  int status = pclose(pipe);
  outcome.nExit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

std::string Example() {
  return std::string(UPDATER_TEST_SOURCE_DIR) + "/../docs/example-manifest.xml";
}

TEST(ManifestToolCli, LintExitsZeroWhenCleanOneWithFindingsTwoWhenUnreadable) {
  TempDir dir;
  Outcome clean = Tool("lint " + Quoted(Example()));
  EXPECT_EQ(clean.nExit, 0) << clean.szOut;
  EXPECT_EQ(clean.szOut, "");

  std::string bad = dir.Sub("bad.xml");
  ASSERT_TRUE(WriteFileBytes(bad,
                             "<updateinfo version=\"1.0.0.1\">\n<package>\n"
                             "<actions><action type=\"copy\" form=\"a\" to=\"b\"/></actions>\n"
                             "</package>\n</updateinfo>\n"));
  Outcome findings = Tool("lint " + Quoted(bad));
  EXPECT_EQ(findings.nExit, 1);
  EXPECT_EQ(findings.szOut, bad +
                                ":3: \"form\" is no parameter of \"copy\": the updater does not "
                                "read it (did you mean \"from\"?)\n");

  EXPECT_EQ(Tool("lint " + Quoted(dir.Sub("missing.xml"))).nExit, 2);
  EXPECT_EQ(Tool("lint " + Quoted(dir.path())).nExit, 2);
  EXPECT_EQ(Tool("lint").nExit, 2);
}

// The version the build defines, as the version resource of updater.exe has it.
TEST(ManifestToolCli, VersionIsTheBuildsUpdaterVersion) {
  Outcome version = Tool("--version");
  EXPECT_EQ(version.nExit, 0);
  EXPECT_EQ(version.szOut, "updater-manifest " UPDATER_VERSION "\n");
}

TEST(ManifestToolCli, PublishWritesTheOutputOnlyWhenEveryFileIsThere) {
  TempDir dir;
  std::filesystem::create_directory(dir.Sub("files"));
  ASSERT_TRUE(WriteFileBytes(dir.Sub("files/a.zip"), "abc"));
  std::string in = dir.Sub("update.in.xml");
  std::string out = dir.Sub("update.xml");
  ASSERT_TRUE(WriteFileBytes(in,
                             "<updateinfo version=\"1.0.0.1\">\n"
                             "  <package>\n    <url>http://h/a.zip</url>\n  </package>\n"
                             "</updateinfo>\n"));
  // Paths relative to where the publisher stands.
  Outcome ok = Tool("publish update.in.xml files -o update.xml --expires 2099-01-31", dir.path());
  EXPECT_EQ(ok.nExit, 0) << ok.szOut;
  EXPECT_EQ(
      ReadFileBytes(out),
      "<updateinfo version=\"1.0.0.1\" expires=\"2099-01-31\">\n"
      "  <package>\n    <url>http://h/a.zip</url>\n"
      "    <md5>900150983cd24fb0d6963f7d28e17f72</md5>\n"
      "    <sha256>ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad</sha256>\n"
      "    <size>3</size>\n"
      "  </package>\n"
      "</updateinfo>\n");
  // An expiry that is no date writes nothing.
  EXPECT_EQ(Tool("publish update.in.xml files -o other.xml --expires +0", dir.path()).nExit, 2);
  EXPECT_FALSE(std::filesystem::exists(dir.Sub("other.xml")));
  EXPECT_FALSE(std::filesystem::exists(out + ".tmp"));
  EXPECT_FALSE(std::filesystem::exists(dir.Sub("updater.log")));

  ASSERT_TRUE(WriteFileBytes(in,
                             "<updateinfo version=\"1.0.0.2\">\n"
                             "  <package>\n    <url>http://h/b.zip</url>\n  </package>\n"
                             "</updateinfo>\n"));
  Outcome missing =
      Tool("publish " + Quoted(in) + " " + Quoted(dir.Sub("files")) + " -o " + Quoted(out));
  EXPECT_EQ(missing.nExit, 1);
  EXPECT_NE(missing.szOut.find(in + ":3: url http://h/b.zip: no file \"b.zip\""), std::string::npos)
      << missing.szOut;
  // The earlier output stays as it was.
  EXPECT_NE(ReadFileBytes(out).find("1.0.0.1"), std::string::npos);
  EXPECT_EQ(Tool("publish " + Quoted(in) + " " + Quoted(dir.Sub("files"))).nExit, 2);
}

TEST(ManifestToolCli, PlanNeedsTheInstalledVersion) {
  EXPECT_EQ(Tool("plan " + Quoted(Example())).nExit, 2);
  Outcome plan = Tool("plan " + Quoted(Example()) + " --installed 2.0.0.0 --app-path /opt/v");
  EXPECT_EQ(plan.nExit, 0) << plan.szOut;
  EXPECT_NE(plan.szOut.find("where       = \"/opt/v\""), std::string::npos) << plan.szOut;
}

// Nothing is written but for a release that has something to carry.
TEST(ManifestToolCli, ReleaseExitsOneWhenNothingChangedTwoForAWrongOption) {
  TempDir dir;
  for (const char* folder : {"old", "new"}) {
    std::filesystem::create_directory(dir.Sub(folder));
    ASSERT_TRUE(WriteFileBytes(dir.Sub(folder) + "/a.txt", "same"));
  }
  const std::string release = "release old new -o out --version ";
  const std::pair<std::string, int> cases[] = {
      {release + "1.1.0.0 --base-url http://h/u", 1},
      {release + "1.1.0.0", 2},
      {release + "1.1.0.0 --base-url http://h/u --client posix --names gbk", 2},
      {release + "1.1.0.0 --base-url http://h/u --names utf-8", 2},
      {release + "1.1 --base-url http://h/u", 2},
      {release + "1.1.0.0 --base-url ftp://h/u", 2},
      {release + "1.1.0.0 --base-url http://h/u -o new/out", 2},
  };
  for (const auto& [args, code] : cases) {
    Outcome outcome = Tool(args, dir.path());
    EXPECT_EQ(outcome.nExit, code) << args << "\n" << outcome.szOut;
    EXPECT_FALSE(std::filesystem::exists(dir.Sub("out")) ||
                 std::filesystem::exists(dir.Sub("new/out")));
  }
}

class ManifestToolVerify : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    ASSERT_FALSE(NginxPort().empty()) << "nginx is not running";
    m_szDir = NginxRoot() + "/manifest_tool_" + name;
    std::filesystem::remove_all(m_szDir);
    std::filesystem::create_directories(m_szDir + "/files");
    m_szBase = NginxBase() + "/manifest_tool_" + name;
    ASSERT_TRUE(WriteFileBytes(m_szDir + "/files/a.zip", std::string(300000, 'a')));
    ASSERT_TRUE(WriteFileBytes(m_szDir + "/files/b.txt", "notes\n"));
    ASSERT_TRUE(WriteFileBytes(m_szDir + "/update.in.xml",
                               "<updateinfo version=\"1.0.0.1\">\n"
                               "  <package name=\"a\">\n    <url>" +
                                   m_szBase +
                                   "/files/a.zip</url>\n  </package>\n"
                                   "  <package name=\"b\">\n    <url>" +
                                   m_szBase +
                                   "/files/b.txt</url>\n  </package>\n"
                                   "  <package name=\"c\"/>\n"
                                   "</updateinfo>\n"));
    Outcome published = Tool("publish " + Quoted(m_szDir + "/update.in.xml") + " " +
                             Quoted(m_szDir + "/files") + " -o " + Quoted(m_szDir + "/update.xml"));
    // The published file gains an md5 and a sha256 line after each url.
    ASSERT_EQ(published.nExit, 0) << published.szOut;
  }
  void TearDown() override { std::filesystem::remove_all(m_szDir); }

  std::string m_szDir;
  std::string m_szBase;
};

TEST_F(ManifestToolVerify, AFreshlyPublishedManifestPasses) {
  Outcome verify = Tool("verify " + Quoted(m_szBase + "/update.xml"));
  EXPECT_EQ(verify.nExit, 0) << verify.szOut;
  EXPECT_NE(verify.szOut.find("ok       package 1 (line 2)"), std::string::npos) << verify.szOut;
  EXPECT_NE(verify.szOut.find("ok       package 2 (line 8)"), std::string::npos) << verify.szOut;
  EXPECT_NE(verify.szOut.find("no file  package 3 (line 14)"), std::string::npos) << verify.szOut;
}

// A file of the same length fails its digests, a shorter one its size too, and
// a longer one cannot be downloaded past its size.
TEST_F(ManifestToolVerify, FindsAFileTamperedWithOnTheServer) {
  const struct {
    const char* content;
    const char* finding;
  } cases[] = {
      {"NOTES\n", "the manifest's sha256 is"},
      {"no\n", "the manifest's size is 6, the server's file has 3 bytes"},
      {"notes, changed after publishing\n", "FAILED   package 2 (line 8)"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteFileBytes(m_szDir + "/files/b.txt", c.content));
    Outcome verify = Tool("verify " + Quoted(m_szBase + "/update.xml"));
    EXPECT_EQ(verify.nExit, 1) << verify.szOut;
    EXPECT_NE(verify.szOut.find("ok       package 1"), std::string::npos) << verify.szOut;
    EXPECT_NE(verify.szOut.find(c.finding), std::string::npos) << verify.szOut;
  }
}

// Keys and signatures made by minisign; the key given on the command line or
// as a .pub file.
TEST_F(ManifestToolVerify, ChecksTheSignatureWithTheKeysGiven) {
  std::string keys = m_szDir + "/keys";
  std::filesystem::create_directories(keys);
  for (const char* name : {"pub", "other"}) {
    std::string make = std::string("minisign -G -W -p ") + Quoted(keys + "/" + name + ".pub") +
                       " -s " + Quoted(keys + "/" + name + ".key") + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(make.c_str()), 0);
  }
  std::string pub = ReadFileBytes(keys + "/pub.pub");
  std::string key = pub.substr(pub.find('\n') + 1);
  key.resize(key.find('\n'));
  std::string url = Quoted(m_szBase + "/update.xml");

  Outcome unsigned_ = Tool("verify " + url + " --pubkey " + key);
  EXPECT_EQ(unsigned_.nExit, 1);
  EXPECT_NE(unsigned_.szOut.find("FAILED signature " + m_szBase + "/update.xml.minisig: cannot"),
            std::string::npos)
      << unsigned_.szOut;

  std::string sign = "minisign -S -s " + Quoted(keys + "/pub.key") + " -t 'timestamp:1234' -m " +
                     Quoted(m_szDir + "/update.xml") + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(sign.c_str()), 0);
  for (const std::string& given : {key, keys + "/pub.pub"}) {
    Outcome ok = Tool("verify " + url + " --pubkey " + Quoted(given));
    EXPECT_EQ(ok.nExit, 0) << ok.szOut;
    EXPECT_NE(ok.szOut.find("valid, timestamp 1234"), std::string::npos) << ok.szOut;
    EXPECT_NE(ok.szOut.find("ok       package 2"), std::string::npos) << ok.szOut;
  }
  Outcome other = Tool("verify " + url + " --pubkey " + Quoted(keys + "/other.pub"));
  EXPECT_EQ(other.nExit, 1);
  EXPECT_NE(other.szOut.find("not a valid signature"), std::string::npos) << other.szOut;
  EXPECT_EQ(Tool("verify " + url + " --pubkey " + Quoted(keys + "/pub.key")).nExit, 1);

  // Signed, but without what a client that checks signatures needs.
  std::string published = ReadFileBytes(m_szDir + "/update.xml");
  std::string withoutSize = published;
  withoutSize.erase(withoutSize.rfind("    <size>"),
                    withoutSize.find('\n', withoutSize.rfind("    <size>")) -
                        withoutSize.rfind("    <size>") + 1);
  std::string withoutExpiry = published;
  withoutExpiry.erase(withoutExpiry.find(" expires="), 22);
  const std::pair<std::string, std::string> unusable[] = {
      {withoutSize, "FAILED   package 2 (line 8) " + m_szBase +
                        "/files/b.txt: no sha256 or no size, so a client that checks signatures "
                        "refuses the manifest"},
      {withoutExpiry, "FAILED manifest: no expires"},
  };
  for (const auto& [text, finding] : unusable) {
    ASSERT_TRUE(WriteFileBytes(m_szDir + "/update.xml", text));
    ASSERT_EQ(std::system(sign.c_str()), 0);
    Outcome refused = Tool("verify " + url + " --pubkey " + Quoted(keys + "/pub.pub"));
    EXPECT_EQ(refused.nExit, 1);
    EXPECT_NE(refused.szOut.find(finding), std::string::npos) << refused.szOut;
  }
}

TEST_F(ManifestToolVerify, AFileMissingOnTheServerOrAManifestThatCannotBeFetchedFails) {
  std::filesystem::remove(m_szDir + "/files/a.zip");
  Outcome verify = Tool("verify " + Quoted(m_szBase + "/update.xml"));
  EXPECT_EQ(verify.nExit, 1) << verify.szOut;
  EXPECT_NE(verify.szOut.find("FAILED   package 1"), std::string::npos) << verify.szOut;
  EXPECT_NE(verify.szOut.find("ok       package 2"), std::string::npos) << verify.szOut;

  Outcome none = Tool("verify " + Quoted(m_szBase + "/nothing.xml"));
  EXPECT_EQ(none.nExit, 1) << none.szOut;
  EXPECT_NE(none.szOut.find("FAILED manifest"), std::string::npos) << none.szOut;
}

}  // namespace
