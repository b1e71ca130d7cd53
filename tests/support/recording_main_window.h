// A main window for tests: records every call as one line of text, answers
// message boxes from a queue, and counts pumped messages.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "app/progress_model.h"
#include "env/main_window.h"

class RecordingMainWindow : public MainWindow {
 public:
  RecordingMainWindow();
  ~RecordingMainWindow() override;

  void ShowStatus(const std::string& text) override;
  void SetFileProgress(int position, int range) override;
  void SetTotalProgress(int position, int range) override;
  void ShowLatestVersion(const std::string& version) override;
  int MessageBox(const std::string& text, unsigned type) override;
  void PumpMessage() override { ++m_nPumped; }
  platform::WindowId GetWindowId() const override { return m_windowId; }
  void EndDialog() override { m_aCalls.push_back("end"); }

  // Calls in order: "status:T", "file:P/R", "total:P/R", "latest:V", "box:T",
  // "end".
  std::vector<std::string> m_aCalls;
  std::string m_szStatus;
  std::string m_szLatest;
  ProgressModel m_fileBar;
  ProgressModel m_totalBar;
  std::deque<int> m_answers;  // message box answers; kIdIgnore when empty
  int m_nPumped = 0;
  platform::WindowId m_windowId = 0;

  // Only the calls that start with `prefix`.
  std::vector<std::string> CallsOf(const std::string& prefix) const;

 private:
  MainWindow* m_pPrevious;
};
