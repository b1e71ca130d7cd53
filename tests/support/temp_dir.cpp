#include "support/temp_dir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/separators.h"
#include "support/native_path.h"

TempDir::TempDir() {
  std::string base =
      platform::TrimTrailingSeparators(std::filesystem::temp_directory_path().string()) +
      platform::kPathSep + "updater-test-XXXXXX";
  char* made = mkdtemp(base.data());
  m_szPath = made ? made : base;
}

TempDir::~TempDir() {
  if (!m_szPreviousCwd.empty()) (void)chdir(m_szPreviousCwd.c_str());
  std::error_code ec;
  // Read-only files and folders left by a test must not keep the folder alive.
  for (auto it = std::filesystem::recursive_directory_iterator(m_szPath, ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_symlink()) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
    }
  }
  std::filesystem::remove_all(m_szPath, ec);
}

std::string TempDir::Sub(const std::string& name) const {
  return m_szPath + platform::kPathSep + NativePath(name);
}

void TempDir::Enter() {
  m_szPreviousCwd = std::filesystem::current_path().string();
  (void)chdir(m_szPath.c_str());
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  return static_cast<bool>(out);
}
