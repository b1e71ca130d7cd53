// The special folders of the shortcut tests pointed at a sandbox for the
// object's life. On POSIX the sandbox's XDG variables do that and nothing is
// made here; on Windows the user's shell folders in the registry are moved and
// the folders made, since the shell gives no path for a missing one.
#pragma once

#include <string>
#include <utility>
#include <vector>

class ScopedShellFolders {
 public:
  ScopedShellFolders(const std::string& home, const std::string& config, const std::string& data,
                     const std::string& desktop);
  ~ScopedShellFolders();
  ScopedShellFolders(const ScopedShellFolders&) = delete;
  ScopedShellFolders& operator=(const ScopedShellFolders&) = delete;

 private:
  // Value name, old value ("" with m_aHad false: none).
  std::vector<std::pair<std::string, std::string>> m_aSaved;
  std::vector<bool> m_aHad;
};
