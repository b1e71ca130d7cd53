// Windows back-end of WindowMessages: FindWindowA, SendMessageTimeoutA,
// PostMessageA and IsWindow on the desktop's top-level windows, and the
// window's process through GetWindowThreadProcessId and OpenProcess. The class
// and title go to FindWindowA as they stand, empty texts included.
#include <new>

#include "platform/env.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

HWND ToHwnd(WindowId window) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(window)); }

// The 32-bit parameters are signed: -1 has all bits set in the wider types.
WPARAM ToWParam(int32_t w) { return static_cast<WPARAM>(static_cast<intptr_t>(w)); }
LPARAM ToLParam(int32_t l) { return static_cast<LPARAM>(l); }

class Win32WindowProcess : public WindowProcess {
 public:
  explicit Win32WindowProcess(HANDLE process) : m_hProcess(process) {}
  ~Win32WindowProcess() override { ::CloseHandle(m_hProcess); }
  Win32WindowProcess(const Win32WindowProcess&) = delete;
  Win32WindowProcess& operator=(const Win32WindowProcess&) = delete;

  bool WaitForEnd(uint32_t milliseconds) override {
    return ::WaitForSingleObject(m_hProcess, milliseconds) == WAIT_OBJECT_0;
  }

 private:
  HANDLE m_hProcess;
};

class Win32WindowMessages : public WindowMessages {
 public:
  WindowId FindWindow(const std::string& className, const std::string& title) override {
    HWND h = ::FindWindowA(className.c_str(), title.c_str());
    return static_cast<WindowId>(reinterpret_cast<uintptr_t>(h));
  }

  bool SendMessage(WindowId window, uint32_t message, int32_t wParam, int32_t lParam) override {
    HWND h = ToHwnd(window);
    if (!::IsWindow(h)) return false;
    DWORD_PTR answer = 0;
    return ::SendMessageTimeoutA(h, message, ToWParam(wParam), ToLParam(lParam), SMTO_ABORTIFHUNG,
                                 kSendMessageTimeoutMs, &answer) != 0;
  }

  bool PostMessage(WindowId window, uint32_t message, int32_t wParam, int32_t lParam) override {
    return ::PostMessageA(ToHwnd(window), message, ToWParam(wParam), ToLParam(lParam)) != FALSE;
  }

  bool IsWindow(WindowId window) override { return ::IsWindow(ToHwnd(window)) != FALSE; }

  std::unique_ptr<WindowProcess> OpenWindowProcess(WindowId window) override {
    DWORD id = 0;
    if (!::GetWindowThreadProcessId(ToHwnd(window), &id) || id == 0 ||
        id == ::GetCurrentProcessId()) {
      return nullptr;
    }
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, id);
    if (!process) return nullptr;
    std::unique_ptr<WindowProcess> held(new (std::nothrow) Win32WindowProcess(process));
    if (!held) ::CloseHandle(process);
    return held;
  }
};

}  // namespace

WindowMessages* DefaultWindowMessages() {
  static Win32WindowMessages windows;
  return &windows;
}

}  // namespace platform
