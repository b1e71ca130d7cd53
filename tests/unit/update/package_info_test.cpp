// Reading a "package" element, and Process: the download loop with its MD5
// check, its messages, and the three action lists afterwards.
#include "update/package_info.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <filesystem>

#include "env/texts.h"
#include "platform/path_sep.h"
#include "support/gbk_like_text.h"
#include "support/update_checks.h"
#include "unit/update/run_fixture.h"
#include "update/package_file_name.h"

namespace {

using Strings = std::vector<std::string>;

std::unique_ptr<PackageInfo> ReadPackage(const std::string& xml) {
  TiXmlDocument doc;
  doc.Parse(xml.c_str());
  EXPECT_FALSE(doc.Error()) << doc.ErrorDesc();
  auto package = std::make_unique<PackageInfo>();
  EXPECT_EQ(package->LoadFromXml(doc.FirstChildElement("package")), 1);
  return package;
}

Strings Cmds(const std::vector<std::unique_ptr<Action>>& list) {
  Strings out;
  for (const auto& action : list)
    out.push_back(static_cast<RecordingAction*>(action.get())->m_szCmd);
  return out;
}

std::string Status(const std::string& text) { return "status:" + text; }

}  // namespace

// --- reading ---------------------------------------------------------------------

class PackageRead : public RunFixture {};

TEST_F(PackageRead, FieldsTakeAttributeAsWrittenAndElementTextCondensed) {
  auto p = ReadPackage(
      "<package name=' two  blanks '><version> 2.0.0.1 </version>"
      "<description>\n  two \t  words  \n</description>"
      "<url> http://h/a.zip </url><md5>ABCDEF</md5></package>");
  EXPECT_EQ(p->m_szName, " two  blanks ");
  EXPECT_EQ(p->m_szVersion, "2.0.0.1");
  EXPECT_EQ(p->m_szDescription, "two words");
  EXPECT_EQ(p->m_szUrl, "http://h/a.zip");
  EXPECT_EQ(p->m_szMd5, "ABCDEF");
  EXPECT_EQ(p->m_szLocalFile, "");
}

TEST_F(PackageRead, Md5IsIgnoredWithoutUrl) {
  EXPECT_EQ(ReadPackage("<package><url></url><md5>abc</md5></package>")->m_szMd5, "");
  EXPECT_EQ(ReadPackage("<package><md5>abc</md5></package>")->m_szMd5, "");
  // An element whose first child is not text reads as empty.
  auto p = ReadPackage("<package><url><b>x</b></url><md5>abc</md5></package>");
  EXPECT_EQ(p->m_szUrl, "");
  EXPECT_EQ(p->m_szMd5, "");
}

TEST_F(PackageRead, OnlyTheFirstElementOfEachListCounts) {
  auto p = ReadPackage(
      "<package>"
      "<post-actions><action type='run' cmd='post'/></post-actions>"
      "<actions><action type='run' cmd='first'/></actions>"
      "<actions><action type='run' cmd='second'/></actions>"
      "<pre-actions><action type='run' cmd='pre'/></pre-actions>"
      "</package>");
  EXPECT_EQ(Cmds(p->m_listPreActions), (Strings{"pre"}));
  EXPECT_EQ(Cmds(p->m_listActions), (Strings{"first"}));
  EXPECT_EQ(Cmds(p->m_listPostActions), (Strings{"post"}));
}

TEST_F(PackageRead, ActionElementsStartAtTheFirstActionAndUnknownTypesAreSkippedSilently) {
  auto p = ReadPackage(
      "<package><actions>"
      "<step type='run' cmd='before'/>"
      "<action type='run' cmd='1'/>"
      "<step type='run' cmd='2'/>"
      "<action type=' RUN ' cmd='3'/>"
      "<action type='nothing' cmd='4'/>"
      "<action cmd='5'/>"
      "<action type='run' cmd='6'/>"
      "</actions></package>");
  EXPECT_EQ(Cmds(p->m_listActions), (Strings{"1", "2", "3", "6"}));
  EXPECT_EQ(p->m_listActions[2]->GetType(), "run");
  EXPECT_TRUE(m_window.m_aCalls.empty());
  EXPECT_EQ(ReadFileBytes("updater.log"), "");
}

// --- Process -----------------------------------------------------------------------

class PackageProcess : public RunFixture {
 protected:
  // A package for `url` with one action in each list; the main action's
  // description is "act" and its cmd the package file.
  std::unique_ptr<PackageInfo> Package(const std::string& url, const std::string& md5) {
    return ReadPackage("<package><url>" + url + "</url><md5>" + md5 +
                       "</md5>"
                       "<post-actions><action type='run' cmd='post'/></post-actions>"
                       "<actions><action type='run' description='act' cmd='${this_file}'/>"
                       "</actions>"
                       "<pre-actions><action type='run' cmd='pre'/></pre-actions></package>");
  }
  std::string Local(const std::string& name) const { return JoinPath(g_szDownloadPath, name); }
  Strings Statuses() const { return m_window.CallsOf("status:"); }
};

TEST_F(PackageProcess, ReadErrorThenCompleteMatchingDownload) {
  const std::string url = "http://h/pkg.zip";
  const std::string body(10000, 'z');
  MemoryInternet::Response broken;
  broken.body = body;
  broken.failAfter = 4096;
  m_internet.Serve(url, broken);
  m_internet.Serve(url, body);
  auto p = Package(url, Md5Of(body));
  EXPECT_EQ(p->Process(), 1);

  EXPECT_EQ(Statuses(), (Strings{Status("下载文件: " + url), Status(texts::kDownloadError),
                                 Status("下载文件: " + url), Status("检验下载文件"),
                                 Status("文件校验正确"), Status("act")}));
  EXPECT_EQ(p->m_szLocalFile, Local("pkg.zip"));
  EXPECT_EQ(ReadFileBytes(p->m_szLocalFile), body);
  EXPECT_EQ(RecordingAction::Journal(),
            (Strings{"run file= cmd=pre where= from= flag=1",
                     "run file= cmd=" + Local("pkg.zip") + " where= from= flag=1",
                     "run file= cmd=post where= from= flag=1"}));
}

TEST_F(PackageProcess, DigestInCapitalsMatches) {
  const std::string url = "http://h/pkg.zip";
  m_internet.Serve(url, "payload");
  std::string upper = Md5Of("payload");
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  auto p = Package(url, upper);
  p->Process();
  EXPECT_EQ(Statuses(), (Strings{Status("下载文件: " + url), Status("检验下载文件"),
                                 Status("文件校验正确"), Status("act")}));
  EXPECT_EQ(m_internet.m_aOpened.size(), 1u);
}

TEST_F(PackageProcess, WithoutMd5TheDownloadIsTakenAsItCame) {
  const std::string url = "http://h/pkg.zip";
  m_internet.Serve(url, "payload");
  auto p = Package(url, "");
  p->Process();
  EXPECT_EQ(Statuses(), (Strings{Status("下载文件: " + url), Status("act")}));
}

TEST_F(PackageProcess, FileThatNeverMatchesIsFetchedThreeTimesThenReportedAndSkipped) {
  const std::string url = "http://h/pkg.zip";
  m_internet.Serve(url, "not what the manifest says");
  auto p = Package(url, std::string(32, '0'));
  EXPECT_EQ(p->Process(), 0);
  Strings expected;
  for (int i = 0; i < 3; ++i) {
    expected.push_back(Status("下载文件: " + url));
    expected.push_back(Status("检验下载文件"));
    expected.push_back(Status("文件校验错误，重新下载"));
  }
  expected.push_back(Status("文件无法下载，请与Korrin公司联系"));
  expected.push_back("box:文件无法下载，请与Korrin公司联系");
  expected.push_back(Status("跳过此更新包"));
  EXPECT_EQ(Seen(), expected);
  EXPECT_EQ(m_internet.m_aOpened.size(), 3u);
  // A file that failed its check never takes its name.
  EXPECT_FALSE(std::filesystem::exists(Local("pkg.zip")));
  // None of its actions runs: they would install the unverified file.
  EXPECT_TRUE(RecordingAction::Journal().empty());
}

TEST_F(PackageProcess, UrlEndingInSlashCannotBeSavedAndIsSkipped) {
  const std::string url = "http://h/files/";
  m_internet.Serve(url, "a listing");
  auto p = Package(url, "");
  EXPECT_EQ(p->Process(), 0);
  EXPECT_EQ(p->m_szLocalFile, Local(""));
  Strings statuses = Statuses();
  ASSERT_GE(statuses.size(), 3u);
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), Status("下载文件: " + url)), 3);
  EXPECT_EQ(statuses[statuses.size() - 2], Status("文件无法下载，请与Korrin公司联系"));
  EXPECT_EQ(m_window.CallsOf("box:"), (Strings{"box:文件无法下载，请与Korrin公司联系"}));
  EXPECT_EQ(statuses.back(), Status("跳过此更新包"));
  EXPECT_TRUE(RecordingAction::Journal().empty());
}

// A name that would reach out of the download folder is refused as an
// unsavable one: on every attempt, before any request, nothing written
// anywhere. A GBK character whose trail byte is a backslash is a name.
TEST_F(PackageProcess, NameThatWouldLeaveTheDownloadFolderIsNeverSaved) {
  ScopedGbkText gbk;
  for (const std::string url :
       {"http://h/get?x=/..", "http://h/get?to=..\\..\\evil.zip", "http://h/get?x=/. .",
        "http://h/get?x=/a\\b.zip", "http://h/get?x=/ ..."}) {
    m_window.m_aCalls.clear();
    m_internet.m_aOpened.clear();
    m_internet.Serve(url, "evil");
    auto p = Package(url, "");
    p->Process();
    Strings expected;
    for (int i = 0; i < 3; ++i) {
      expected.push_back(Status("下载文件: " + url));
      expected.push_back(Status("无法保存下载的文件"));
    }
    expected.push_back(Status("文件无法下载，请与Korrin公司联系"));
    expected.push_back(Status("跳过此更新包"));
    EXPECT_EQ(Statuses(), expected) << url;
    EXPECT_TRUE(m_internet.m_aOpened.empty()) << url;
    EXPECT_EQ(p->m_szLocalFile, Local("")) << url;
  }
  EXPECT_EQ(PackageFileName("http://h/\x9C\\.zip"), "\x9C\\.zip");
  // Nothing but the download folder in the installation, nothing beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(g_szAppPath), {}), 1);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(g_szDownloadPath), {}), 0);
}

TEST_F(PackageProcess, UrlWithoutSlashIsTheFileName) {
  auto p = Package("pkg.bin", "");
  p->Process();
  EXPECT_EQ(p->m_szLocalFile, Local("pkg.bin"));
  EXPECT_EQ(Statuses().front(), Status("下载文件: pkg.bin"));
}

TEST_F(PackageProcess, QueryStaysInTheFileName) {
  const std::string url = "http://h/get?file=a.zip";
  m_internet.Serve(url, "x");
  auto p = Package(url, "");
  p->Process();
  EXPECT_EQ(p->m_szLocalFile, Local("get?file=a.zip"));
  EXPECT_EQ(ReadFileBytes(p->m_szLocalFile), "x");
}

TEST_F(PackageProcess, InstallationFolderWithTrailingSeparatorGivesSingleSeparators) {
  g_szAppPath += platform::kPathSep;
  g_szDownloadPath = JoinPath(g_szAppPath, "download");
  ASSERT_NE(g_szDownloadPath.find(std::string(2, platform::kPathSep)), std::string::npos);
  m_internet.Serve("http://h/pkg.zip", "x");
  auto p = Package("http://h/pkg.zip", "");
  p->Process();
  EXPECT_EQ(p->m_szLocalFile, m_dir.Sub("app/download/pkg.zip"));
  EXPECT_EQ(ReadFileBytes(p->m_szLocalFile), "x");
}

TEST_F(PackageProcess, PackageWithoutUrlOnlyRunsItsActionsWithAnEmptyFile) {
  auto p = Package("", "d41d8cd98f00b204e9800998ecf8427e");
  p->m_szDescription = "only actions";
  EXPECT_EQ(p->Process(), 1);
  EXPECT_EQ(Statuses(), (Strings{Status("only actions"), Status("act")}));
  EXPECT_TRUE(m_internet.m_aOpened.empty());
  EXPECT_EQ(p->m_szLocalFile, "");
  EXPECT_EQ(RecordingAction::Journal()[1], "run file= cmd= where= from= flag=1");
}

TEST_F(PackageProcess, DownloadFolderDeletedByAnEarlierRunIsMadeAgain) {
  std::filesystem::remove_all(g_szDownloadPath);
  m_internet.Serve("http://h/pkg.zip", "x");
  auto p = ReadPackage(
      "<package><url>http://h/pkg.zip</url>"
      "<actions><action type='run' file='${this_file}'/></actions></package>");
  p->Process();
  EXPECT_EQ(RecordingAction::Journal(),
            (Strings{"run file=" + Local("pkg.zip") + " cmd= where= from= flag=1 exists"}));
}

// Every digest and the size the package gives must match; any alone decides,
// and a mismatch of any is the failed check with its three attempts. A body
// longer than the size stops its download, and without a Content-Length the
// bar takes the size for its range.
TEST_F(PackageProcess, EveryGivenDigestAndTheSizeMustMatch) {
  const std::string body = "abc";
  const std::string sha = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  std::string shaUpper = sha;
  for (char& c : shaUpper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  const std::string wrongSha(64, '0');
  enum Outcome { kMatches, kCheckFails, kDownloadFails };
  struct Case {
    std::string md5, sha256, size;
    Outcome outcome;
  } cases[] = {
      {"", sha, "", kMatches},
      {"", shaUpper, "", kMatches},
      {Md5Of(body), sha, "", kMatches},
      {"", wrongSha, "", kCheckFails},
      {Md5Of(body), wrongSha, "", kCheckFails},
      {std::string(32, '0'), sha, "", kCheckFails},
      {"", sha.substr(0, 63), "", kCheckFails},
      {"", "", "3", kMatches},
      {Md5Of(body), sha, "0003", kMatches},
      {"", sha, "4", kCheckFails},
      {"", "", "3 bytes", kCheckFails},
      {"", sha, "2", kDownloadFails},
      {"", "", "0", kDownloadFails},
  };
  const std::string url = "http://h/pkg.zip";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.md5 + " / " + c.sha256 + " / " + c.size);
    MemoryInternet::Response response;
    response.body = body;
    response.contentLength = "";
    m_internet.Serve(url, response);
    auto p = ReadPackage("<package><url>" + url + "</url><md5>" + c.md5 + "</md5><sha256>" +
                         c.sha256 + "</sha256><size>" + c.size + "</size></package>");
    EXPECT_EQ(p->m_szSha256, c.sha256);
    EXPECT_EQ(p->m_szSize, c.size);
    m_window.m_aCalls.clear();
    p->Process();
    Strings attempt = {Status("下载文件: " + url)};
    attempt.push_back(Status(c.outcome == kDownloadFails ? texts::kDownloadError : "检验下载文件"));
    Strings expected = attempt;
    if (c.outcome == kMatches) {
      expected.push_back(Status("文件校验正确"));
    } else {
      const char* failed = "文件校验错误，重新下载";
      if (c.outcome == kCheckFails) expected.push_back(Status(failed));
      for (int i = 0; i < 2; ++i) {
        expected.insert(expected.end(), attempt.begin(), attempt.end());
        if (c.outcome == kCheckFails) expected.push_back(Status(failed));
      }
      expected.push_back(Status("文件无法下载，请与Korrin公司联系"));
      expected.push_back(Status("跳过此更新包"));
    }
    EXPECT_EQ(Statuses(), expected);
    uint64_t size = 0;
    std::string range = ParsePackageSize(c.size, &size) ? c.size : "0";
    if (range == "0003") range = "3";
    EXPECT_EQ(m_window.CallsOf("file:").front(), "file:0/" + range);
  }
  EXPECT_EQ(ReadPackage("<package><sha256>" + sha + "</sha256></package>")->m_szSha256, "");
  EXPECT_EQ(ReadPackage("<package><size>3</size></package>")->m_szSize, "");
}
