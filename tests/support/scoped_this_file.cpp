#include "support/scoped_this_file.h"

#include "env/config.h"
#include "support/temp_dir.h"

ScopedThisFile::ScopedThisFile(const std::string& path)
    : m_szFile(g_szThisFile), m_szDir(g_szThisDir), m_szName(g_szThisName) {
  g_szThisFile = path;
  g_szThisName = SplitPath(path, &g_szThisDir);
}

ScopedThisFile::~ScopedThisFile() {
  g_szThisFile = m_szFile;
  g_szThisDir = m_szDir;
  g_szThisName = m_szName;
}

std::vector<std::string> ReadLogLines() {
  std::string text = ReadFileBytes("updater.log");
  std::vector<std::string> lines;
  size_t start = 0;
  size_t end;
  while ((end = text.find("\r\n", start)) != std::string::npos) {
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}
