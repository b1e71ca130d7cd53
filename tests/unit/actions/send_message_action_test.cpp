#include "actions/send_message_action.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/env.h"
#include "support/recording_main_window.h"
#include "support/temp_dir.h"

namespace {

// Windows that the test describes: one class/title pair names one window,
// which goes away after a number of WM_CLOSE messages (never when negative).
class FakeWindowMessages : public platform::WindowMessages {
 public:
  platform::WindowId FindWindow(const std::string& className, const std::string& title) override {
    m_aCalls.push_back("find " + className + "|" + title);
    if (className == m_szClass && title == m_szTitle && !m_bGone) return m_id;
    return 0;
  }
  bool SendMessage(platform::WindowId window, uint32_t message, int32_t wParam,
                   int32_t lParam) override {
    m_aCalls.push_back(Describe("send", window, message, wParam, lParam));
    if (message == 16 && m_nClosesToGo >= 0 && --m_nClosesToGo < 0) m_bGone = true;
    return m_bAnswers;
  }
  bool PostMessage(platform::WindowId window, uint32_t message, int32_t wParam,
                   int32_t lParam) override {
    m_aCalls.push_back(Describe("post", window, message, wParam, lParam));
    return true;
  }
  bool IsWindow(platform::WindowId window) override { return window == m_id && !m_bGone; }
  // The window's process, when it can be opened; its waits are recorded.
  struct Process : platform::WindowProcess {
    std::vector<std::string>* calls;
    bool WaitForEnd(uint32_t ms) override {
      return calls->push_back("wait " + std::to_string(ms)), true;
    }
  };
  std::unique_ptr<platform::WindowProcess> OpenWindowProcess(platform::WindowId window) override {
    m_aCalls.push_back("process " + std::to_string(window));
    if (!m_bHasProcess) return nullptr;
    auto process = std::make_unique<Process>();
    process->calls = &m_aCalls;
    return process;
  }

  // Only the send and post calls.
  std::vector<std::string> Deliveries() const {
    std::vector<std::string> out;
    for (const std::string& c : m_aCalls) {
      if (c.compare(0, 5, "send ") == 0 || c.compare(0, 5, "post ") == 0) out.push_back(c);
    }
    return out;
  }

  std::string m_szClass = "VelmarAcc";
  std::string m_szTitle = "Velmar Acc";
  platform::WindowId m_id = 0x400007;
  int m_nClosesToGo = 0;  // goes away with the first WM_CLOSE
  bool m_bGone = false;
  bool m_bAnswers = true;     // false: every send times out
  bool m_bHasProcess = true;  // false: the process cannot be opened
  std::vector<std::string> m_aCalls;

 private:
  static std::string Describe(const char* verb, platform::WindowId w, uint32_t m, int32_t wp,
                              int32_t lp) {
    return std::string(verb) + " " + std::to_string(w) + " " + std::to_string(m) + " " +
           std::to_string(wp) + " " + std::to_string(lp);
  }
};

class SendMessageActionTest : public testing::Test {
 protected:
  void SetUp() override { m_dir.Enter(); }

  SendMessageAction Bound(const std::string& attributes) {
    TiXmlDocument doc;
    doc.Parse(("<action type=\"sendmessage\" " + attributes + "/>").c_str());
    SendMessageAction action;
    action.LoadFromElement(doc.RootElement());
    return action;
  }

  TempDir m_dir;
  FakeWindowMessages m_windows;
  platform::ScopedService<platform::WindowMessages> m_guard{&platform::Env::SetWindows, &m_windows};
};

TEST_F(SendMessageActionTest, MessageNamesAndNumbersAreReadAsTheManifestWritesThem) {
  struct Case {
    const char* text;
    int32_t number;
  } cases[] = {
      {"WM_CLOSE", 16},  {"wm_close", 16}, {"Wm_Quit", 18}, {"wm_command", 273},
      {"WM_DESTROY", 2}, {"0x10", 0},      {"16", 16},      {"  -5abc", -5},
      {"+273", 273},     {"WM_CLOSE ", 0}, {"", 0},         {"junk", 0},
  };
  for (const Case& c : cases) {
    SendMessageAction action;
    action.SetParam("message", c.text);
    EXPECT_EQ(action.m_nMessage, c.number) << "\"" << c.text << "\"";
  }

  SendMessageAction action = Bound("message=\"WM_COMMAND\" wparam=\"-1\" lparam=\" 12x\"");
  EXPECT_EQ(action.m_wParam, -1);
  EXPECT_EQ(action.m_lParam, 12);
  // An absent attribute sets the empty text, and so 0, in place of the default.
  SendMessageAction defaults = Bound("message=\"WM_COMMAND\"");
  EXPECT_EQ(defaults.m_wParam, 0);
  EXPECT_EQ(defaults.GetParam("wparam"), "");
  // The class and title are kept exactly as written.
  SendMessageAction names = Bound("classname=\" Velmar \" title=\"%HOME%\"");
  EXPECT_EQ(names.m_szClassName, " Velmar ");
  EXPECT_EQ(names.m_szTitle, "%HOME%");
}

TEST_F(SendMessageActionTest, FreshActionsAndClonesHoldTheDefaults) {
  SendMessageAction action;
  EXPECT_EQ(action.GetType(), "sendmessage");
  EXPECT_EQ(action.GetParamNames(), (std::vector<std::string>{"description", "classname", "title",
                                                              "message", "wparam", "lparam"}));
  EXPECT_EQ(action.GetParamValues(), (std::vector<std::string>{"", "", "", "", "0", "0"}));
  action.SetParam("message", "WM_QUIT");
  auto clone = action.Clone();
  ASSERT_TRUE(clone);
  EXPECT_EQ(static_cast<SendMessageAction&>(*clone).m_nMessage, 0);
}

TEST_F(SendMessageActionTest, RefusingWindowIsAskedAboutAfterEverySecondClose) {
  m_windows.m_nClosesToGo = -1;
  RecordingMainWindow window;
  window.m_answers = {kIdRetry, kIdRetry, kIdAbort};
  SendMessageAction action = Bound(
      "description=\"Velmar %HOME%\" classname=\"VelmarAcc\" title=\"Velmar Acc\" "
      "message=\"WM_CLOSE\"");
  EXPECT_EQ(action.Execute(), 1);
  EXPECT_EQ(m_windows.Deliveries().size(), 6u);
  // The raw description: neither expanded nor used as a format.
  EXPECT_EQ(window.CallsOf("box:"),
            std::vector<std::string>(3, "box:无法关闭应用程序：Velmar %HOME%"));
}

TEST_F(SendMessageActionTest, RetryStopsAsSoonAsTheWindowGoesAway) {
  m_windows.m_nClosesToGo = 2;  // the third close does it
  RecordingMainWindow window;
  window.m_answers = {kIdRetry};
  SendMessageAction action = Bound("classname=\"VelmarAcc\" title=\"Velmar Acc\" message=\"16\"");
  EXPECT_EQ(action.Execute(), 1);
  EXPECT_EQ(m_windows.Deliveries().size(), 3u);
  EXPECT_EQ(window.CallsOf("box:").size(), 1u);
  EXPECT_TRUE(window.m_answers.empty());
}

// The window's process is learned before WM_CLOSE goes out and waited for
// (up to 10 s) once the window has gone; a window that stays, or a process
// that cannot be opened, is not waited for; other messages leave it alone.
TEST_F(SendMessageActionTest, AClosedWindowsProcessIsWaitedFor) {
  const std::string open = "process 4194311", close = "send 4194311 16 0 0";
  struct Case {
    const char* message;
    int closesToGo;
    bool hasProcess;
    bool answers;
    std::vector<std::string> calls;
  } cases[] = {
      {"WM_CLOSE", 0, true, true, {open, close, "wait 10000"}},
      {"WM_CLOSE", 0, false, true, {open, close}},
      {"WM_COMMAND", 0, true, true, {"send 4194311 273 0 0"}},
      // Not answering in time is not closing: two attempts, then the question.
      {"WM_CLOSE", -1, true, false, {open, close, open, close}},
  };
  for (const Case& c : cases) {
    FakeWindowMessages windows;
    windows.m_nClosesToGo = c.closesToGo;
    windows.m_bHasProcess = c.hasProcess;
    windows.m_bAnswers = c.answers;
    platform::ScopedService<platform::WindowMessages> guard(&platform::Env::SetWindows, &windows);
    RecordingMainWindow window;
    window.m_answers = {kIdIgnore};
    SendMessageAction action = Bound(std::string("classname=\"VelmarAcc\" title=\"Velmar Acc\" ") +
                                     "message=\"" + c.message + "\"");
    EXPECT_EQ(action.Execute(), 1) << c.message;
    std::vector<std::string> calls;
    for (const std::string& call : windows.m_aCalls) {
      if (call.compare(0, 5, "find ") != 0) calls.push_back(call);
    }
    EXPECT_EQ(calls, c.calls) << c.message << c.closesToGo << c.hasProcess;
    EXPECT_EQ(window.CallsOf("box:").size(), c.closesToGo < 0 ? 1u : 0u);
  }
}

TEST_F(SendMessageActionTest, WithoutAMainWindowNobodyIsAskedAndTwoClosesGoOut) {
  m_windows.m_nClosesToGo = -1;
  ASSERT_EQ(g_pMainWnd, nullptr);
  SendMessageAction action =
      Bound("classname=\"VelmarAcc\" title=\"Velmar Acc\" message=\"WM_CLOSE\"");
  EXPECT_EQ(action.Execute(), 1);
  EXPECT_EQ(m_windows.Deliveries().size(), 2u);
}

TEST_F(SendMessageActionTest, OtherMessagesGoOutOnceToAWindowThatStays) {
  m_windows.m_nClosesToGo = -1;
  RecordingMainWindow window;
  SendMessageAction action = Bound(
      "classname=\"VelmarAcc\" title=\"Velmar Acc\" message=\"WM_COMMAND\" wparam=\"-1\" "
      "lparam=\"2147483648\"");
  EXPECT_EQ(action.Execute(), 1);
  // lparam beyond 32 bits wraps as "%d" does.
  EXPECT_EQ(m_windows.Deliveries(), (std::vector<std::string>{"send 4194311 273 -1 -2147483648"}));
  EXPECT_TRUE(window.CallsOf("box:").empty());
}

TEST_F(SendMessageActionTest, UpdatersOwnWindowIsPostedToNotSentTo) {
  RecordingMainWindow window;
  window.m_windowId = m_windows.m_id;
  SendMessageAction action =
      Bound("classname=\"VelmarAcc\" title=\"Velmar Acc\" message=\"WM_CLOSE\"");
  EXPECT_EQ(action.Execute(), 0);
  EXPECT_EQ(m_windows.Deliveries(), (std::vector<std::string>{"post 4194311 16 0 0"}));
  EXPECT_TRUE(window.CallsOf("box:").empty());
}

TEST(WindowMessagesWithoutDisplay, FindNothingAndDoNotCrash) {
  const char* saved = getenv("DISPLAY");
  std::string display = saved ? saved : "";
  unsetenv("DISPLAY");
  platform::WindowMessages* windows = platform::DefaultWindowMessages();
  EXPECT_EQ(windows->FindWindow("VelmarAcc", "Velmar Acc"), 0u);
  EXPECT_FALSE(windows->IsWindow(0x400007));
  EXPECT_FALSE(windows->SendMessage(0x400007, 16, 0, 0));
  EXPECT_FALSE(windows->PostMessage(0x400007, 16, 0, 0));
  if (saved) setenv("DISPLAY", display.c_str(), 1);
}

}  // namespace
