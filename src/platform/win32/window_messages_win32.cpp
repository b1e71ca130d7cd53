// Windows back-end of WindowMessages: FindWindowA, SendMessageA, PostMessageA
// and IsWindow on the desktop's top-level windows. The class and title go to
// FindWindowA as they stand, empty texts included.
#include "platform/env.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

HWND ToHwnd(WindowId window) { return reinterpret_cast<HWND>(static_cast<uintptr_t>(window)); }

// The 32-bit parameters are signed: -1 has all bits set in the wider types.
WPARAM ToWParam(int32_t w) { return static_cast<WPARAM>(static_cast<intptr_t>(w)); }
LPARAM ToLParam(int32_t l) { return static_cast<LPARAM>(l); }

class Win32WindowMessages : public WindowMessages {
 public:
  WindowId FindWindow(const std::string& className, const std::string& title) override {
    HWND h = ::FindWindowA(className.c_str(), title.c_str());
    return static_cast<WindowId>(reinterpret_cast<uintptr_t>(h));
  }

  bool SendMessage(WindowId window, uint32_t message, int32_t wParam, int32_t lParam) override {
    HWND h = ToHwnd(window);
    if (!::IsWindow(h)) return false;
    ::SendMessageA(h, message, ToWParam(wParam), ToLParam(lParam));
    return true;
  }

  bool PostMessage(WindowId window, uint32_t message, int32_t wParam, int32_t lParam) override {
    return ::PostMessageA(ToHwnd(window), message, ToWParam(wParam), ToLParam(lParam)) != FALSE;
  }

  bool IsWindow(WindowId window) override { return ::IsWindow(ToHwnd(window)) != FALSE; }
};

}  // namespace

WindowMessages* DefaultWindowMessages() {
  static Win32WindowMessages windows;
  return &windows;
}

}  // namespace platform
