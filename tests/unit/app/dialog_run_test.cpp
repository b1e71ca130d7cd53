// The Update button with the real update run behind it: a private registry,
// an in-memory Internet, the dialog drawn by a recording view.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "app/update_dialog.h"
#include "env/config.h"
#include "env/installed_version.h"
#include "env/main_window.h"
#include "env/registry_key.h"
#include "platform/env.h"
#include "support/fake_dialog_view.h"
#include "support/memory_internet.h"
#include "support/registry_sandbox.h"
#include "support/scoped_config.h"
#include "support/temp_dir.h"
#include "support/update_checks.h"

namespace {

constexpr char kManifestUrl[] = "http://updates.test/update.xml";
constexpr char kPackageUrl[] = "http://updates.test/notes.txt";

class DialogRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir.Enter();
    // Installed 1.0.0.0 in <temp>/app.
    const unsigned char cert[] = {0x00, 0x00, 0x00, 0x10};
    RegistryKey key;
    key.SetRootKey(platform::kHkeyLocalMachine);
    key.SetSubKey(kProductKey);
    key.SetValueName("cert");
    key.WriteBinary(cert, sizeof cert);
    key.SetValueName("");
    key.WriteString(m_dir.Sub("app").c_str());
    key.SetValueName("updateurl");
    key.WriteString(kManifestUrl);
    LoadConfig();

    std::string notes = "notes of 1.1.0.0\n";
    m_internet.Serve(kPackageUrl, notes);
    m_internet.Serve(kManifestUrl, std::string("<updateinfo version=\"1.1.0.0\"><package>") +
                                       "<url>" + kPackageUrl + "</url><md5>" + Md5Of(notes) +
                                       "</md5></package></updateinfo>");
  }

  // Runs the dialog with its default runner (a new UpdateRun per press).
  void RunDialog(int clicks, const std::string& earlierStatus = "") {
    FakeDialogView view(&m_log);
    view.m_nUserClicks = clicks;
    UpdateDialog dialog({});
    g_pMainWnd = &dialog;
    if (!earlierStatus.empty()) dialog.ShowStatus(earlierStatus);
    dialog.DoModal(view);
    g_pMainWnd = nullptr;
    m_szStatus = dialog.StatusText();
    m_fileFraction = dialog.FileProgress().Fraction();
    m_totalFraction = dialog.TotalProgress().Fraction();
  }

  ScopedConfig m_config;
  TempDir m_dir;
  RegistrySandbox m_registry;
  MemoryInternet m_internet;
  platform::ScopedService<platform::Internet> m_internetGuard{&platform::Env::SetInternet,
                                                              &m_internet};
  std::vector<std::string> m_log;
  std::string m_szStatus;
  double m_fileFraction = -1;
  double m_totalFraction = -1;
};

TEST_F(DialogRunTest, OfflineResetsTheBarsKeepsTheStatusAndLogsNothing) {
  m_internet.m_bOnline = false;
  RunDialog(1, "earlier text");
  EXPECT_EQ(m_szStatus, "earlier text");
  EXPECT_EQ(m_fileFraction, 0.0);
  EXPECT_EQ(m_totalFraction, 0.0);
  EXPECT_FALSE(PathExists("updater.log"));
  EXPECT_TRUE(m_internet.m_aOpened.empty());
  std::vector<std::string> afterClick(std::find(m_log.begin(), m_log.end(), "click"), m_log.end());
  EXPECT_EQ(afterClick,
            (std::vector<std::string>{"click", "bars:0/1000 0/10", "enable:0", "enable:1"}));
}

TEST_F(DialogRunTest, TwoPressesRunTheSameUpdateTwiceAgainstTheStartUpVersion) {
  RunDialog(2);
  std::vector<std::string> lines = LogLines("updater.log");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "开始更新"), 2);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "文件校验正确"), 2);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "更新完毕"), 2);
  EXPECT_EQ(m_internet.m_aOpened,
            (std::vector<std::string>{kManifestUrl, kPackageUrl, kManifestUrl, kPackageUrl}));
  // The version recorded by the first run is not read again in this process.
  EXPECT_EQ(g_szVersion, "1.0.0.0");
  EXPECT_EQ(GetInstalledVersion(), "1.1.0.0");
  // Each press: bars reset, buttons off, the run, buttons on; the run ends
  // with the status and both bars at their end.
  EXPECT_EQ(std::count(m_log.begin(), m_log.end(), "enable:0"), 2);
  EXPECT_EQ(m_log.back(), "enable:1");
  EXPECT_THAT(m_log, ::testing::Contains("latest:最新版本号：1.1.0.0"));
  EXPECT_EQ(m_szStatus, "更新完毕");
  EXPECT_EQ(m_totalFraction, 1.0);
  EXPECT_EQ(m_fileFraction, 1.0);
}

}  // namespace
