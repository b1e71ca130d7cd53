// Makes a test file stand for the running updater (g_szThisFile, g_szThisDir,
// g_szThisName) and puts the previous values back afterwards.
#pragma once

#include <string>
#include <vector>

class ScopedThisFile {
 public:
  explicit ScopedThisFile(const std::string& path);
  ~ScopedThisFile();
  ScopedThisFile(const ScopedThisFile&) = delete;
  ScopedThisFile& operator=(const ScopedThisFile&) = delete;

 private:
  std::string m_szFile;
  std::string m_szDir;
  std::string m_szName;
};

// The lines of updater.log in the current directory, without their CR LF.
std::vector<std::string> ReadLogLines();
