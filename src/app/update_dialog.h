// The update dialog: the installed and the latest version, the status line,
// the current-file and whole-update bars, and the Update and Close buttons.
// This is its portable half (texts, bars, the "-auto" rule, the Update
// handler); a DialogView draws it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/dialog_view.h"
#include "app/progress_model.h"
#include "env/main_window.h"

// One update run from the manifest URL; `manifestText` receives the manifest.
using UpdateRunner = std::function<bool(std::string url, std::string& manifestText)>;

// A new UpdateRun for the one call, destroyed when it returns.
bool RunNewUpdate(std::string url, std::string& manifestText);

// True when the arguments after the program name are exactly one, "-auto",
// compared ignoring case.
bool IsAutoStart(const std::vector<std::string>& args);

class UpdateDialog : public MainWindow {
 public:
  // Fills the action registry; the installed version comes from g_szVersion.
  explicit UpdateDialog(std::vector<std::string> args, UpdateRunner runner = RunNewUpdate);
  // Empties the action registry.
  ~UpdateDialog() override;
  UpdateDialog(const UpdateDialog&) = delete;
  UpdateDialog& operator=(const UpdateDialog&) = delete;

  // Runs the dialog in `view` until it is closed.
  void DoModal(DialogView& view);

  // Handlers, called by the view.
  bool OnInitDialog();
  void OnUpdate();

  void ShowStatus(const std::string& text) override;
  void SetFileProgress(int position, int range) override;
  void SetTotalProgress(int position, int range) override;
  void ShowLatestVersion(const std::string& version) override;
  int MessageBox(const std::string& text, unsigned type) override;
  void PumpMessage() override;
  platform::WindowId GetWindowId() const override;
  // The view ends the dialog once the run that asked has returned.
  void EndDialog() override { m_bEndRequested = true; }

  const std::string& StatusText() const { return m_szStatusText; }
  const std::string& CurVerText() const { return m_szCurVerText; }
  const std::string& NewVerText() const { return m_szNewVerText; }
  const ProgressModel& FileProgress() const { return m_ctlFileProgress; }
  const ProgressModel& TotalProgress() const { return m_ctlTotalProgress; }
  // True inside OnUpdate's run; the buttons are disabled then.
  bool IsRunning() const { return m_bRunning; }

 private:
  ProgressModel m_ctlTotalProgress;  // control 1003
  ProgressModel m_ctlFileProgress;   // control 1001
  std::string m_szStatusText;        // control 1000
  std::string m_szCurVerText;        // control 1004
  std::string m_szNewVerText;        // control 1005
  std::vector<std::string> m_aArgs;
  UpdateRunner m_runUpdate;
  DialogView* m_pView = nullptr;
  bool m_bRunning = false;
  bool m_bEndRequested = false;
};
