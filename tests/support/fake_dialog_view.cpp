#include "support/fake_dialog_view.h"

#include "app/update_dialog.h"

void FakeDialogView::RunModal(UpdateDialog& dialog) {
  m_pDialog = &dialog;
  dialog.OnInitDialog();
  m_pLog->push_back("init");
  if (m_bClickPosted) {
    m_bClickPosted = false;
    m_pLog->push_back("click");
    dialog.OnUpdate();
  }
  for (int i = 0; i < m_nUserClicks && !m_bEnded; ++i) {
    m_pLog->push_back("click");
    dialog.OnUpdate();
  }
  m_pDialog = nullptr;
}

void FakeDialogView::UpdateTexts(DialogText changed) {
  switch (changed) {
    case DialogText::kAll:
      m_pLog->push_back("texts:all");
      break;
    case DialogText::kStatus:
      m_pLog->push_back("status:" + m_pDialog->StatusText());
      break;
    case DialogText::kLatestVersion:
      m_pLog->push_back("latest:" + m_pDialog->NewVerText());
      break;
  }
}

void FakeDialogView::UpdateBars() {
  const ProgressModel& file = m_pDialog->FileProgress();
  const ProgressModel& total = m_pDialog->TotalProgress();
  m_pLog->push_back("bars:" + std::to_string(file.Position()) + "/" + std::to_string(file.Range()) +
                    " " + std::to_string(total.Position()) + "/" + std::to_string(total.Range()));
}

void FakeDialogView::EnableButtons(bool enable) {
  m_bButtonsEnabled = enable;
  m_pLog->push_back(enable ? "enable:1" : "enable:0");
}

void FakeDialogView::PostUpdateClick() {
  m_bClickPosted = true;
  m_pLog->push_back("post");
}

void FakeDialogView::EndDialog() {
  m_bEnded = true;
  m_pLog->push_back("end");
}

int FakeDialogView::MessageBox(const std::string& text, unsigned) {
  m_pLog->push_back("box:" + text);
  if (m_answers.empty()) return 5;  // IDIGNORE
  int answer = m_answers.front();
  m_answers.pop_front();
  return answer;
}

void FakeDialogView::PumpMessage() {
  m_pLog->push_back("pump");
  if (m_onPump) {
    std::function<void()> once = std::move(m_onPump);
    m_onPump = nullptr;
    once();
  }
}

int FakeFrontEnd::MessageBox(const std::string& caption, const std::string& text, unsigned type) {
  m_aCalls.push_back("startbox:" + caption + ":" + text + ":" + std::to_string(type));
  return 1;  // IDOK
}

std::unique_ptr<DialogView> FakeFrontEnd::CreateDialogView(const std::string& caption) {
  m_aCalls.push_back("view:" + caption);
  auto view = std::make_unique<FakeDialogView>(&m_aCalls);
  view->m_nUserClicks = m_nUserClicks;
  return view;
}
