// Top-level windows of other programs: find, send, post, still-exists.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// 0 is no window.
using WindowId = uint64_t;

class WindowMessages {
 public:
  virtual ~WindowMessages() = default;
  // FindWindowA: by class and title, both handed over as they stand.
  virtual WindowId FindWindow(const std::string& className, const std::string& title) = 0;
  // SendMessageA: returns once the window has had the message.
  virtual bool SendMessage(WindowId window, uint32_t message, int32_t wParam, int32_t lParam) = 0;
  // PostMessageA: returns at once.
  virtual bool PostMessage(WindowId window, uint32_t message, int32_t wParam, int32_t lParam) = 0;
  // IsWindow.
  virtual bool IsWindow(WindowId window) = 0;
};

}  // namespace platform
