// "sendmessage": sends one window message to another program's top-level
// window, found by class and title; asks the user when a window will not close.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "actions/action.h"

class SendMessageAction : public Action {
 public:
  SendMessageAction();
  ~SendMessageAction() override;

  void InitDefaults() override;
  int SetParam(const std::string& name, const std::string& value) override;
  // TRUE when the message was sent to a window at least once. A message to
  // the updater's own window is posted instead. WM_CLOSE goes out again while
  // the window stays; after every second attempt the user is asked whether to
  // retry. Once the window has gone, its process gets up to 10 s to end.
  int Execute() override;
  std::unique_ptr<Action> Clone() const override;

  std::string m_szClassName;
  std::string m_szTitle;
  int32_t m_nMessage = 0;
  int32_t m_wParam = 0;
  int32_t m_lParam = 0;
};

// The message names "message" accepts besides a decimal number, compared
// ignoring case: true and the number for one of them, false for any other text.
bool MessageNameNumber(const std::string& name, int32_t* number);
// Those names, in table order: "WM_CLOSE", "WM_QUIT", "WM_COMMAND", "WM_DESTROY".
std::vector<std::string> MessageNames();
