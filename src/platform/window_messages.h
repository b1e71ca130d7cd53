// Top-level windows of other programs: find, send, post, still-exists, and the
// process that made a window.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// 0 is no window.
using WindowId = uint64_t;

// How long a sent message may take to be handled.
constexpr uint32_t kSendMessageTimeoutMs = 10000;

// The process that made a window, held so that its end can be waited for once
// the window is gone (its program may still hold its files for a while).
class WindowProcess {
 public:
  virtual ~WindowProcess() = default;
  // True when the process has ended, at the latest after `milliseconds`.
  virtual bool WaitForEnd(uint32_t milliseconds) = 0;
};

class WindowMessages {
 public:
  virtual ~WindowMessages() = default;
  // FindWindowA: by class and title, both handed over as they stand.
  virtual WindowId FindWindow(const std::string& className, const std::string& title) = 0;
  // SendMessageTimeoutA with SMTO_ABORTIFHUNG: returns once the window has had
  // the message. False when there is no such window, or when it hangs or did
  // not answer within kSendMessageTimeoutMs.
  virtual bool SendMessage(WindowId window, uint32_t message, int32_t wParam, int32_t lParam) = 0;
  // PostMessageA: returns at once.
  virtual bool PostMessage(WindowId window, uint32_t message, int32_t wParam, int32_t lParam) = 0;
  // IsWindow.
  virtual bool IsWindow(WindowId window) = 0;
  // The window's process (GetWindowThreadProcessId, OpenProcess with
  // SYNCHRONIZE); null when it cannot be learned or opened, or is this one.
  virtual std::unique_ptr<WindowProcess> OpenWindowProcess(WindowId window) = 0;
};

}  // namespace platform
