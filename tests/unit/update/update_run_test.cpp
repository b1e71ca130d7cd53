// The whole run: its messages, the total bar, the log, the recorded version and
// the download folder, for every way a run can go.
#include "update/update_run.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "actions/action_registry.h"
#include "actions/shortcut_action.h"
#include "actions/shortcut_manager.h"
#include "env/texts.h"
#include "platform/path_sep.h"
#include "support/shortcut_sandbox.h"
#include "unit/update/run_fixture.h"

namespace {

using Strings = std::vector<std::string>;

const char kManifestUrl[] = "http://updates.test/update.xml";

std::string Status(const std::string& text) { return "status:" + text; }
std::string Total(int position, int range = -1) {
  return "total:" + std::to_string(position) + "/" + std::to_string(range);
}

}  // namespace

TEST(CompareVersion, NumbersCompareInOrderAndOnlyAGreaterOneIsNewer) {
  EXPECT_TRUE(CompareVersion("1.2.3.9", "1.2.3.10"));
  EXPECT_FALSE(CompareVersion("1.2.3.10", "1.2.3.9"));
  EXPECT_FALSE(CompareVersion("2.0.0.0", "1.9.9.9"));
  EXPECT_TRUE(CompareVersion("1.9.9.9", "2.0.0.0"));
  EXPECT_FALSE(CompareVersion("1.2.3.4", "1.2.3.4"));
  EXPECT_TRUE(CompareVersion("4294967294.0.0.0", "4294967295.0.0.0"));
}

TEST(CompareVersion, NumbersThatCannotBeReadAreZero) {
  EXPECT_TRUE(CompareVersion("", "0.0.0.1"));
  EXPECT_FALSE(CompareVersion("", "0.0.0.0"));
  EXPECT_FALSE(CompareVersion("1.2", "1.2.0.0"));
  EXPECT_TRUE(CompareVersion("1.2", "1.2.0.1"));
  EXPECT_FALSE(CompareVersion("1.0.0.0", "garbage"));
  EXPECT_TRUE(CompareVersion("garbage", "0.0.1.0"));
}

class UpdateRunTest : public RunFixture {
 protected:
  bool Run(const std::string& manifest) {
    m_internet.Serve(kManifestUrl, manifest);
    return Run();
  }
  bool Run() {
    UpdateRun run;
    m_bResult = run.RunUpdate(kManifestUrl, m_szManifest);
    return m_bResult;
  }
  bool DownloadFolderExists() const { return std::filesystem::exists(g_szDownloadPath); }

  bool m_bResult = false;
  std::string m_szManifest = "left over";
};

TEST_F(UpdateRunTest, OfflineReturnsAtOnceWithoutAnyTrace) {
  m_internet.m_bOnline = false;
  m_internet.Serve(kManifestUrl, "<updateinfo version='9.0.0.0'/>");
  EXPECT_FALSE(Run());
  EXPECT_TRUE(m_window.m_aCalls.empty());
  EXPECT_FALSE(std::filesystem::exists("updater.log"));
  EXPECT_TRUE(m_internet.m_aOpened.empty());
  EXPECT_TRUE(DownloadFolderExists());
}

TEST_F(UpdateRunTest, ManifestThatCannotBeFetchedEndsWithoutEndTime) {
  EXPECT_FALSE(Run());
  EXPECT_EQ(Seen(), (Strings{Total(0), Status("检查更新信息"), Status(texts::kDownloadError),
                             Total(1), Status("无法获取更新信息。"), Total(10)}));
  EXPECT_EQ(m_window.m_totalBar.Position(), 10);
  EXPECT_EQ(m_window.m_totalBar.Range(), 10);
  Strings log = LogLines();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_TRUE(IsTimeLine(log[0], "开始时间: ")) << log[0];
  EXPECT_EQ(log[3], "无法获取更新信息。");
  EXPECT_TRUE(DownloadFolderExists());
}

TEST_F(UpdateRunTest, EmptyManifestEndsWithoutEndTime) {
  EXPECT_TRUE(Run(""));
  EXPECT_EQ(Seen(), (Strings{Total(0), Status("检查更新信息"), Total(1),
                             Status("没有任何更新信息。"), Total(10)}));
  Strings log = LogLines();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_TRUE(IsTimeLine(log[0], "开始时间: ")) << log[0];
  EXPECT_EQ(log[1], "检查更新信息");
  EXPECT_EQ(log[2], "没有任何更新信息。");
  EXPECT_TRUE(DownloadFolderExists());
  EXPECT_EQ(m_szManifest, "");
}

TEST_F(UpdateRunTest, TextThatIsNotXmlIsReportedWithItsOneBasedPosition) {
  EXPECT_TRUE(Run("<updateinfo>\n<b></updateinfo>"));
  EXPECT_EQ(Seen(), (Strings{Total(0), Status("检查更新信息"), Total(1), Status("分析更新信息"),
                             Status("Error in (Row: 2, Col 4) : Error reading end tag.\n"),
                             Total(2), Status("更新信息不对，请与Korrin公司联系"), Total(10)}));
  EXPECT_EQ(m_window.m_totalBar.Position(), 10);
  EXPECT_EQ(m_window.m_totalBar.Range(), 10);
  EXPECT_FALSE(DownloadFolderExists());
  Strings log = LogLines();
  ASSERT_EQ(log.size(), 8u);
  // The error text's own line feed leaves an empty line; so does the end time's.
  EXPECT_EQ(log[4], "");
  EXPECT_TRUE(IsTimeLine(log[6], "结束时间: ", "\r")) << log[6];
  EXPECT_EQ(log[7], "");
}

TEST_F(UpdateRunTest, PlainTextHasNoPositionAndIsReportedAtItsStart) {
  EXPECT_TRUE(Run("Service Unavailable"));
  EXPECT_EQ(m_window.CallsOf("status:")[2],
            Status("Error in (Row: 1, Col 1) : Error document empty.\n"));
}

TEST_F(UpdateRunTest, WellFormedManifestWithoutUpdateinfoIsUnusable) {
  EXPECT_TRUE(
      Run("<?xml version='1.0'?><html><package><url>http://h/x.zip</url></package></html>"));
  EXPECT_EQ(Seen(), (Strings{Total(0), Status("检查更新信息"), Total(1), Status("分析更新信息"),
                             Total(2), Status("更新信息不对，请与Korrin公司联系"), Total(10)}));
  EXPECT_EQ(m_window.m_totalBar.Position(), 10);
  EXPECT_EQ(m_window.m_totalBar.Range(), 10);
  EXPECT_FALSE(DownloadFolderExists());
  EXPECT_EQ(m_internet.m_aOpened, (Strings{kManifestUrl}));
  Strings log = LogLines();
  EXPECT_TRUE(IsTimeLine(log[log.size() - 2], "结束时间: ", "\r"));
}

TEST_F(UpdateRunTest, ManifestThatIsNotNewerCreatesNoPackage) {
  EXPECT_TRUE(
      Run("<updateinfo version='1.0.0.0'><package><url>http://h/a.zip</url></package>"
          "</updateinfo>"));
  EXPECT_EQ(Seen(),
            (Strings{Total(0), Status("检查更新信息"), Total(1), Status("分析更新信息"),
                     "latest:1.0.0.0", Status("你使用的已经是最新版本"), Total(2), Total(2, 2)}));
  EXPECT_EQ(m_internet.m_aOpened, (Strings{kManifestUrl}));
  EXPECT_FALSE(DownloadFolderExists());
  EXPECT_EQ(GetInstalledVersion(), "1.0.0.0");
  EXPECT_EQ(DisplayVersion(), "<missing>");
  Strings log = LogLines();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_TRUE(IsTimeLine(log[4], "结束时间: ", "\r"));
  EXPECT_EQ(log[5], "");
}

TEST_F(UpdateRunTest, NewerManifestWithoutPackagesDoesNotStartTheUpdate) {
  EXPECT_TRUE(Run("<updateinfo version='1.0.0.1'><other/></updateinfo>"));
  EXPECT_EQ(Seen(), (Strings{Total(0), Status("检查更新信息"), Total(1), Status("分析更新信息"),
                             "latest:1.0.0.1", Total(2), Total(2, 2)}));
  EXPECT_FALSE(DownloadFolderExists());
  EXPECT_EQ(GetInstalledVersion(), "1.0.0.0");
  EXPECT_EQ(DisplayVersion(), "<missing>");
}

TEST_F(UpdateRunTest, ThreePackagesAdvanceTheBarOncePerPackage) {
  EXPECT_TRUE(
      Run("<?xml version='1.0' encoding='UTF-8'?>\n"
          "<updateinfo version='1.0.0.1'>\n"
          "  <package name='a'><description>first</description></package>\n"
          "  <note>passed over</note>\n"
          "  <package name='b'><description>second</description></package>\n"
          "  <package name='c'><description>third</description></package>\n"
          "</updateinfo>"));
  EXPECT_EQ(Seen(), (Strings{Total(0), Status("检查更新信息"), Total(1), Status("分析更新信息"),
                             "latest:1.0.0.1", Total(2), Total(2, 5), Status("开始更新"),
                             Status("first"), Total(3), Status("second"), Total(4), Status("third"),
                             Total(5), Status("更新完毕")}));
  EXPECT_EQ(m_window.m_totalBar.Position(), 5);
  EXPECT_EQ(m_window.m_totalBar.Range(), 5);
  EXPECT_FALSE(DownloadFolderExists());
  EXPECT_EQ(GetInstalledVersion(), "1.0.0.1");
  EXPECT_EQ(DisplayVersion(), "1.0.0.1");
  // The start-up value stays: a second run compares against it again.
  EXPECT_EQ(g_szVersion, "1.0.0.0");

  Strings log = LogLines();
  ASSERT_EQ(log.size(), 10u);
  EXPECT_TRUE(IsTimeLine(log[0], "开始时间: ")) << log[0];
  EXPECT_EQ(Strings(log.begin() + 1, log.begin() + 8),
            (Strings{"检查更新信息", "分析更新信息", "开始更新", "first", "second", "third",
                     "更新完毕"}));
  EXPECT_TRUE(IsTimeLine(log[8], "结束时间: ", "\r")) << log[8];
  EXPECT_EQ(log[9], "");
}

TEST_F(UpdateRunTest, PathVariablesAreReplacedBeforeParsing) {
  std::string url = "http://h" + g_szAppPath + "/pkg.zip";
  m_internet.Serve(url, "x");
  EXPECT_TRUE(
      Run("<updateinfo version='2.0.0.0'><package><url>http://h${app_path}/pkg.zip</url>"
          "<actions><action type='run' cmd='${sys32_path}/tool' file='${this_file}'/>"
          "</actions></package></updateinfo>"));
  EXPECT_EQ(m_internet.m_aOpened, (Strings{kManifestUrl, url}));
  EXPECT_EQ(RecordingAction::Journal(),
            (Strings{"run file=" + JoinPath(g_szDownloadPath, "pkg.zip") +
                     " cmd=/usr/lib/tool where= from= flag=1 exists"}));
  // The caller's copy of the manifest is the text as it was fetched.
  EXPECT_NE(m_szManifest.find("${app_path}"), std::string::npos);
}

// A folder name holding the characters XML gives a meaning ("<", ">" and the
// double quote cannot be in a Windows name): the actions see the real names,
// whether they come from a path variable, the environment or a shell folder
// (Wine keeps a process's desktop where it first found it: one name for all).
TEST_F(UpdateRunTest, NamesWithXmlCharactersReachTheActionsWhole) {
  RegisterActionType("shortcut", std::make_unique<ShortcutAction>());
  m_internet.Serve("http://h/pkg.zip", "x");
  const std::string name = platform::kPathSep == '/' ? "Tom & Jerry's <\"1\">" : "Tom & Jerry's";
  ShortcutSandbox box;
  const std::string desktop = box.m_dir.Sub(name);
  ASSERT_TRUE(std::filesystem::create_directories(desktop));
  ScopedEnvVar xdg("XDG_DESKTOP_DIR", desktop);
  ScopedShellFolders folders(box.m_szHome, box.m_szConfig, box.m_szData, desktop);
  ScopedEnvVar variable("VELMAR_FOLDER", m_dir.Sub(name));
  g_szAppPath = m_dir.Sub(name);
  EXPECT_TRUE(
      Run("<updateinfo version='2.0.0.0'><package><url>http://h/pkg.zip</url><actions>"
          "<action type='run' cmd='${app_path}/acc' where=\"${app_path}\" "
          "file='%VELMAR_FOLDER%|${this_file}'/><action type='shortcut' name='acc' "
          "target=\"${app_path}/acc\"/></actions></package></updateinfo>"));
  // An environment reference reaches an action together with "${this_file}".
  EXPECT_EQ(RecordingAction::Journal(),
            (Strings{"run file=" + g_szAppPath + "|" + JoinPath(g_szDownloadPath, "pkg.zip") +
                     " cmd=" + g_szAppPath + "/acc where=" + g_szAppPath + " from= flag=1"}));
  EXPECT_EQ(FolderNames(desktop), Strings{"acc.lnk"});
}

TEST_F(UpdateRunTest, SecondRunMakesTheDeletedDownloadFolderAgain) {
  const std::string manifest =
      "<updateinfo version='2.0.0.0'><package><url>http://h/pkg.zip</url>"
      "<actions><action type='run' file='${this_file}'/></actions></package></updateinfo>";
  m_internet.Serve("http://h/pkg.zip", "x");
  EXPECT_TRUE(Run(manifest));
  EXPECT_FALSE(DownloadFolderExists());
  EXPECT_TRUE(Run());
  EXPECT_FALSE(DownloadFolderExists());
  std::string line =
      "run file=" + JoinPath(g_szDownloadPath, "pkg.zip") + " cmd= where= from= flag=1 exists";
  EXPECT_EQ(RecordingAction::Journal(), (Strings{line, line}));
}

// --- manifest reading --------------------------------------------------------------

class ManifestTest : public RunFixture {
 protected:
  UpdateRun m_run;
};

TEST_F(ManifestTest, OnlyPackagesRightBelowTheFirstUpdateinfoAreRead) {
  ASSERT_TRUE(m_run.LoadManifest(
      "<package name='top'/>"
      "<updateinfo version='3.0.0.0'>"
      "  <group><package name='nested'/></group>"
      "  <package name='one'><url>http://h/${app_path}</url><md5>${app_path}</md5></package>"
      "  <package name='two'/>"
      "</updateinfo>"
      "<updateinfo version='4.0.0.0'><package name='later'/></updateinfo>"));
  EXPECT_EQ(m_run.m_szLatestVersion, "3.0.0.0");
  ASSERT_EQ(m_run.m_listPackages.size(), 2u);
  EXPECT_EQ(m_run.m_listPackages[0]->m_szName, "one");
  EXPECT_EQ(m_run.m_listPackages[0]->m_szUrl, "http://h/" + g_szAppPath);
  EXPECT_EQ(m_run.m_listPackages[0]->m_szMd5, g_szAppPath);
  EXPECT_EQ(m_run.m_listPackages[1]->m_szName, "two");
  EXPECT_EQ(m_window.m_aCalls, (Strings{"latest:3.0.0.0"}));
}

TEST_F(ManifestTest, MissingVersionReadsAsEmptyAndIsNotNewer) {
  ASSERT_TRUE(m_run.LoadManifest("<updateinfo><package/></updateinfo>"));
  EXPECT_EQ(m_run.m_szLatestVersion, "");
  EXPECT_TRUE(m_run.m_listPackages.empty());
  EXPECT_EQ(m_window.m_aCalls, (Strings{"latest:", Status("你使用的已经是最新版本")}));
}

TEST_F(ManifestTest, InstalledVersionThatCannotBeReadTakesAnyRealVersion) {
  g_szVersion = "";
  ASSERT_TRUE(m_run.LoadManifest("<updateinfo version='0.0.0.1'><package/></updateinfo>"));
  EXPECT_EQ(m_run.m_listPackages.size(), 1u);
}

// A package whose file does not arrive is skipped and the version is not
// recorded, so the next run tries again; one that arrives records it.
TEST_F(UpdateRunTest, PackageThatDidNotArriveIsTriedAgainByTheNextRun) {
  const std::string manifest =
      "<updateinfo version='2.0.0.0'>"
      "<package><url>http://h/late.zip</url>"
      "<actions><action type='run' cmd='late' file='${this_file}'/></actions></package>"
      "<package><actions><action type='run' cmd='no-url'/></actions></package>"
      "</updateinfo>";
  m_internet.Serve(kManifestUrl, manifest);
  MemoryInternet::Response broken;
  broken.body = "late";
  broken.failAfter = 2;
  m_internet.Serve("http://h/late.zip", broken);

  EXPECT_TRUE(Run());
  Strings statuses = m_window.CallsOf("status:");
  EXPECT_EQ(statuses.back(), Status("更新未完成，下次启动时将重试"));
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), Status("更新完毕")), 0);
  EXPECT_EQ(GetInstalledVersion(), "1.0.0.0");
  EXPECT_FALSE(DownloadFolderExists());
  EXPECT_EQ(RecordingAction::Journal(), (Strings{"run file= cmd=no-url where= from= flag=1"}));

  m_internet.Serve("http://h/late.zip", "late");
  m_window.m_aCalls.clear();
  EXPECT_TRUE(Run());
  EXPECT_EQ(m_window.CallsOf("status:").back(), Status("更新完毕"));
  EXPECT_EQ(GetInstalledVersion(), "2.0.0.0");
  EXPECT_EQ(RecordingAction::Journal(),
            (Strings{"run file= cmd=no-url where= from= flag=1",
                     "run file=" + JoinPath(g_szDownloadPath, "late.zip") +
                         " cmd=late where= from= flag=1 exists",
                     "run file= cmd=no-url where= from= flag=1"}));
}

// The version of a plain update that cannot be recorded is no finished update.
TEST_F(UpdateRunTest, VersionThatCannotBeRecordedIsAnIncompleteUpdate) {
  struct NoVersion : platform::RegistryStoreWrapper {
    NoVersion() : RegistryStoreWrapper(&platform::Env::Get().registry()) {}
    platform::Error SetValue(platform::RegistryHandle* k, const std::string& n, uint32_t t,
                             const void* d, size_t s) override {
      return n == "cert" ? platform::kErrorAccessDenied
                         : RegistryStoreWrapper::SetValue(k, n, t, d, s);
    }
  } registry;
  platform::ScopedService<platform::RegistryStore> guard(&platform::Env::SetRegistry, &registry);
  EXPECT_TRUE(
      Run("<updateinfo version='2.0.0.0'><package><actions>"
          "<action type='run' cmd='x'/></actions></package></updateinfo>"));
  EXPECT_EQ(m_window.CallsOf("status:").back(), Status(texts::kUpdateIncomplete));
  EXPECT_EQ(GetInstalledVersion(), "1.0.0.0");
}
