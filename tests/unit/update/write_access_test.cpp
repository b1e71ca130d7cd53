// The rights a due update needs: a run that may write goes on as before; one
// that may not restarts itself elevated once, or ends having changed nothing.
#include "update/write_access.h"

#include <gtest/gtest.h>

#include "env/texts.h"
#include "unit/update/run_fixture.h"
#include "update/update_run.h"

namespace {

using Strings = std::vector<std::string>;

struct Rights {
  bool elevated, canElevate, folder, key;
  platform::Error result;
};

// Answers as `m_rights` says and records the restart.
class FakeElevation : public platform::Elevation {
 public:
  bool IsElevated() override { return m_rights.elevated; }
  bool CanElevate() override { return m_rights.canElevate; }
  bool CanCreateFileIn(const std::string& f) override {
    return m_rights.folder && f == g_szAppPath;
  }
  bool CanWriteMachineKey(const std::string& k) override {
    return m_rights.key && k == kProductKey;
  }
  platform::Error Execute(const std::string& verb, const std::string& program,
                          const std::string& args, const std::string& folder,
                          platform::WindowId owner) override {
    m_szExecuted = verb + "|" + program + "|" + args + "|" + folder + "|" + std::to_string(owner);
    return m_rights.result;
  }

  Rights m_rights{};
  std::string m_szExecuted;
};

class WriteAccessTest : public RunFixture {
 protected:
  WriteAccessTest() { m_window.m_windowId = 77; }
  // The log after "分析更新信息", the end time as "<end>".
  Strings LogAfterAnalysis() const {
    Strings log = LogLines(), out;
    for (size_t i = 3; i < log.size(); ++i) {
      if (!log[i].empty()) out.push_back(IsTimeLine(log[i], "结束时间: ", "\r") ? "<end>" : log[i]);
    }
    return out;
  }

  FakeElevation m_elevation;
  platform::ScopedService<platform::Elevation> m_guard{&platform::Env::SetElevation, &m_elevation};
};

}  // namespace

// A run without a due update (not newer, no packages) never asks: if it asked,
// its "cannot write" would show in the log.
TEST_F(WriteAccessTest, DueUpdateGoesOnRestartsOnceOrChangesNothing) {
  const std::string restart = "runas|" + g_szThisFile + "|-auto|" + m_dir.path() + "|77";
  const std::string restarting = texts::kRestartingElevated,
                    refused = texts::kCancelledNoAdminRights;
  const Strings done = {"开始更新", "run", "更新完毕", "<end>"};
  const char* due =
      "<updateinfo version='2.0.0.0'><package><actions><action type='run' description='run'/>"
      "</actions></package></updateinfo>";
  const Rights none = {false, true, false, false, 0};
  struct Case {
    const char* name;
    const char* manifest;
    Rights rights;
    Strings log;
    std::string executed;
  } cases[] = {
      {"writable", due, {false, true, true, true, 0}, done, ""},
      {"elevated: never asks again", due, {true, true, false, false, 0}, done, ""},
      {"folder not writable", due, {false, true, false, true, 0}, {restarting}, restart},
      {"key not writable", due, {false, true, true, false, 0}, {restarting}, restart},
      {"declined", due, {false, true, false, true, 1223}, {restarting, refused, "<end>"}, restart},
      {"start failed",
       due,
       {false, true, false, true, 2},
       {restarting, texts::kRestartFailed + std::string("2"), refused, "<end>"},
       restart},
      {"no UAC", due, {false, false, false, true, 0}, {refused, "<end>"}, ""},
      {"not newer",
       "<updateinfo version='1.0.0.0'><package/></updateinfo>",
       none,
       {"你使用的已经是最新版本", "<end>"},
       ""},
      {"no packages", "<updateinfo version='2.0.0.0'/>", none, {"<end>"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    m_elevation = FakeElevation();
    m_elevation.m_rights = c.rights;
    m_window.m_aCalls.clear();
    std::filesystem::remove("updater.log");
    SetInstalledVersion("1.0.0.0");
    // A URL of its own: the in-memory server answers each URL's answers in turn.
    std::string url = std::string("http://updates.test/") + c.name;
    m_internet.Serve(url, c.manifest);
    std::string manifest;
    EXPECT_TRUE(UpdateRun().RunUpdate(url, manifest));
    EXPECT_EQ(LogAfterAnalysis(), c.log);
    // Every line logged is shown, but the end time and a failed start's error.
    std::string shown = "分析更新信息";
    for (const std::string& line : c.log) {
      if (line != "<end>" && line.rfind(texts::kRestartFailed, 0) != 0) shown = line;
    }
    EXPECT_EQ(m_window.CallsOf("status:").back(), "status:" + shown);
    EXPECT_EQ(m_elevation.m_szExecuted, c.executed);
    EXPECT_EQ(GetInstalledVersion(), c.log == done ? "2.0.0.0" : "1.0.0.0");
    EXPECT_EQ(m_window.CallsOf("end").size(),
              c.log.size() == 1 && c.log[0] == restarting ? 1u : 0u);
  }
}
