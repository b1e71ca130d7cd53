// POSIX back-end of Shell. Link files are real Shell Link (.lnk) files, written
// and read by shell_link_file; the special folders are the XDG folders of the
// same purpose; deletion is final (there is no recycle bin to move to).
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "platform/env.h"
#include "platform/posix/errno_map.h"
#include "platform/replacement_temp.h"
#include "platform/shell_link_file.h"

namespace platform {
namespace {

using posix::ErrorFromErrno;

// CSIDL numbers with a file-system folder on POSIX.
constexpr int kCsidlDesktop = 0;
constexpr int kCsidlPrograms = 2;
constexpr int kCsidlPersonal = 5;
constexpr int kCsidlStartup = 7;
constexpr int kCsidlDesktopDirectory = 16;
constexpr int kCsidlCommonPrograms = 23;
constexpr int kCsidlCommonStartup = 24;
constexpr int kCsidlAppData = 26;
constexpr int kCsidlLocalAppData = 28;
constexpr int kCsidlCommonAppData = 35;

constexpr uint32_t kFileAttributeReadOnly = 0x01;
constexpr uint32_t kFileAttributeDirectory = 0x10;
constexpr uint32_t kFileAttributeArchive = 0x20;
// A link file is a few hundred bytes; anything this large is not one.
constexpr off_t kMaxLinkFileSize = 1 << 20;

// An environment variable that holds an absolute path. The XDG base
// directory rules ignore relative values.
bool AbsoluteVariable(const char* name, std::string* value) {
  const char* v = getenv(name);
  if (!v || v[0] != '/') return false;
  *value = v;
  return true;
}

bool HomeDirectory(std::string* home) {
  if (AbsoluteVariable("HOME", home)) return true;
  struct passwd* pw = getpwuid(getuid());
  if (!pw || !pw->pw_dir || pw->pw_dir[0] != '/') return false;
  *home = pw->pw_dir;
  return true;
}

std::string ConfigHome(const std::string& home) {
  std::string dir;
  return AbsoluteVariable("XDG_CONFIG_HOME", &dir) ? dir : home + "/.config";
}

std::string DataHome(const std::string& home) {
  std::string dir;
  return AbsoluteVariable("XDG_DATA_HOME", &dir) ? dir : home + "/.local/share";
}

// The desktop: $XDG_DESKTOP_DIR, else the XDG_DESKTOP_DIR line of
// user-dirs.dirs (where a localised desktop such as ~/桌面 is recorded), else
// ~/Desktop.
std::string DesktopDirectory(const std::string& home) {
  std::string dir;
  if (AbsoluteVariable("XDG_DESKTOP_DIR", &dir)) return dir;
  std::ifstream in(ConfigHome(home) + "/user-dirs.dirs");
  std::string line;
  const std::string key = "XDG_DESKTOP_DIR=\"";
  while (std::getline(in, line)) {
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line.compare(start, key.size(), key) != 0) continue;
    size_t open = start + key.size();
    size_t close = line.find('"', open);
    if (close == std::string::npos) continue;
    std::string value = line.substr(open, close - open);
    if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/')) {
      return home + value.substr(5);
    }
    if (!value.empty() && value[0] == '/') return value;
  }
  return home + "/Desktop";
}

// mkdir -p.
bool MakeDirectories(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirectories(path.substr(0, slash))) {
    return false;
  }
  return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

// What the header records of the target, as the shell fills it in from the
// target's directory entry; all zero when the target does not exist.
void DescribeTarget(const std::string& target, ShellLinkFile* file) {
  struct stat st;
  if (target.empty() || stat(target.c_str(), &st) != 0) return;
  file->fileAttributes = S_ISDIR(st.st_mode) ? kFileAttributeDirectory : kFileAttributeArchive;
  if (!(st.st_mode & S_IWUSR)) file->fileAttributes |= kFileAttributeReadOnly;
  FileTimes times;
  if (Env::Get().fs().GetFileTimes(target, &times) == kErrorSuccess) {
    file->creationTime = times.creation;
    file->accessTime = times.lastAccess;
    file->writeTime = times.lastWrite;
  }
  file->fileSize = static_cast<uint32_t>(st.st_size);
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    done += static_cast<size_t>(w);
  }
  return true;
}

class PosixShell : public Shell {
 public:
  bool GetSpecialFolderPath(int folder, bool create, std::string* path) override {
    std::string home;
    std::string dir;
    switch (folder) {
      case kCsidlCommonPrograms:
        dir = "/usr/local/share/applications";
        break;
      case kCsidlCommonStartup:
        dir = "/etc/xdg/autostart";
        break;
      case kCsidlCommonAppData:
        dir = "/var/lib";
        break;
      case kCsidlDesktop:
      case kCsidlDesktopDirectory:
      case kCsidlPrograms:
      case kCsidlPersonal:
      case kCsidlStartup:
      case kCsidlAppData:
      case kCsidlLocalAppData:
        if (!HomeDirectory(&home)) return false;
        if (folder == kCsidlDesktop || folder == kCsidlDesktopDirectory) {
          dir = DesktopDirectory(home);
        } else if (folder == kCsidlPrograms) {
          dir = DataHome(home) + "/applications";
        } else if (folder == kCsidlPersonal) {
          dir = home;
        } else if (folder == kCsidlStartup) {
          dir = ConfigHome(home) + "/autostart";
        } else if (folder == kCsidlAppData) {
          dir = ConfigHome(home);
        } else {
          dir = DataHome(home);
        }
        break;
      default:
        return false;
    }
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    if (create && !MakeDirectories(dir)) return false;
    *path = dir;
    return true;
  }

  bool SaveLink(const std::string& linkPath, const ShellLink& link, bool setArguments,
                bool setIconLocation) override {
    ShellLinkFile file;
    file.target = link.target;
    file.description = link.description;
    file.hasDescription = !link.description.empty();
    file.arguments = link.arguments;
    file.hasArguments = setArguments && !link.arguments.empty();
    file.iconLocation = link.iconFile;
    file.hasIconLocation = setIconLocation && !link.iconFile.empty();
    file.iconIndex = file.hasIconLocation ? link.iconIndex : 0;
    DescribeTarget(link.target, &file);
    std::string bytes;
    if (linkPath.empty() || !EncodeShellLink(file, kUtf8CodePage, &bytes)) return false;

    // A whole new file takes the old one's place in one rename, so a failed
    // save leaves an existing link as it was.
    std::string temp = linkPath + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    bool ok = fchmod(fd, 0644) == 0 && WriteAll(fd, bytes) && fdatasync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && rename(temp.c_str(), linkPath.c_str()) == 0;
    if (!ok) {
      unlink(temp.c_str());
      return false;
    }
    // The new name on the disk too.
    return Env::Get().fs().FlushDir(FolderOfPath(linkPath)) == kErrorSuccess;
  }

  int32_t LoadLink(const std::string& linkPath, WindowId, ShellLink* link) override {
    // Non-blocking, so that a FIFO in the link's place cannot hang the open.
    int fd = open(linkPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return HresultFromWin32(ErrorFromErrno(errno));
    struct stat st;
    std::string bytes;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxLinkFileSize;
    if (ok) {
      bytes.resize(static_cast<size_t>(st.st_size));
      size_t got = 0;
      while (got < bytes.size()) {
        ssize_t r = ::read(fd, &bytes[got], bytes.size() - got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += static_cast<size_t>(r);
      }
      bytes.resize(got);
    }
    ::close(fd);
    ShellLinkFile file;
    if (!ok || !DecodeShellLink(bytes, kUtf8CodePage, &file)) return kEFail;
    // Resolving searches for a moved target; a path here is the target itself.
    link->target = file.target;
    link->arguments = file.hasArguments ? file.arguments : std::string();
    link->description = file.hasDescription ? file.description : std::string();
    link->iconFile = file.hasIconLocation ? file.iconLocation : std::string();
    link->iconIndex = file.iconIndex;
    return kSOk;
  }

  bool DeleteForGood(const std::string& path) override {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    return unlink(path.c_str()) == 0;
  }

  size_t GetLongPathForm(const std::string& path, std::string* longPath) override {
    // POSIX names have no short form: an existing path is its own long form.
    struct stat st;
    if (path.empty() || lstat(path.c_str(), &st) != 0) return 0;
    *longPath = path;
    return path.size();
  }
};

}  // namespace

Shell* DefaultShell() {
  static PosixShell shell;
  return &shell;
}

}  // namespace platform
