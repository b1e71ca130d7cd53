// A whole update run as the application makes it, against nginx (fixture
// `nginx`, see servers.cmake) and a private registry: the installer's keys,
// LoadConfig, the registered action types, RunUpdate with the configured URL.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "actions/action_registry.h"
#include "env/config.h"
#include "env/installed_version.h"
#include "env/registry_key.h"
#include "support/recording_main_window.h"
#include "support/registry_sandbox.h"
#include "support/temp_dir.h"
#include "support/test_servers.h"
#include "support/update_checks.h"
#include "update/update_run.h"

namespace {

using Strings = std::vector<std::string>;

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VELMAR ACC";

RegistryKey Value(const char* subKey, const char* name) {
  RegistryKey key;
  key.SetRootKey(platform::kHkeyLocalMachine);
  key.SetSubKey(subKey);
  key.SetValueName(name);
  return key;
}

std::string ReadBinary(const char* subKey, const char* name) {
  unsigned char* data = nullptr;
  uint32_t size = 0;
  std::string bytes = "<missing>";
  if (Value(subKey, name).ReadBinary(&data, &size) == platform::kErrorSuccess) {
    bytes.assign(reinterpret_cast<char*>(data), size);
  }
  delete[] data;
  return bytes;
}

std::string ReadString(const char* subKey, const char* name) {
  std::string value;
  if (Value(subKey, name).ReadString(value) != platform::kErrorSuccess) return "<missing>";
  return value;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

TEST(UpdateRunE2E, NewerManifestInstallsTwoVerifiedPackagesAndRecordsTheVersion) {
  const std::string port = NginxPort();
  ASSERT_FALSE(port.empty()) << "nginx is not running";
  const std::string tag = "update_run-" + std::to_string(getpid());
  const std::string www = NginxRoot() + "/" + tag;
  const std::string base = "http://127.0.0.1:" + port + "/" + tag;

  TempDir sandbox;
  sandbox.Enter();  // updater.log lands here
  RegistrySandbox registry;
  const std::string app = sandbox.Sub("Velmar Acc");
  ASSERT_TRUE(std::filesystem::create_directory(app));

  // The installer's keys: the folder, a manifest URL whose %s takes the
  // installed version, and "cert" holding 1.0.0.0 before two bytes of its own.
  ASSERT_EQ(Value(kProductKey, "").WriteString(app.c_str()), platform::kErrorSuccess);
  std::string urlFormat = base + "/%s/update.xml";
  ASSERT_EQ(Value(kProductKey, "updateurl").WriteString(urlFormat.c_str()),
            platform::kErrorSuccess);
  const std::string cert("\x00\x00\x00\x10\x5A\xA5", 6);
  ASSERT_EQ(Value(kProductKey, "cert").WriteBinary(cert.data(), 6), platform::kErrorSuccess);

  // The published update: a core file (its digest in capitals) and a readme.
  const std::string core = RandomBytes(300 * 1024 + 7, 11);
  const std::string readme = "Velmar Acc 1.2.0.5\n";
  std::filesystem::create_directories(www + "/1.0.0.0");
  std::filesystem::create_directories(www + "/files");
  ASSERT_TRUE(WriteFileBytes(www + "/files/core.dat", core));
  ASSERT_TRUE(WriteFileBytes(www + "/files/readme.txt", readme));
  const std::string coreUrl = base + "/files/core.dat";
  const std::string readmeUrl = base + "/files/readme.txt";
  ASSERT_TRUE(WriteFileBytes(
      www + "/1.0.0.0/update.xml",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<updateinfo version=\"1.2.0.5\">\n"
      "  <package name=\"core\">\n"
      "    <version>1.2.0.5</version>\n"
      "    <description>更新主程序</description>\n"
      "    <url>" +
          coreUrl +
          "</url>\n"
          "    <md5>" +
          Upper(Md5Of(core)) +
          "</md5>\n"
          "    <pre-actions>\n"
          "      <action type=\"mkdir\" description=\"建立目录\" dir=\"${app_path}/bin\"/>\n"
          "    </pre-actions>\n"
          "    <actions>\n"
          "      <action type=\"copy\" from=\"${this_file}\" to=\"${app_path}/bin\" "
          "move=\"false\"/>\n"
          "    </actions>\n"
          "  </package>\n"
          "  <package name=\"readme\">\n"
          "    <description>更新说明</description>\n"
          "    <url>" +
          readmeUrl +
          "</url>\n"
          "    <md5>" +
          Md5Of(readme) +
          "</md5>\n"
          "    <actions><action type=\"copy\" from=\"${this_file}\" to=\"${app_path}/readme.txt\"/>"
          "</actions>\n"
          "  </package>\n"
          "</updateinfo>\n"));

  // What the application does from start-up to the end of one run.
  LoadConfig();
  ASSERT_EQ(g_szAppPath, app);
  EXPECT_EQ(g_szVersion, "1.0.0.0");
  EXPECT_EQ(g_szUpdateUrl, base + "/1.0.0.0/update.xml");
  EXPECT_TRUE(IsDirectory(g_szDownloadPath));
  RegisterActionTypes();
  bool result;
  std::string manifest;
  {
    RecordingMainWindow window;
    window.SetTotalProgress(0, 10);
    window.SetFileProgress(0, 1000);
    UpdateRun run;
    result = run.RunUpdate(g_szUpdateUrl, manifest);
    EXPECT_EQ(window.m_totalBar.Position(), 4);
    EXPECT_EQ(window.m_totalBar.Range(), 4);
    EXPECT_EQ(window.m_szLatest, "1.2.0.5");
    EXPECT_TRUE(window.CallsOf("box:").empty());
  }
  ClearActionTypes();
  std::filesystem::remove_all(www);

  EXPECT_TRUE(result);
  EXPECT_NE(manifest.find("<updateinfo version=\"1.2.0.5\">"), std::string::npos);
  Strings log = LogLines(sandbox.Sub("updater.log"));
  ASSERT_EQ(log.size(), 16u) << ReadFileBytes(sandbox.Sub("updater.log"));
  EXPECT_TRUE(IsTimeLine(log[0], "开始时间: ", "")) << log[0];
  EXPECT_EQ(Strings(log.begin() + 1, log.begin() + 14),
            (Strings{"检查更新信息", "分析更新信息", "开始更新", "更新主程序",
                     "下载文件: " + coreUrl, "检验下载文件", "文件校验正确", "建立目录", "更新说明",
                     "下载文件: " + readmeUrl, "检验下载文件", "文件校验正确", "更新完毕"}));
  // The end time's own CR LF leaves an empty line after the run.
  EXPECT_TRUE(IsTimeLine(log[14], "结束时间: ", "\r")) << log[14];
  EXPECT_EQ(log[15], "");

  EXPECT_EQ(GetInstalledVersion(), "1.2.0.5");
  // 1.2.0.5 packed: 4, 8, 4 and 16 bits from the top; the bytes after stay.
  EXPECT_EQ(ReadBinary(kProductKey, "cert"), std::string("\x05\x00\x20\x10\x5A\xA5", 6));
  EXPECT_EQ(ReadString(kUninstallKey, "DisplayVersion"), "1.2.0.5");

  EXPECT_FALSE(std::filesystem::exists(g_szDownloadPath));
  EXPECT_EQ(ReadFileBytes(app + "/bin/core.dat"), core);
  EXPECT_EQ(ReadFileBytes(app + "/readme.txt"), readme);
}
