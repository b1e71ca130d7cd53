#include "app/update_dialog.h"

#include "actions/action_registry.h"
#include "env/config.h"
#include "env/mbstring.h"
#include "env/texts.h"
#include "update/atomic_update.h"
#include "update/update_run.h"

namespace {

// The one "%s" of a dialog format filled with `value`.
std::string FormatLabel(const char* format, const std::string& value) {
  std::string text = format;
  ReplaceAll(&text, "%s", value);
  return text;
}

}  // namespace

bool RunNewUpdate(std::string url, std::string& manifestText) {
  UpdateRun run;
  return run.RunUpdate(std::move(url), manifestText);
}

bool IsAutoStart(const std::vector<std::string>& args) {
  return args.size() == 1 && MbsEqualNoCase(args[0], kAutoArgument);
}

UpdateDialog::UpdateDialog(std::vector<std::string> args, UpdateRunner runner)
    : m_aArgs(std::move(args)), m_runUpdate(std::move(runner)) {
  RegisterActionTypes();
  m_szCurVerText = FormatLabel(texts::kCurrentVersionFormat, g_szVersion);
}

UpdateDialog::~UpdateDialog() { ClearActionTypes(); }

void UpdateDialog::DoModal(DialogView& view) {
  m_pView = &view;
  view.RunModal(*this);
  m_pView = nullptr;
}

bool UpdateDialog::OnInitDialog() {
  m_pView->UpdateTexts(DialogText::kAll);
  m_ctlFileProgress.Apply(0, 1000);
  m_ctlTotalProgress.Apply(0, 10);
  m_pView->UpdateBars();
  // An update cut short is put back at once, not only when one is started.
  RecoverUnfinishedUpdate();
  if (IsAutoStart(m_aArgs) && m_pView->HasUpdateButton()) m_pView->PostUpdateClick();
  return true;
}

void UpdateDialog::OnUpdate() {
  // A click that was queued before a run and is dispatched while that run
  // pumps messages must not start a second run inside the first.
  if (m_bRunning || !m_pView) return;
  m_ctlTotalProgress.Apply(0, 10);
  m_ctlFileProgress.Apply(0, 1000);
  m_pView->UpdateBars();
  if (!m_pView->HasUpdateButton()) return;
  m_pView->EnableButtons(false);
  m_bRunning = true;
  std::string manifestText;
  m_runUpdate(g_szUpdateUrl, manifestText);
  m_bRunning = false;
  m_pView->EnableButtons(true);
  if (m_bEndRequested) m_pView->EndDialog();
}

void UpdateDialog::ShowStatus(const std::string& text) {
  m_szStatusText = text;
  if (m_pView) m_pView->UpdateTexts(DialogText::kStatus);
}

void UpdateDialog::SetFileProgress(int position, int range) {
  m_ctlFileProgress.Apply(position, range);
  if (m_pView) m_pView->UpdateBars();
}

void UpdateDialog::SetTotalProgress(int position, int range) {
  m_ctlTotalProgress.Apply(position, range);
  if (m_pView) m_pView->UpdateBars();
}

void UpdateDialog::ShowLatestVersion(const std::string& version) {
  m_szNewVerText = FormatLabel(texts::kLatestVersionFormat, version);
  if (m_pView) m_pView->UpdateTexts(DialogText::kLatestVersion);
}

int UpdateDialog::MessageBox(const std::string& text, unsigned type) {
  if (m_pView) return m_pView->MessageBox(text, type);
  // No window to ask on: the question's safe answer.
  return (type & 0xF) == kMbAbortRetryIgnore ? kIdIgnore : kIdOk;
}

void UpdateDialog::PumpMessage() {
  if (m_pView) m_pView->PumpMessage();
}

platform::WindowId UpdateDialog::GetWindowId() const {
  return m_pView ? m_pView->GetWindowId() : 0;
}
