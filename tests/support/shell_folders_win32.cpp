// For Windows: the user's shell folders, as the shell reads them, moved into
// the sandbox with the POSIX back-end's meanings (5 = home, 26 = the XDG
// config home, 28 = the XDG data home, 0 and 16 = the desktop).
#include <filesystem>

#include "env/registry_key.h"
#include "support/shell_folders.h"

namespace {

const char kUserShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

RegistryKey Folder(const std::string& name) {
  RegistryKey key;
  key.SetRootKey(platform::kHkeyCurrentUser);
  key.SetSubKey(kUserShellFolders);
  key.SetValueName(name.c_str());
  return key;
}

void Point(const std::string& name, const std::string& path) {
  std::filesystem::create_directories(path);
  Folder(name).WriteValue(path.c_str(), static_cast<uint32_t>(path.size() + 1),
                          platform::kRegExpandSz);
}

}  // namespace

ScopedShellFolders::ScopedShellFolders(const std::string& home, const std::string& config,
                                       const std::string& data, const std::string& desktop) {
  const std::pair<std::string, std::string> folders[] = {
      {"Personal", home},
      {"AppData", config},
      {"Local AppData", data},
      {"Desktop", desktop},
  };
  for (const auto& [name, path] : folders) {
    std::string old;
    m_aHad.push_back(Folder(name).ReadString(old) == 0);
    m_aSaved.emplace_back(name, old);
    Point(name, path);
  }
}

ScopedShellFolders::~ScopedShellFolders() {
  for (size_t i = 0; i < m_aSaved.size(); ++i) {
    const auto& [name, old] = m_aSaved[i];
    if (m_aHad[i]) {
      Folder(name).WriteValue(old.c_str(), static_cast<uint32_t>(old.size() + 1),
                              platform::kRegExpandSz);
    } else {
      RegistryKey key = Folder(name);
      key.DeleteValue(name);
    }
  }
}
