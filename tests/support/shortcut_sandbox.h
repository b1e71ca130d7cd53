// A sandbox for shortcut tests: HOME and the XDG folders inside a TempDir,
// the updater's own path set, and lnkinfo (Debian liblnk-utils) as an
// independent reader of the .lnk files the tests write.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/shell_folders.h"
#include "support/temp_dir.h"

// Sets an environment variable (or unsets it, with nullopt) until destruction.
class ScopedEnvVar {
 public:
  ScopedEnvVar(const char* name, const std::optional<std::string>& value);
  ~ScopedEnvVar();
  ScopedEnvVar(const ScopedEnvVar&) = delete;
  ScopedEnvVar& operator=(const ScopedEnvVar&) = delete;

 private:
  std::string m_szName;
  std::optional<std::string> m_old;
};

class ShortcutSandbox {
 public:
  ShortcutSandbox();
  ~ShortcutSandbox();

  TempDir m_dir;
  std::string m_szHome, m_szConfig, m_szData, m_szDesktop, m_szThisFile;

 private:
  ScopedEnvVar m_home, m_config, m_data, m_desktop;
  ScopedShellFolders m_folders;
  std::string m_szOldThisFile;
};

// The fields lnkinfo prints ("Local path", "Description", ...); false when it
// could not be run or failed on the file.
bool RunLnkinfo(const std::string& path, std::map<std::string, std::string>* fields);
bool LnkinfoInstalled();

// Checks with lnkinfo that the file holds these properties (an empty text:
// that part is absent). Does nothing when lnkinfo is not installed.
void ExpectLnkinfoReads(const std::string& path, const std::string& target,
                        const std::string& arguments, const std::string& description,
                        const std::string& iconFile, int iconIndex);

// Names in a folder, sorted; empty when it does not exist.
std::vector<std::string> FolderNames(const std::string& dir);
