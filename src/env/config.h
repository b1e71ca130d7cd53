// Configuration read once at start-up, and the path operations the run and the
// actions share. All paths use platform::kPathSep.
#pragma once

#include <string>

extern std::string g_szVersion;       // installed version, "%u.%u.%u.%u" or empty
extern std::string g_szAppPath;       // installation directory
extern std::string g_szDownloadPath;  // <app path>/download
extern std::string g_szUpdateUrl;     // manifest URL
extern std::string g_szWinPath;       // the Windows directory
extern std::string g_szSys32Path;     // the system directory
extern std::string g_szThisFile;      // the running executable
extern std::string g_szThisDir;       // its folder
extern std::string g_szThisName;      // its file name

extern const char kProductKey[];  // under HKEY_LOCAL_MACHINE
extern const char kDefaultUpdateUrl[];
// The one command-line argument that starts an update at once, compared
// ignoring case; also what the elevated restart passes.
inline constexpr char kAutoArgument[] = "-auto";

// Fills the nine values; never fails. Called once, before any window exists.
void LoadConfig();

bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
// The longest path either platform can name at all (Windows' limit with the
// long-path prefix; POSIX stops at 4096). Longer paths are refused without
// touching the disk.
constexpr size_t kMaxPathLength = 32767;

// True when the directory was created or already existed; creates missing
// parents.
bool CreateDirectoryTree(const std::string& path);
// The path variables of the manifest text, matched case-sensitively.
extern const char kAppPathVar[];    // "${app_path}"
extern const char kWinPathVar[];    // "${win_path}"
extern const char kSys32PathVar[];  // "${sys32_path}"
// A value as XML text ("&", "<", ">" and both quotes as entities), which the
// parser gives back exactly as the value.
std::string AsXmlText(const std::string& value);
// The three path variables replaced by g_szAppPath, g_szWinPath, g_szSys32Path,
// each written with AsXmlText.
std::string ExpandPathVars(const std::string& text);
// The download folder of an installation directory.
std::string DownloadPathOf(const std::string& appPath);
std::string GetThisFilePath();
// Equal to g_szThisFile ignoring case, without any other normalisation.
bool IsThisFile(const std::string& path);
// The side name beside the running executable: <this dir>/_<this name>.
std::string GetSelfUpdateName(std::string& name);
// The text after the last separator (the whole path when there is none or it
// is the first byte); *dir gets the text before it, or empty.
std::string SplitPath(const std::string& path, std::string* dir = nullptr);
// The text after the last "/" of a URL; the whole text when it has none.
std::string UrlFileName(const std::string& url);
// "%s<sep>%s": the one place where a folder and a name are joined.
std::string JoinPath(const std::string& dir, const std::string& name);
