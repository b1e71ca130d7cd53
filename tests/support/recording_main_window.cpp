#include "support/recording_main_window.h"

RecordingMainWindow::RecordingMainWindow() : m_pPrevious(g_pMainWnd) { g_pMainWnd = this; }

RecordingMainWindow::~RecordingMainWindow() { g_pMainWnd = m_pPrevious; }

void RecordingMainWindow::ShowStatus(const std::string& text) {
  m_szStatus = text;
  m_aCalls.push_back("status:" + text);
}

void RecordingMainWindow::SetFileProgress(int position, int range) {
  m_fileBar.Apply(position, range);
  m_aCalls.push_back("file:" + std::to_string(position) + "/" + std::to_string(range));
}

void RecordingMainWindow::SetTotalProgress(int position, int range) {
  m_totalBar.Apply(position, range);
  m_aCalls.push_back("total:" + std::to_string(position) + "/" + std::to_string(range));
}

void RecordingMainWindow::ShowLatestVersion(const std::string& version) {
  m_szLatest = version;
  m_aCalls.push_back("latest:" + version);
}

int RecordingMainWindow::MessageBox(const std::string& text, unsigned) {
  m_aCalls.push_back("box:" + text);
  if (m_answers.empty()) return kIdIgnore;
  int answer = m_answers.front();
  m_answers.pop_front();
  return answer;
}

std::vector<std::string> RecordingMainWindow::CallsOf(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const std::string& call : m_aCalls) {
    if (call.compare(0, prefix.size(), prefix) == 0) out.push_back(call);
  }
  return out;
}
