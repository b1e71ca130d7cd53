// Windows back-end of Elevation: the process token's elevation, whether UAC
// is on, the real write tests and ShellExecuteExA. The updater's manifest asks
// for asInvoker, so none of its writes is redirected to the VirtualStore: what
// these tests find is what the update will find.
#include <cstdio>

#include "platform/env.h"
// <shellapi.h> needs <windows.h> first.
// clang-format off
#include "platform/win32/windows_api.h"
#include <shellapi.h>
#include <objbase.h>
// clang-format on

namespace platform {
namespace {

constexpr char kUacPolicyKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

class Win32Elevation : public Elevation {
 public:
  bool IsElevated() override {
    HANDLE token = nullptr;
    // A token that cannot be read is taken as elevated: a restart that cannot
    // tell either would only start the same question again.
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return true;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    BOOL known = ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    ::CloseHandle(token);
    return !known || elevation.TokenIsElevated != 0;
  }

  // EnableLUA 0 turns UAC off: "runas" then starts the program with the same
  // rights. A missing value is Windows' default, on.
  bool CanElevate() override {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUacPolicyKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                        &key) != ERROR_SUCCESS) {
      return true;
    }
    DWORD value = 1;
    DWORD size = sizeof value;
    DWORD type = 0;
    LONG rc = ::RegQueryValueExA(key, "EnableLUA", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                                 &size);
    ::RegCloseKey(key);
    return rc != ERROR_SUCCESS || type != REG_DWORD || value != 0;
  }

  // Removed by the system when its handle closes, also if the process dies.
  bool CanCreateFileIn(const std::string& folder) override {
    for (unsigned attempt = 0; attempt < 16; ++attempt) {
      char name[32];
      std::snprintf(name, sizeof name, "\\.~vu%08lx.tmp",
                    static_cast<unsigned long>(::GetTickCount() ^ (::GetCurrentProcessId() << 8) ^
                                               (attempt * 0x9E3779B9u)));
      HANDLE file = ::CreateFileA(
          (folder + name).c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
          FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
      if (file != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file);
        return true;
      }
      DWORD error = ::GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
  }

  // Through the registry store, so that the key is reached in the view and
  // with the path rules of the writes themselves.
  bool CanWriteMachineKey(const std::string& subKey) override {
    std::unique_ptr<RegistryHandle> key;
    return Env::Get().registry().OpenKey(kHkeyLocalMachine, subKey, kKeyWrite, &key) ==
           kErrorSuccess;
  }

  Error Execute(const std::string& verb, const std::string& program, const std::string& parameters,
                const std::string& folder, WindowId owner) override {
    // The shell may hand the start to extensions that need COM; initialised
    // once for the thread, as the shortcut operations do.
    ::CoInitialize(nullptr);
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    // The caller ends right after: the start must be complete on return.
    info.fMask = SEE_MASK_NOASYNC;
    // An owner window brings the prompt to the front instead of flashing it
    // in the task bar.
    info.hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(owner));
    info.lpVerb = verb.c_str();
    info.lpFile = program.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (::ShellExecuteExA(&info)) return kErrorSuccess;
    DWORD error = ::GetLastError();
    return error != 0 ? static_cast<Error>(error) : kErrorGenFailure;
  }
};

}  // namespace

Elevation* DefaultElevation() {
  static Win32Elevation elevation;
  return &elevation;
}

}  // namespace platform
