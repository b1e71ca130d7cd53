// Start-up: the nine configuration values from the registry and the system.
#include "env/config.h"
#include "env/installed_version.h"
#include "env/registry_key.h"
#include "env/trusted_keys.h"
#include "platform/env.h"
#include "platform/separators.h"

const char kProductKey[] = "SOFTWARE\\VELMAR\\Velmar Acc";
const char kDefaultUpdateUrl[] = "http://download.velmar.example/file/update/update.xml";

namespace {

// The stored URL is a format with at most one "%s" and any "%%". Anything else
// is taken literally: stored text is never handed to printf.
std::string FormatUpdateUrl(const std::string& url, const std::string& version) {
  std::string out;
  int substitutions = 0;
  for (size_t i = 0; i < url.size(); ++i) {
    if (url[i] != '%') {
      out += url[i];
      continue;
    }
    char next = i + 1 < url.size() ? url[i + 1] : '\0';
    if (next == '%') {
      out += '%';
    } else if (next == 's' && substitutions++ == 0) {
      out += version;
    } else {
      return url;
    }
    ++i;
  }
  return out;
}

}  // namespace

void LoadConfig() {
  g_szVersion = GetInstalledVersion();

  RegistryKey key;
  key.SetRootKey(platform::kHkeyLocalMachine);
  key.SetSubKey(kProductKey);
  key.SetValueName("");
  key.ReadString(g_szAppPath);

  if (!g_szAppPath.empty()) g_szDownloadPath = DownloadPathOf(g_szAppPath);
  if (!g_szDownloadPath.empty() && !IsDirectory(g_szDownloadPath)) {
    platform::Fs& fs = platform::Env::Get().fs();
    if (fs.CreateDir(g_szDownloadPath) == platform::kErrorPathNotFound) {
      size_t p = platform::LastSeparator(g_szDownloadPath);
      if (p != std::string::npos && p > 0 && CreateDirectoryTree(g_szDownloadPath.substr(0, p))) {
        fs.CreateDir(g_szDownloadPath);
      }
    }
  }

  std::string url;
  key.SetValueName("updateurl");
  key.ReadString(url);
  if (url.empty()) url = kDefaultUpdateUrl;
  g_szUpdateUrl = FormatUpdateUrl(url, g_szVersion);

  platform::SystemPaths& paths = platform::Env::Get().paths();
  g_szWinPath = paths.WindowsDirectory();
  g_szSys32Path = paths.SystemDirectory();

  g_szThisFile = GetThisFilePath();
  g_szThisName = SplitPath(g_szThisFile, &g_szThisDir);

  LoadTrustConfig();
}
