// A front-end for tests: records what the dialog asks of its view as lines of
// text, runs the modal loop by handling the posted click and then a given
// number of user clicks, and answers message boxes from a queue.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/dialog_view.h"

class FakeDialogView : public DialogView {
 public:
  // `log` receives the calls; it may be shared with a FakeFrontEnd.
  explicit FakeDialogView(std::vector<std::string>* log) : m_pLog(log) {}

  // "init" after OnInitDialog returned; "click" before each OnUpdate.
  void RunModal(UpdateDialog& dialog) override;
  // "texts:all", "status:<status text>", "latest:<latest-version label>".
  void UpdateTexts(DialogText changed) override;
  // "bars:<file position>/<file range> <total position>/<total range>".
  void UpdateBars() override;
  bool HasUpdateButton() const override { return m_bHasUpdateButton; }
  // "enable:0|1".
  void EnableButtons(bool enable) override;
  // "post".
  void PostUpdateClick() override;
  // "end"; no click is handled after it.
  void EndDialog() override;
  // "box:<text>"; answers from m_answers, else IDIGNORE.
  int MessageBox(const std::string& text, unsigned type) override;
  // "pump"; runs m_onPump once when set.
  void PumpMessage() override;
  platform::WindowId GetWindowId() const override { return 42; }

  bool m_bHasUpdateButton = true;
  int m_nUserClicks = 0;
  bool m_bButtonsEnabled = true;
  std::deque<int> m_answers;
  std::function<void()> m_onPump;
  UpdateDialog* m_pDialog = nullptr;

 private:
  std::vector<std::string>* m_pLog;
  bool m_bClickPosted = false;
  bool m_bEnded = false;
};

class FakeFrontEnd : public FrontEnd {
 public:
  // "startbox:<caption>:<text>:<type>".
  int MessageBox(const std::string& caption, const std::string& text, unsigned type) override;
  // "view:<caption>"; the view logs into m_aCalls.
  std::unique_ptr<DialogView> CreateDialogView(const std::string& caption) override;

  std::vector<std::string> m_aCalls;
  int m_nUserClicks = 0;
};
