// Manifests made to hurt: nested 100,000 levels deep, longer than a manifest
// may be, with 10,000 packages, and with attribute values far past any path
// length. Each gets a clear outcome in the run's own messages.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "actions/action_registry.h"
#include "env/http_download.h"
#include "env/texts.h"
#include "support/shortcut_sandbox.h"
#include "unit/update/run_fixture.h"
#include "update/manifest_nesting.h"
#include "update/update_run.h"

namespace {

using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

const char kManifestUrl[] = "http://updates.test/update.xml";

std::string Status(const std::string& text) { return "status:" + text; }

class BadInputManifest : public RunFixture {
 protected:
  bool Run(const std::string& manifest) {
    m_internet.Serve(kManifestUrl, manifest);
    UpdateRun run;
    std::string text;
    return run.RunUpdate(kManifestUrl, text);
  }
  Strings Statuses() const { return m_window.CallsOf("status:"); }
};

}  // namespace

TEST_F(BadInputManifest, NestedAHundredThousandLevelsIsRefusedBeforeParsing) {
  const std::string head = "<updateinfo version='9.0.0.0'>";
  std::string text = head;
  for (int i = 0; i < 100000; ++i) text += "<a>";
  for (int i = 0; i < 100000; ++i) text += "</a>";
  text += "</updateinfo>";

  EXPECT_TRUE(Run(text));
  // updateinfo is level 1: the a that would be level 257 is the 256th.
  int col = static_cast<int>(head.size()) + 255 * 3 + 1;
  EXPECT_EQ(Statuses(), (Strings{Status("检查更新信息"), Status("分析更新信息"),
                                 Status("Error in (Row: 1, Col " + std::to_string(col) +
                                        ") : Elements nested too deeply.\n"),
                                 Status("更新信息不对，请与Korrin公司联系")}));
  EXPECT_EQ(m_window.m_totalBar.Position(), 10);
  EXPECT_EQ(GetInstalledVersion(), "1.0.0.0");
  EXPECT_FALSE(fs::exists(g_szDownloadPath));
}

TEST_F(BadInputManifest, NestingUpToTheLimitIsStillAManifest) {
  std::string text = "<updateinfo version='9.0.0.0'>";
  for (int i = 1; i < kMaxManifestDepth; ++i) text += "<a>";
  for (int i = 1; i < kMaxManifestDepth; ++i) text += "</a>";
  text += "<package><actions><action type='run' cmd='deep'/></actions></package></updateinfo>";
  EXPECT_TRUE(Run(text));
  EXPECT_EQ(RecordingAction::Journal(), (Strings{"run file= cmd=deep where= from= flag=1"}));
  EXPECT_EQ(GetInstalledVersion(), "9.0.0.0");
}

TEST_F(BadInputManifest, FiftyMebibytesStopAtTheLimitAsAFailedDownload) {
  std::string text = "<updateinfo version='9.0.0.0'><!--";
  text.append(50u << 20, 'x');
  text += "--></updateinfo>";
  EXPECT_FALSE(Run(text));
  EXPECT_EQ(Statuses(), (Strings{Status("检查更新信息"), Status(texts::kDownloadError),
                                 Status("无法获取更新信息。")}));
  EXPECT_EQ(GetInstalledVersion(), "1.0.0.0");
  EXPECT_TRUE(fs::exists(g_szDownloadPath));
}

TEST_F(BadInputManifest, TenThousandPackagesAreAllProcessedInOrder) {
  std::string text = "<updateinfo version='1.0.0.7'>";
  for (int i = 0; i < 10000; ++i) {
    text += "<package name='p" + std::to_string(i) + "'><actions><action type='run' cmd='" +
            std::to_string(i) + "'/></actions></package>";
  }
  text += "</updateinfo>";
  ASSERT_LT(text.size(), kMaxTextDownload);

  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(Run(text));
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 30.0);

  const Strings& journal = RecordingAction::Journal();
  ASSERT_EQ(journal.size(), 10000u);
  EXPECT_EQ(journal.front(), "run file= cmd=0 where= from= flag=1");
  EXPECT_EQ(journal.back(), "run file= cmd=9999 where= from= flag=1");
  EXPECT_EQ(m_window.m_totalBar.Position(), 10002);
  EXPECT_EQ(m_window.m_totalBar.Range(), 10002);
  EXPECT_EQ(Statuses().back(), Status("更新完毕"));
  EXPECT_EQ(GetInstalledVersion(), "1.0.0.7");
}

// Every action type carried out with every parameter 64 KiB long: each fails
// or succeeds inside the sandbox, and the run reaches its end.
TEST_F(BadInputManifest, AttributeValuesFarPastAnyPathLengthGetClearOutcomes) {
  ShortcutSandbox shortcuts;
  ScopedEnvVar noDisplay("DISPLAY", std::nullopt);
  ClearActionTypes();
  RegisterActionTypes();
  const std::string big(64 << 10, 'v');
  const std::string sub = g_szAppPath + "/" + big;  // a path with one overlong part
  std::string deep = g_szAppPath;                   // a path of many short parts
  while (deep.size() < big.size()) deep += "/d";
  auto attr = [](const char* name, const std::string& value) {
    return std::string(" ") + name + "='" + value + "'";
  };
  std::string actions =
      "<action type='copy'" + attr("from", sub) + attr("to", deep) + "/>" + "<action type='mkdir'" +
      attr("dir", deep) + attr("description", big) + "/>" + "<action type='mkdir'" +
      attr("dir", sub) + "/>" + "<action type='remove'" + attr("path", sub) + "/>" +
      "<action type='unzip'" + attr("file", sub) + attr("where", deep) + "/>" +
      "<action type='run'" + attr("cmd", sub) + attr("args", big) + " async='false'/>" +
      "<action type='open'" + attr("file", sub) + "/>" +
      "<action type='registry' key='HKCU\\Software\\" + big + "'" + attr("valuename", big) +
      attr("value", "hex:" + big) + " valuetype='BINARY' startpos='2147483647'/>" +
      "<action type='sendmessage'" + attr("classname", big) + attr("title", big) +
      " message='16'/>" + "<action type='shortcut' cmd='create' id='16'" + attr("name", big) +
      attr("target", sub) + attr("lnkdesc", big) + attr("iconfile", big) + "/>" +
      "<action type='run' cmd='/bin/true' async='false' description='still running'/>";
  EXPECT_TRUE(Run("<updateinfo version='1.0.0.8'><package><actions>" + actions +
                  "</actions></package></updateinfo>"));

  Strings statuses = Statuses();
  ASSERT_GE(statuses.size(), 3u);
  EXPECT_EQ(statuses[statuses.size() - 2], Status("still running"));
  EXPECT_EQ(statuses.back(), Status("更新完毕"));
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), Status(texts::kFileNotFound + sub)),
            statuses.end());
  EXPECT_EQ(GetInstalledVersion(), "1.0.0.8");
  // Nothing was written beside the sandbox's own folders.
  for (const fs::directory_entry& e : fs::directory_iterator(m_dir.path())) {
    std::string name = e.path().filename().string();
    EXPECT_TRUE(name == "app" || name == "updater.log" || name == "registry") << name;
  }
  for (const fs::directory_entry& e : fs::directory_iterator(g_szAppPath)) {
    EXPECT_EQ(e.path().filename().string(), "d");
  }
  ClearActionTypes();
}
