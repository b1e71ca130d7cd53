// The reporting contract between the logic and the update dialog. Every call
// is direct and synchronous, on the user-interface thread, while the dialog
// runs; g_pMainWnd is null outside that span.
#pragma once

#include <string>

#include "platform/window_messages.h"

// Message box types and answers, with the Windows values.
constexpr unsigned kMbOk = 0x0;
constexpr unsigned kMbAbortRetryIgnore = 0x2;
constexpr unsigned kMbIconStop = 0x10;
constexpr unsigned kMbIconQuestion = 0x20;
constexpr unsigned kMbIconInformation = 0x40;
constexpr int kIdOk = 1;
constexpr int kIdAbort = 3;
constexpr int kIdRetry = 4;
constexpr int kIdIgnore = 5;

class MainWindow {
 public:
  virtual ~MainWindow() = default;

  // The status line shows this text alone.
  virtual void ShowStatus(const std::string& text) = 0;
  // range > 0 sets the range 0..range; position 0 shows the bar; then the
  // position is set. A range of 0 or less moves the position only.
  virtual void SetFileProgress(int position, int range) = 0;
  virtual void SetTotalProgress(int position, int range) = 0;
  // The latest-version label shows "最新版本号：" + version.
  virtual void ShowLatestVersion(const std::string& version) = 0;
  // A modal box over the window, captioned with the application's name;
  // returns the kId* of the button chosen.
  virtual int MessageBox(const std::string& text, unsigned type) = 0;
  // Removes at most one pending window message and dispatches it; never waits.
  virtual void PumpMessage() = 0;
  // The window's identity, as WindowMessages finds it.
  virtual platform::WindowId GetWindowId() const = 0;
  // Ends the dialog once the running update returns, as Close does: an
  // updater started with administrator rights takes over. A window that is no
  // dialog has nothing to end.
  virtual void EndDialog() {}
};

extern MainWindow* g_pMainWnd;
