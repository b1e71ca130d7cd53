// What an update run needs around it in a unit test: a temporary installation
// folder (also the current directory, so updater.log lands there) with its
// download folder, the configuration values pointing at it, a recording main
// window prepared as the dialog prepares its bars, an in-memory Internet, a
// private registry, and the recording action type registered as "run".
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "env/config.h"
#include "env/installed_version.h"
#include "env/registry_key.h"
#include "platform/env.h"
#include "support/memory_internet.h"
#include "support/recording_action.h"
#include "support/recording_main_window.h"
#include "support/registry_sandbox.h"
#include "support/temp_dir.h"
#include "support/update_checks.h"

class RunFixture : public ::testing::Test {
 protected:
  RunFixture()
      : m_savedVersion(g_szVersion),
        m_savedAppPath(g_szAppPath),
        m_savedDownloadPath(g_szDownloadPath),
        m_savedWinPath(g_szWinPath),
        m_savedSys32Path(g_szSys32Path) {
    m_dir.Enter();
    g_szAppPath = m_dir.Sub("app");
    g_szDownloadPath = JoinPath(g_szAppPath, "download");
    std::filesystem::create_directories(g_szDownloadPath);
    // The installer's "cert": version 1.0.0.0 packed into its first four bytes.
    const unsigned char cert[] = {0x00, 0x00, 0x00, 0x10, 0xAB};
    RegistryKey key;
    key.SetRootKey(platform::kHkeyLocalMachine);
    key.SetSubKey(kProductKey);
    key.SetValueName("cert");
    key.WriteBinary(cert, sizeof cert);
    g_szVersion = GetInstalledVersion();
    g_szWinPath = "/usr";
    g_szSys32Path = "/usr/lib";
    // The Update button's handler does this before every run.
    m_window.SetTotalProgress(0, 10);
    m_window.SetFileProgress(0, 1000);
    m_window.m_aCalls.clear();
  }

  ~RunFixture() override {
    g_szVersion = m_savedVersion;
    g_szAppPath = m_savedAppPath;
    g_szDownloadPath = m_savedDownloadPath;
    g_szWinPath = m_savedWinPath;
    g_szSys32Path = m_savedSys32Path;
  }

  std::string DisplayVersion() const {
    RegistryKey key;
    key.SetRootKey(platform::kHkeyLocalMachine);
    key.SetSubKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VELMAR ACC");
    key.SetValueName("DisplayVersion");
    std::string value;
    return key.ReadString(value) == platform::kErrorSuccess ? value : "<missing>";
  }

  // The window calls without the file bar's, which belong to the downloader.
  std::vector<std::string> Seen() const {
    std::vector<std::string> out;
    for (const std::string& call : m_window.m_aCalls) {
      if (call.compare(0, 5, "file:") != 0) out.push_back(call);
    }
    return out;
  }

  std::vector<std::string> LogLines() const { return ::LogLines("updater.log"); }

  TempDir m_dir;
  RegistrySandbox m_registry;
  std::string m_savedVersion, m_savedAppPath, m_savedDownloadPath, m_savedWinPath, m_savedSys32Path;
  RecordingMainWindow m_window;
  MemoryInternet m_internet;
  platform::ScopedService<platform::Internet> m_internetGuard{&platform::Env::SetInternet,
                                                              &m_internet};
  ScopedRecordingTypes m_types{{"run"}};
};
