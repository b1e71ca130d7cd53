// The rights a due update needs: a run that may write goes on as before; one
// that may not restarts itself elevated once, or ends having changed nothing.
#include "update/write_access.h"

#include <gtest/gtest.h>

#include "env/texts.h"
#include "unit/update/run_fixture.h"
#include "update/update_run.h"

namespace {

using Strings = std::vector<std::string>;

const char kUrl[] = "http://updates.test/update.xml";
const char kDue[] =
    "<updateinfo version='2.0.0.0'><package><actions><action type='run' cmd='x'/></actions>"
    "</package></updateinfo>";

// Says what a case wants and records what it is asked.
class FakeElevation : public platform::Elevation {
 public:
  bool IsElevated() override { return Asked(m_bElevated); }
  bool CanElevate() override { return Asked(m_bCanElevate); }
  bool CanCreateFileIn(const std::string& folder) override {
    return Asked(m_bFolder && folder == g_szAppPath);
  }
  bool CanWriteMachineKey(const std::string& subKey) override {
    return Asked(m_bKey && subKey == kProductKey);
  }
  platform::Error Execute(const std::string& verb, const std::string& program,
                          const std::string& parameters, const std::string& folder,
                          platform::WindowId owner) override {
    m_szExecuted =
        verb + "|" + program + "|" + parameters + "|" + folder + "|" + std::to_string(owner);
    return Asked(m_result);
  }

  template <typename T>
  T Asked(T answer) {
    ++m_nAsked;
    return answer;
  }

  bool m_bElevated = false, m_bCanElevate = true, m_bFolder = true, m_bKey = true;
  platform::Error m_result = platform::kErrorSuccess;
  int m_nAsked = 0;
  std::string m_szExecuted;
};

class WriteAccessTest : public RunFixture {
 protected:
  WriteAccessTest() { m_window.m_windowId = 77; }
  // The shown lines after "分析更新信息".
  Strings ShownAfterAnalysis() const {
    Strings shown = m_window.CallsOf("status:");
    return Strings(shown.begin() + 2, shown.end());
  }

  FakeElevation m_elevation;
  platform::ScopedService<platform::Elevation> m_guard{&platform::Env::SetElevation, &m_elevation};
};

std::string Status(const std::string& text) { return "status:" + text; }

}  // namespace

TEST_F(WriteAccessTest, DueUpdateGoesOnRestartsOnceOrChangesNothing) {
  const std::string restart = "runas|" + g_szThisFile + "|-auto|" + m_dir.path() + "|77";
  const Strings finished = {Status("开始更新"), Status("更新完毕")};
  const Strings restarting = {Status(texts::kRestartingElevated)};
  const Strings refused = {Status(texts::kRestartingElevated),
                           Status(texts::kCancelledNoAdminRights)};
  struct Case {
    const char* name;
    bool elevated, canElevate, folder, key;
    platform::Error result;
    Strings shown;
    std::string executed;
  } cases[] = {
      {"writable", false, true, true, true, 0, finished, ""},
      {"elevated, never asks again", true, true, false, false, 0, finished, ""},
      {"folder not writable", false, true, false, true, 0, restarting, restart},
      {"key not writable", false, true, true, false, 0, restarting, restart},
      {"prompt declined", false, true, false, true, platform::kErrorCancelled, refused, restart},
      {"start failed", false, true, false, true, platform::kErrorFileNotFound, refused, restart},
      {"no UAC", false, false, false, true, 0, {Status(texts::kCancelledNoAdminRights)}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_elevation = FakeElevation();
    m_elevation.m_bElevated = c.elevated;
    m_elevation.m_bCanElevate = c.canElevate;
    m_elevation.m_bFolder = c.folder;
    m_elevation.m_bKey = c.key;
    m_elevation.m_result = c.result;
    m_window.m_aCalls.clear();
    RecordingAction::Journal().clear();
    std::filesystem::remove("updater.log");
    SetInstalledVersion("1.0.0.0");
    std::filesystem::create_directories(g_szDownloadPath);
    m_internet.Serve(kUrl, kDue);

    std::string manifest;
    EXPECT_TRUE(UpdateRun().RunUpdate(kUrl, manifest));
    EXPECT_EQ(ShownAfterAnalysis(), c.shown);
    EXPECT_EQ(m_elevation.m_szExecuted, c.executed);
    bool went_on = c.shown == finished;
    bool restarted = c.shown == restarting;
    EXPECT_EQ(RecordingAction::Journal().size(), went_on ? 1u : 0u);
    EXPECT_EQ(GetInstalledVersion(), went_on ? "2.0.0.0" : "1.0.0.0");
    EXPECT_EQ(m_window.CallsOf("end").size(), restarted ? 1u : 0u);
    if (!restarted) {
      EXPECT_EQ(m_window.m_totalBar.Position(), m_window.m_totalBar.Range());
    }
    // The elevated updater goes on in this log and this download folder.
    Strings log = LogLines();
    EXPECT_EQ(IsTimeLine(log[log.size() - 2], "结束时间: ", "\r"), !restarted);
    EXPECT_EQ(std::filesystem::exists(g_szDownloadPath), restarted);
    bool failedStart = c.result == platform::kErrorFileNotFound;
    EXPECT_EQ(std::count(log.begin(), log.end(), texts::kRestartFailed + std::string("2")),
              failedStart ? 1 : 0);
  }
}

TEST_F(WriteAccessTest, NothingIsAskedWithoutADueUpdate) {
  m_elevation.m_bFolder = false;
  for (const char* manifest : {"<updateinfo version='1.0.0.0'><package/></updateinfo>",
                               "<updateinfo version='2.0.0.0'/>", "<updateinfo"}) {
    SCOPED_TRACE(manifest);
    m_internet.Serve(kUrl, manifest);
    std::string text;
    UpdateRun().RunUpdate(kUrl, text);
    EXPECT_EQ(m_elevation.m_nAsked, 0);
  }
}
