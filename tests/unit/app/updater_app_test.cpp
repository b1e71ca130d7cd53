#include "app/updater_app.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "actions/action_registry.h"
#include "env/config.h"
#include "env/main_window.h"
#include "env/registry_key.h"
#include "support/fake_dialog_view.h"
#include "support/registry_sandbox.h"
#include "support/scoped_config.h"
#include "support/temp_dir.h"

namespace {

class UpdaterAppTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_.Enter(); }

  static void WriteProductValue(const char* name, const void* data, uint32_t size, bool binary) {
    RegistryKey key;
    key.SetRootKey(platform::kHkeyLocalMachine);
    key.SetSubKey(kProductKey);
    key.SetValueName(name);
    ASSERT_EQ(
        binary ? key.WriteBinary(data, size) : key.WriteString(static_cast<const char*>(data)), 0u);
  }

  void Install(const char* certBytes) {
    WriteProductValue("", dir_.Sub("App").c_str(), 0, false);
    WriteProductValue("updateurl", "http://127.0.0.1:1/u.xml?v=%s", 0, false);
    if (certBytes) WriteProductValue("cert", certBytes, 4, true);
  }

  // Runs the application with a runner that notes what the run could see.
  std::vector<std::string> Run(std::vector<std::string> args, int userClicks) {
    FakeFrontEnd frontEnd;
    frontEnd.m_nUserClicks = userClicks;
    UpdaterApp app(std::move(args), frontEnd, [&](std::string url, std::string&) {
      auto* dialog = dynamic_cast<UpdateDialog*>(g_pMainWnd);
      frontEnd.m_aCalls.push_back("run:" + url + "|" + (dialog ? dialog->CurVerText() : "none") +
                                  "|" + (CreateAction("copy") ? "actions" : "no actions"));
      return true;
    });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(app.AppName(), "unit_tests");
    EXPECT_EQ(g_pMainWnd, nullptr);
    return frontEnd.m_aCalls;
  }

  ScopedConfig config_;
  RegistrySandbox registry_;
  TempDir dir_;
};

TEST_F(UpdaterAppTest, WithoutAnInstallationDirectoryOnlyTheInstallMessageIsShown) {
  // Even with "-auto" and a product key holding other values.
  WriteProductValue("updateurl", "http://127.0.0.1:1/u.xml", 0, false);
  std::vector<std::string> calls = Run({"-auto"}, 1);
  EXPECT_EQ(calls,
            (std::vector<std::string>{"startbox:unit_tests:Please install Velmar Acc first.:16"}));
  EXPECT_FALSE(PathExists("updater.log"));
  EXPECT_EQ(CreateAction("copy"), nullptr);
}

TEST_F(UpdaterAppTest, TheDialogRunsWithTheStartUpVersionAndTheActionTypesUntilItCloses) {
  const unsigned char v1234[] = {0x04, 0x00, 0x23, 0x10};  // 1.2.3.4
  Install(reinterpret_cast<const char*>(v1234));
  std::vector<std::string> calls = Run({"-auto"}, 0);
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls.front(), "view:unit_tests");
  EXPECT_THAT(calls, ::testing::Contains(
                         "run:http://127.0.0.1:1/u.xml?v=1.2.3.4|当前版本号：1.2.3.4|actions"));
  // The registry was emptied when the dialog went away.
  EXPECT_EQ(CreateAction("copy"), nullptr);
  EXPECT_TRUE(IsDirectory(dir_.Sub("App/download")));
}

TEST_F(UpdaterAppTest, NoCertShowsTheVersionLabelAlone) {
  Install(nullptr);
  std::vector<std::string> calls = Run({}, 1);
  EXPECT_THAT(calls, ::testing::Contains("run:http://127.0.0.1:1/u.xml?v=|当前版本号：|actions"));
}

TEST_F(UpdaterAppTest, OnlyDashAutoStartsTheRunByItself) {
  Install(nullptr);
  for (std::vector<std::string> args :
       {std::vector<std::string>{"-Auto"}, {"-auto", "x"}, {"/auto"}, {}}) {
    std::vector<std::string> calls = Run(args, 0);
    bool ran = std::any_of(calls.begin(), calls.end(),
                           [](const std::string& c) { return c.rfind("run:", 0) == 0; });
    EXPECT_EQ(ran, args == std::vector<std::string>{"-Auto"}) << calls.size();
  }
}

}  // namespace
