#include "actions/send_message_action.h"

#include "actions/scan_number.h"
#include "env/main_window.h"
#include "env/mbstring.h"
#include "env/texts.h"
#include "platform/env.h"

namespace {

constexpr char kParamNames[] = "description,classname,title,message,wparam,lparam";
constexpr char kParamDefaults[] = ",,,,0,0";

constexpr int32_t kWmDestroy = 2;
constexpr int32_t kWmClose = 16;
constexpr int32_t kWmQuit = 18;
constexpr int32_t kWmCommand = 273;
// WM_CLOSE attempts between two questions.
constexpr int kAttemptsPerQuestion = 2;
// How long the program whose window closed may take to end.
constexpr uint32_t kProcessEndMs = 10000;

struct MessageName {
  const char* szName;
  int32_t nNumber;
};

constexpr MessageName kMessageNames[] = {
    {"WM_CLOSE", kWmClose},
    {"WM_QUIT", kWmQuit},
    {"WM_COMMAND", kWmCommand},
    {"WM_DESTROY", kWmDestroy},
};

int32_t MessageNumber(const std::string& value) {
  int32_t number;
  return MessageNameNumber(value, &number) ? number : DecimalValue(value);
}

// "无法关闭应用程序：%s" with the description in place of the %s.
std::string CannotCloseText(const std::string& description) {
  std::string text = texts::kCannotCloseFormat;
  size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, description);
  return text;
}

}  // namespace

bool MessageNameNumber(const std::string& name, int32_t* number) {
  for (const MessageName& entry : kMessageNames) {
    if (MbsEqualNoCase(name, entry.szName)) {
      *number = entry.nNumber;
      return true;
    }
  }
  return false;
}

std::vector<std::string> MessageNames() {
  std::vector<std::string> names;
  for (const MessageName& entry : kMessageNames) names.push_back(entry.szName);
  return names;
}

SendMessageAction::SendMessageAction() : Action("sendmessage") { InitDefaults(); }

SendMessageAction::~SendMessageAction() = default;

void SendMessageAction::InitDefaults() {
  m_szClassName.clear();
  m_szTitle.clear();
  m_nMessage = 0;
  m_wParam = 0;
  m_lParam = 0;
  DefineParams(kParamNames, kParamDefaults);
}

int SendMessageAction::SetParam(const std::string& name, const std::string& value) {
  std::string key = ParamKey(name);
  if (key == "classname") {
    m_szClassName = value;
  } else if (key == "title") {
    m_szTitle = value;
  } else if (key == "message") {
    m_nMessage = MessageNumber(value);
  } else if (key == "wparam") {
    m_wParam = DecimalValue(value);
  } else if (key == "lparam") {
    m_lParam = DecimalValue(value);
  }
  return Action::SetParam(name, value);
}

int SendMessageAction::Execute() {
  LogDescription();
  platform::WindowMessages& windows = platform::Env::Get().windows();
  const uint32_t message = static_cast<uint32_t>(m_nMessage);
  int result = 0;
  int attempts = 0;
  for (;;) {
    platform::WindowId window = windows.FindWindow(m_szClassName, m_szTitle);
    if (!window) return result;
    if (g_pMainWnd && window == g_pMainWnd->GetWindowId()) {
      // Sending to ourselves would wait on our own message loop.
      windows.PostMessage(window, message, m_wParam, m_lParam);
      return result;
    }
    // Learned before the window goes: afterwards it names no process.
    std::unique_ptr<platform::WindowProcess> process;
    if (m_nMessage == kWmClose) process = windows.OpenWindowProcess(window);
    // A window that does not answer in time stays, as one that refuses does.
    windows.SendMessage(window, message, m_wParam, m_lParam);
    result = 1;
    if (m_nMessage != kWmClose) return result;
    if (!windows.IsWindow(window)) {
      // Closed only once its program has let go of its files.
      if (process) process->WaitForEnd(kProcessEndMs);
      return result;
    }
    if (++attempts < kAttemptsPerQuestion) continue;
    attempts = 0;
    if (!g_pMainWnd) return result;
    int answer = g_pMainWnd->MessageBox(CannotCloseText(m_szDescription),
                                        kMbAbortRetryIgnore | kMbIconQuestion);
    if (answer != kIdRetry) return result;
  }
}

std::unique_ptr<Action> SendMessageAction::Clone() const {
  return std::make_unique<SendMessageAction>();
}
