// What a front-end does for the update dialog: it draws the dialog's texts and
// bars, owns its buttons and message boxes, and calls the dialog's handlers.
// The dialog's logic (UpdateDialog) is written once; each front-end (GTK, the
// console, later Win32) only renders it.
#pragma once

#include <memory>
#include <string>

#include "platform/window_messages.h"

class UpdateDialog;

// Which of the dialog's texts changed.
enum class DialogText {
  kAll,            // the initial transfer of all three
  kStatus,         // control 1000, the status line
  kLatestVersion,  // control 1005, the latest-version label
};

class DialogView {
 public:
  virtual ~DialogView() = default;

  // Creates the window, calls dialog.OnInitDialog() once it exists, shows it
  // with the keyboard focus on Close and runs until Close or Esc ends it. A
  // click on Update calls dialog.OnUpdate(). Closing is refused while
  // dialog.IsRunning().
  virtual void RunModal(UpdateDialog& dialog) = 0;

  // Brings the dialog's three texts to the screen at once.
  virtual void UpdateTexts(DialogText changed) = 0;
  // Brings both bars to the screen from the dialog's progress models.
  virtual void UpdateBars() = 0;
  virtual bool HasUpdateButton() const = 0;
  // Update and Close together.
  virtual void EnableButtons(bool enable) = 0;
  // Queues a click of Update; it is handled once the dialog is on screen and
  // its loop runs.
  virtual void PostUpdateClick() = 0;
  // Ends the modal run as Close does; called after a handler has returned.
  virtual void EndDialog() = 0;

  // The MainWindow operations that depend on the toolkit.
  virtual int MessageBox(const std::string& text, unsigned type) = 0;
  virtual void PumpMessage() = 0;
  virtual platform::WindowId GetWindowId() const = 0;
};

// The toolkit the process runs with.
class FrontEnd {
 public:
  virtual ~FrontEnd() = default;
  // A message box before any window exists.
  virtual int MessageBox(const std::string& caption, const std::string& text, unsigned type) = 0;
  // A view for the dialog; its message boxes carry `caption`.
  virtual std::unique_ptr<DialogView> CreateDialogView(const std::string& caption) = 0;
};
