#include "support/shortcut_sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "env/config.h"

ScopedEnvVar::ScopedEnvVar(const char* name, const std::optional<std::string>& value)
    : m_szName(name) {
  if (const char* old = getenv(name)) m_old = old;
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
}

ScopedEnvVar::~ScopedEnvVar() {
  if (m_old) {
    setenv(m_szName.c_str(), m_old->c_str(), 1);
  } else {
    unsetenv(m_szName.c_str());
  }
}

ShortcutSandbox::ShortcutSandbox()
    : m_szHome(m_dir.Sub("home")),
      m_szConfig(m_dir.Sub("config")),
      m_szData(m_dir.Sub("data")),
      m_szDesktop(m_dir.Sub("desktop")),
      m_szThisFile(m_dir.Sub("bin/updater")),
      m_home("HOME", m_szHome),
      m_config("XDG_CONFIG_HOME", m_szConfig),
      m_data("XDG_DATA_HOME", m_szData),
      m_desktop("XDG_DESKTOP_DIR", m_szDesktop),
      m_folders(m_szHome, m_szConfig, m_szData, m_szDesktop),
      m_szOldThisFile(g_szThisFile) {
  std::filesystem::create_directories(m_szHome);
  std::filesystem::create_directories(m_dir.Sub("bin"));
  WriteFileBytes(m_szThisFile, "updater");
  g_szThisFile = m_szThisFile;
  // The action log goes to the current directory.
  m_dir.Enter();
}

ShortcutSandbox::~ShortcutSandbox() { g_szThisFile = m_szOldThisFile; }

bool LnkinfoInstalled() { return system("command -v lnkinfo >/dev/null 2>&1") == 0; }

bool RunLnkinfo(const std::string& path, std::map<std::string, std::string>* fields) {
  std::string quoted = "'";
  for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  quoted += "'";
  FILE* p = popen(("lnkinfo " + quoted + " 2>&1").c_str(), "r");
  if (!p) return false;
  std::string out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
  if (pclose(p) != 0) {
    ADD_FAILURE() << "lnkinfo failed on " << path << ":\n" << out;
    return false;
  }
  // Lines "\t<Key>\t\t\t: <value>".
  size_t start = 0;
  while (start < out.size()) {
    size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    std::string line = out.substr(start, end - start);
    start = end + 1;
    size_t colon = line.find(':');
    if (line.empty() || line[0] != '\t' || colon == std::string::npos) continue;
    std::string key = line.substr(0, colon);
    key.erase(0, key.find_first_not_of(" \t"));
    key.erase(key.find_last_not_of(" \t") + 1);
    std::string value = line.substr(colon + 1);
    if (!value.empty() && value[0] == ' ') value.erase(0, 1);
    (*fields)[key] = value;
  }
  return true;
}

void ExpectLnkinfoReads(const std::string& path, const std::string& target,
                        const std::string& arguments, const std::string& description,
                        const std::string& iconFile, int iconIndex) {
  static const bool installed = LnkinfoInstalled();
  if (!installed) return;
  std::map<std::string, std::string> fields;
  ASSERT_TRUE(RunLnkinfo(path, &fields)) << path;
  auto expect = [&](const char* key, const std::string& value) {
    auto it = fields.find(key);
    if (value.empty()) {
      EXPECT_TRUE(it == fields.end()) << key << " of " << path << ": " << it->second;
    } else {
      EXPECT_TRUE(it != fields.end() && it->second == value)
          << key << " of " << path << ": " << (it == fields.end() ? "absent" : it->second)
          << ", expected " << value;
    }
  };
  expect("Local path", target);
  expect("Command line arguments", arguments);
  expect("Description", description);
  expect("Icon location", iconFile);
  EXPECT_EQ(fields["Icon index"], std::to_string(iconIndex)) << path;
}

std::vector<std::string> FolderNames(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(dir, ec);
       it != std::filesystem::directory_iterator(); it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}
