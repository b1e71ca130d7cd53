// POSIX back-end of SystemPaths: /usr stands for the Windows directory and
// /usr/lib for the system directory.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/env.h"

namespace platform {
namespace {

class PosixSystemPaths : public SystemPaths {
 public:
  std::string WindowsDirectory() override { return "/usr"; }
  std::string SystemDirectory() override { return "/usr/lib"; }

  std::string ThisExecutable() override {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return std::string();
    return std::string(buffer, static_cast<size_t>(n));
  }

  void DebugOutput(const std::string& text) override {
    if (!getenv("UPDATER_DEBUG")) return;
    fputs(text.c_str(), stderr);
  }
};

}  // namespace

SystemPaths* DefaultSystemPaths() {
  static PosixSystemPaths paths;
  return &paths;
}

}  // namespace platform
