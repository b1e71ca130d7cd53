#include "app/update_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "actions/action_registry.h"
#include "env/config.h"
#include "env/main_window.h"
#include "support/fake_dialog_view.h"
#include "support/scoped_config.h"

namespace {

class UpdateDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_szVersion = "1.0.0.0";
    g_szUpdateUrl = "http://127.0.0.1:1/update.xml";
  }

  // A runner that records each call in the view's log, with the state of the
  // buttons and the bars at that moment.
  UpdateRunner RecordingRunner() {
    return [this](std::string url, std::string& manifestText) {
      m_aRuns.push_back(url + "|" + manifestText + "|" +
                        (m_pView->m_bButtonsEnabled ? "enabled" : "disabled"));
      m_log.push_back("run");
      manifestText = "<updateinfo/>";
      return true;
    };
  }

  ScopedConfig m_config;
  std::vector<std::string> m_log;
  std::vector<std::string> m_aRuns;
  FakeDialogView* m_pView = nullptr;
};

TEST(AutoStart, OnlyTheSingleArgumentDashAutoInAnyCase) {
  EXPECT_TRUE(IsAutoStart({"-auto"}));
  EXPECT_TRUE(IsAutoStart({"-AUTO"}));
  EXPECT_TRUE(IsAutoStart({"-aUtO"}));
  EXPECT_FALSE(IsAutoStart({}));
  EXPECT_FALSE(IsAutoStart({"-auto", "x"}));
  EXPECT_FALSE(IsAutoStart({"-auto x"}));
  EXPECT_FALSE(IsAutoStart({"-auto "}));
  EXPECT_FALSE(IsAutoStart({" -auto"}));
  EXPECT_FALSE(IsAutoStart({"/auto"}));
  EXPECT_FALSE(IsAutoStart({"auto"}));
  EXPECT_FALSE(IsAutoStart({"--auto"}));
  EXPECT_FALSE(IsAutoStart({""}));
}

TEST_F(UpdateDialogTest, DashAutoInAnyCasePostsOneClickHandledAfterInitialisation) {
  for (const char* arg : {"-auto", "-AUTO"}) {
    m_log.clear();
    m_aRuns.clear();
    FakeDialogView view(&m_log);
    m_pView = &view;
    UpdateDialog dialog({arg}, RecordingRunner());
    dialog.DoModal(view);
    EXPECT_EQ(m_log,
              (std::vector<std::string>{"texts:all", "bars:0/1000 0/10", "post", "init", "click",
                                        "bars:0/1000 0/10", "enable:0", "run", "enable:1"}))
        << arg;
  }
}

TEST_F(UpdateDialogTest, OtherCommandLinesLeaveTheDialogIdle) {
  for (std::vector<std::string> args :
       {std::vector<std::string>{}, {"-auto", "x"}, {"/auto"}, {"-auto x"}}) {
    m_log.clear();
    FakeDialogView view(&m_log);
    m_pView = &view;
    UpdateDialog dialog(args, RecordingRunner());
    dialog.DoModal(view);
    EXPECT_EQ(m_log, (std::vector<std::string>{"texts:all", "bars:0/1000 0/10", "init"}));
  }
}

TEST_F(UpdateDialogTest, UpdateResetsBarsDisablesButtonsAndRunsWithTheManifestUrl) {
  FakeDialogView view(&m_log);
  m_pView = &view;
  view.m_nUserClicks = 1;
  UpdateRunner runner = [&](std::string url, std::string& text) {
    m_aRuns.push_back(url + "|" + text + "|" + (view.m_bButtonsEnabled ? "enabled" : "disabled"));
    // A run leaves its own bar positions behind.
    g_pMainWnd->SetTotalProgress(2, 2);
    g_pMainWnd->SetFileProgress(300, 300);
    return false;
  };
  UpdateDialog dialog({}, runner);
  g_pMainWnd = &dialog;
  // Bars left elsewhere by an earlier run go back to the start.
  dialog.SetTotalProgress(7, 7);
  dialog.DoModal(view);
  g_pMainWnd = nullptr;
  EXPECT_EQ(m_aRuns, (std::vector<std::string>{"http://127.0.0.1:1/update.xml||disabled"}));
  std::vector<std::string> afterClick(std::find(m_log.begin(), m_log.end(), "click"), m_log.end());
  EXPECT_EQ(afterClick,
            (std::vector<std::string>{"click", "bars:0/1000 0/10", "enable:0", "bars:0/1000 2/2",
                                      "bars:300/300 2/2", "enable:1"}));
  // The result of the run is ignored; the bars keep what the run showed.
  EXPECT_TRUE(view.m_bButtonsEnabled);
  EXPECT_DOUBLE_EQ(dialog.TotalProgress().Fraction(), 1.0);
  EXPECT_FALSE(dialog.IsRunning());
}

TEST_F(UpdateDialogTest, WithoutAnUpdateButtonOnlyTheBarsAreReset) {
  FakeDialogView view(&m_log);
  m_pView = &view;
  view.m_bHasUpdateButton = false;
  view.m_nUserClicks = 1;
  UpdateDialog dialog({"-auto"}, RecordingRunner());
  dialog.DoModal(view);
  // No click is posted either: there is no button to click.
  EXPECT_EQ(m_log, (std::vector<std::string>{"texts:all", "bars:0/1000 0/10", "init", "click",
                                             "bars:0/1000 0/10"}));
  EXPECT_TRUE(m_aRuns.empty());
}

TEST_F(UpdateDialogTest, EveryPressRunsAgainWithAFreshManifestString) {
  FakeDialogView view(&m_log);
  m_pView = &view;
  view.m_nUserClicks = 2;
  UpdateDialog dialog({}, RecordingRunner());
  dialog.DoModal(view);
  // The runner wrote the manifest text each time; the next press starts empty.
  EXPECT_EQ(m_aRuns, (std::vector<std::string>{"http://127.0.0.1:1/update.xml||disabled",
                                               "http://127.0.0.1:1/update.xml||disabled"}));
}

TEST_F(UpdateDialogTest, AClickDispatchedWhileARunPumpsMessagesStartsNoSecondRun) {
  FakeDialogView view(&m_log);
  m_pView = &view;
  int runs = 0;
  UpdateDialog* pDialog = nullptr;
  UpdateRunner runner = [&](std::string, std::string&) {
    ++runs;
    view.m_onPump = [&] { pDialog->OnUpdate(); };
    view.PumpMessage();
    return true;
  };
  UpdateDialog dialog({"-auto"}, runner);
  pDialog = &dialog;
  dialog.DoModal(view);
  EXPECT_EQ(runs, 1);
  // The bars were not reset under the running update either.
  EXPECT_EQ(std::count(m_log.begin(), m_log.end(), "bars:0/1000 0/10"), 2);
  EXPECT_EQ(m_log.back(), "enable:1");
}

// The run hands over to an elevated updater: the dialog ends once the run has
// returned, and clicks that would have come after are never handled.
TEST_F(UpdateDialogTest, ARunThatAsksTheDialogToEndEndsItAfterTheRun) {
  FakeDialogView view(&m_log);
  view.m_nUserClicks = 2;
  UpdateDialog* pDialog = nullptr;
  UpdateRunner runner = [&](std::string, std::string&) {
    m_log.push_back("run");
    pDialog->EndDialog();
    return true;
  };
  UpdateDialog dialog({}, runner);
  pDialog = &dialog;
  dialog.DoModal(view);
  EXPECT_EQ(std::vector<std::string>(m_log.end() - 4, m_log.end()),
            (std::vector<std::string>{"enable:0", "run", "enable:1", "end"}));
  EXPECT_EQ(std::count(m_log.begin(), m_log.end(), "run"), 1);
}

TEST_F(UpdateDialogTest, InstalledVersionLabelIsFixedAtConstruction) {
  g_szVersion = "1.2.3.4";
  UpdateDialog dialog({}, RecordingRunner());
  g_szVersion = "9.9.9.9";
  EXPECT_EQ(dialog.CurVerText(), "当前版本号：1.2.3.4");
  g_szVersion.clear();
  UpdateDialog unknown({}, RecordingRunner());
  EXPECT_EQ(unknown.CurVerText(), "当前版本号：");
}

TEST_F(UpdateDialogTest, ReportingOperationsUpdateTheTextsAndTellTheView) {
  FakeDialogView view(&m_log);
  m_pView = &view;
  view.m_nUserClicks = 1;
  UpdateDialog dialog({}, [&](std::string, std::string&) {
    g_pMainWnd->ShowStatus("A");
    g_pMainWnd->ShowStatus("B");
    g_pMainWnd->ShowLatestVersion("1.2.3.4");
    view.m_answers.push_back(kIdRetry);
    EXPECT_EQ(g_pMainWnd->MessageBox("ask", kMbAbortRetryIgnore | kMbIconQuestion), kIdRetry);
    EXPECT_EQ(g_pMainWnd->GetWindowId(), 42u);
    return true;
  });
  g_pMainWnd = &dialog;
  dialog.DoModal(view);
  g_pMainWnd = nullptr;
  EXPECT_EQ(dialog.StatusText(), "B");
  EXPECT_EQ(dialog.NewVerText(), "最新版本号：1.2.3.4");
  std::vector<std::string> during(std::find(m_log.begin(), m_log.end(), "enable:0") + 1,
                                  m_log.end() - 1);
  EXPECT_EQ(during, (std::vector<std::string>{"status:A", "status:B", "latest:最新版本号：1.2.3.4",
                                              "box:ask"}));
}

TEST_F(UpdateDialogTest, WithoutAWindowQuestionsAreAnsweredIgnoreAndBoxesOk) {
  UpdateDialog dialog({}, RecordingRunner());
  EXPECT_EQ(dialog.MessageBox("q", kMbAbortRetryIgnore | kMbIconQuestion), kIdIgnore);
  EXPECT_EQ(dialog.MessageBox("i", kMbOk | kMbIconInformation), kIdOk);
  EXPECT_EQ(dialog.GetWindowId(), 0u);
  dialog.PumpMessage();  // nothing to pump, and no crash
}

// An action type that clones itself, to see whether the registry holds it.
class ProbeAction : public Action {
 public:
  ProbeAction() : Action("probe") {}
  std::unique_ptr<Action> Clone() const override { return std::make_unique<ProbeAction>(); }
};

TEST_F(UpdateDialogTest, DestructionEmptiesTheActionRegistry) {
  {
    UpdateDialog dialog({}, RecordingRunner());
    RegisterActionType("probe", std::make_unique<ProbeAction>());
    EXPECT_NE(CreateAction("probe"), nullptr);
  }
  EXPECT_EQ(CreateAction("probe"), nullptr);
}

}  // namespace
