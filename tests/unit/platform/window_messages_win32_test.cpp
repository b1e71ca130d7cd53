// For Windows: FindWindowA, SendMessageA, PostMessageA and IsWindow against a
// window of a second Win32 program.
#include <gtest/gtest.h>

#include "platform/env.h"
#include "support/temp_dir.h"
#include "support/win32/test_programs.h"

namespace {

constexpr char kClass[] = "VelmarTestWindow";

class WindowMessagesWin32 : public ::testing::Test {
 protected:
  platform::WindowMessages& windows() { return platform::Env::Get().windows(); }

  // Starts the helper window and waits until it can be found.
  platform::WindowId Start(const std::string& title, const std::string& mode = "") {
    std::string line = "\"" + TestWindowProgram() + "\" window " + kClass + " \"" + title +
                       "\" \"" + Record() + "\" " + mode;
    m_szTitle = title;
    if (!platform::Env::Get().processes().Launch(line, &m_process)) return 0;
    platform::WindowId found = 0;
    WaitFor([&] { return (found = windows().FindWindow(kClass, title)) != 0; });
    return found;
  }

  std::string Record() const { return m_dir.path() + "\\messages.txt"; }

  void TearDown() override {
    platform::WindowId w = windows().FindWindow(kClass, m_szTitle);
    // A stubborn helper ends with WM_QUIT.
    if (w) windows().PostMessage(w, 0x12, 0, 0);
    if (m_process) m_process->Wait();
  }

  TempDir m_dir;
  std::string m_szTitle;
  std::unique_ptr<platform::ProcessHandle> m_process;
};

TEST_F(WindowMessagesWin32, SendReachesTheWindowWithSignExtendedParameters) {
  platform::WindowId w = Start("Velmar Test 1");
  ASSERT_NE(w, 0u);
  // Both texts go over as they stand: an empty one names an empty class or
  // title, never "any".
  EXPECT_EQ(windows().FindWindow(kClass, ""), 0u);
  EXPECT_EQ(windows().FindWindow("", "Velmar Test 1"), 0u);
  EXPECT_EQ(windows().FindWindow("", ""), 0u);
  EXPECT_EQ(windows().FindWindow(kClass, "Another Title"), 0u);

  // SendMessage returns only after the window has handled the message.
  // -1 fills the whole WPARAM: 32 bits in a 32-bit program, 64 in a 64-bit one.
  EXPECT_TRUE(windows().SendMessage(w, 0x0401, -1, 7));
  EXPECT_EQ(ReadFileBytes(Record()), "401 " + std::string(2 * sizeof(void*), 'f') + " 7\n");

  EXPECT_TRUE(windows().PostMessage(w, 0x0402, 1, 2));
  EXPECT_TRUE(
      WaitFor([&] { return ReadFileBytes(Record()).find("402 1 2\n") != std::string::npos; }));

  EXPECT_TRUE(windows().SendMessage(w, 0x10, 0, 0));  // WM_CLOSE
  EXPECT_TRUE(WaitFor([&] { return !windows().IsWindow(w); }));
  EXPECT_FALSE(windows().SendMessage(w, 0x0401, 0, 0)) << "no window left to send to";
}

TEST_F(WindowMessagesWin32, AnEmptyTitleFindsTheWindowWithoutOne) {
  platform::WindowId w = Start("");
  ASSERT_NE(w, 0u);
  EXPECT_EQ(windows().FindWindow(kClass, ""), w);
}

TEST_F(WindowMessagesWin32, StubbornWindowStaysAfterClose) {
  platform::WindowId w = Start("Velmar Test 2", "stubborn");
  ASSERT_NE(w, 0u);
  EXPECT_TRUE(windows().SendMessage(w, 0x10, 0, 0));
  EXPECT_TRUE(windows().SendMessage(w, 0x10, 0, 0));
  EXPECT_TRUE(windows().IsWindow(w));
  EXPECT_EQ(ReadFileBytes(Record()), "10 0 0\n10 0 0\n");
}

// Its window gone, the program's process goes on (holding its files) until it
// ends; the process is learned while the window exists.
TEST_F(WindowMessagesWin32, TheProcessOfAWindowOutlivesItAndCanBeWaitedFor) {
  platform::WindowId w = Start("Velmar Test 3", "linger");
  ASSERT_NE(w, 0u);
  std::unique_ptr<platform::WindowProcess> process = windows().OpenWindowProcess(w);
  ASSERT_TRUE(process);
  EXPECT_TRUE(windows().SendMessage(w, 0x10, 0, 0));
  EXPECT_TRUE(WaitFor([&] { return !windows().IsWindow(w); }));
  EXPECT_FALSE(process->WaitForEnd(0)) << "the process lives on for a while";
  EXPECT_TRUE(process->WaitForEnd(10000));
  EXPECT_FALSE(windows().OpenWindowProcess(w)) << "a gone window names no process";
}

TEST_F(WindowMessagesWin32, AWindowThatDoesNotAnswerFailsTheSendInsteadOfHoldingIt) {
  platform::WindowId w = Start("Velmar Test 4", "hang");
  ASSERT_NE(w, 0u);
  EXPECT_FALSE(windows().SendMessage(w, 0x0403, 0, 0));
  EXPECT_TRUE(windows().IsWindow(w));
}

}  // namespace
