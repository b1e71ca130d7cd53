#include "env/config.h"

#include <vector>

#include "env/mbstring.h"
#include "platform/env.h"
#include "platform/separators.h"

using platform::kPathSep;

std::string g_szVersion;
std::string g_szAppPath;
std::string g_szDownloadPath;
std::string g_szUpdateUrl;
std::string g_szWinPath;
std::string g_szSys32Path;
std::string g_szThisFile;
std::string g_szThisDir;
std::string g_szThisName;

bool PathExists(const std::string& path) {
  uint32_t attributes = 0;
  return platform::Env::Get().fs().GetAttributes(path, &attributes) == platform::kErrorSuccess;
}

bool IsDirectory(const std::string& path) {
  uint32_t attributes = 0;
  return platform::Env::Get().fs().GetAttributes(path, &attributes) == platform::kErrorSuccess &&
         (attributes & platform::kAttrDirectory);
}

bool CreateDirectoryTree(const std::string& path) {
  if (path.size() > kMaxPathLength) return false;
  platform::Fs& fs = platform::Env::Get().fs();
  // Climb while the parent is missing, then make the missing levels on the way
  // back down: a loop, since a path may have thousands of levels. The
  // separators are found once, by one multibyte scan.
  std::vector<size_t> cuts = platform::AllSeparators(path);
  std::vector<size_t> missing;  // lengths of the levels to make, innermost first
  size_t length = path.size();
  for (;;) {
    platform::Error err = fs.CreateDir(path.substr(0, length));
    if (err == platform::kErrorSuccess || err == platform::kErrorAlreadyExists) break;
    if (err != platform::kErrorPathNotFound) return false;
    while (!cuts.empty() && cuts.back() >= length) cuts.pop_back();
    if (cuts.empty() || cuts.back() == 0) return false;
    missing.push_back(length);
    length = cuts.back();
  }
  // The path itself may not be made by anyone else meanwhile; its parents may.
  for (size_t i = missing.size(); i-- > 0;) {
    if (fs.CreateDir(path.substr(0, missing[i])) != platform::kErrorSuccess) return false;
  }
  return true;
}

const char kAppPathVar[] = "${app_path}";
const char kWinPathVar[] = "${win_path}";
const char kSys32PathVar[] = "${sys32_path}";

// A folder named "Tom & Jerry" must not lose its "&" or end the manifest.
// None of the five is a GBK trail byte (those start at 0x40).
std::string AsXmlText(const std::string& value) {
  std::string out;
  for (char c : value) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// One building pass per variable, in this order: a value, or the text around
// an empty one, may form a later variable, which is then replaced as well.
std::string ExpandPathVars(const std::string& text) {
  std::string out = text;
  ReplaceAll(&out, kAppPathVar, AsXmlText(g_szAppPath));
  ReplaceAll(&out, kWinPathVar, AsXmlText(g_szWinPath));
  ReplaceAll(&out, kSys32PathVar, AsXmlText(g_szSys32Path));
  return out;
}

std::string DownloadPathOf(const std::string& appPath) { return JoinPath(appPath, "download"); }

std::string GetThisFilePath() { return platform::Env::Get().paths().ThisExecutable(); }

// Without a path of its own (one the code page cannot name) nothing is the updater.
bool IsThisFile(const std::string& path) {
  return !g_szThisFile.empty() && MbsEqualNoCase(path, g_szThisFile);
}

std::string GetSelfUpdateName(std::string& name) {
  name = JoinPath(g_szThisDir, "_" + g_szThisName);
  return name;
}

std::string SplitPath(const std::string& path, std::string* dir) {
  size_t p = platform::LastSeparator(path);
  if (p == std::string::npos || p == 0) {
    if (dir) dir->clear();
    return path;
  }
  if (dir) *dir = path.substr(0, p);
  return path.substr(p + 1);
}

std::string UrlFileName(const std::string& url) {
  size_t p = url.rfind('/');
  return p == std::string::npos ? url : url.substr(p + 1);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  return dir + kPathSep + name;
}
