// Windows back-end of SystemPaths: the Windows and system directories, the
// module file name and the debugger output channel.
#include "platform/env.h"
#include "platform/win32/ansi_text.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

class Win32SystemPaths : public SystemPaths {
 public:
  std::string WindowsDirectory() override {
    char buffer[MAX_PATH];
    UINT n = ::GetWindowsDirectoryA(buffer, sizeof buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
  }

  std::string SystemDirectory() override {
    char buffer[MAX_PATH];
    UINT n = ::GetSystemDirectoryA(buffer, sizeof buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
  }

  // Empty when the path has a character the code page cannot hold: the ANSI
  // form would name another file or none.
  std::string ThisExecutable() override {
    WCHAR buffer[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    // n == the buffer size means the name was cut short.
    std::string path;
    if (n == 0 || n >= MAX_PATH || !WideToAnsi(std::wstring(buffer, n), &path))
      return std::string();
    return path;
  }

  void DebugOutput(const std::string& text) override { ::OutputDebugStringA(text.c_str()); }
};

}  // namespace

SystemPaths* DefaultSystemPaths() {
  static Win32SystemPaths paths;
  return &paths;
}

}  // namespace platform
