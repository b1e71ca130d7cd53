// The send-message action against real X windows: a private Xvfb (started
// here, on a display number it picks itself) and x_test_window clients that
// log what they receive.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <tinyxml.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "actions/action_registry.h"
#include "platform/env.h"
#include "support/recording_main_window.h"
#include "support/temp_dir.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string g_szDisplay;
std::string g_szSkipReason;

pid_t Spawn(const std::vector<std::string>& args, posix_spawn_file_actions_t* actions = nullptr) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], actions, nullptr, argv.data(), environ) != 0) return 0;
  return pid;
}

bool OnPath(const std::string& program) {
  const char* path = getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    if (access((dirs.substr(start, end - start) + "/" + program).c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

void StopProcess(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  int status;
  waitpid(pid, &status, 0);
}

// Xvfb -displayfd writes the display number it chose once it accepts clients.
// With -terminate it ends when its last client goes; a keeper window (which
// ends itself after two minutes) is that client, so a test process that is
// killed does not leave its Xvfb behind for long.
class XvfbEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    if (!OnPath("Xvfb")) {
      g_szSkipReason = "Xvfb is not installed (scripts/lib/deps.sh installs it)";
      return;
    }
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    m_pid = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp", "-terminate",
                   "-screen", "0", "320x240x24"},
                  &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string number;
    auto deadline = Clock::now() + std::chrono::seconds(20);
    while (m_pid > 0 && number.find('\n') == std::string::npos && Clock::now() < deadline) {
      struct pollfd p = {fds[0], POLLIN, 0};
      if (poll(&p, 1, 200) <= 0) continue;
      char buffer[32];
      ssize_t n = read(fds[0], buffer, sizeof buffer);
      if (n <= 0) break;
      number.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    ASSERT_NE(number.find('\n'), std::string::npos) << "Xvfb did not start";
    g_szDisplay = ":" + number.substr(0, number.find('\n'));
    setenv("DISPLAY", g_szDisplay.c_str(), 1);
    m_keeper = Spawn({X_TEST_WINDOW, "--log", "/dev/null", "--name", "keeper", "--class", "Keeper",
                      "--title", "Keeper"});
  }

  void TearDown() override {
    StopProcess(m_keeper);
    StopProcess(m_pid);
  }

 private:
  pid_t m_pid = 0;
  pid_t m_keeper = 0;
};

[[maybe_unused]] const testing::Environment* const kXvfb =
    testing::AddGlobalTestEnvironment(new XvfbEnvironment);

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

// One x_test_window client, stopped at the end of the test.
class TestWindow {
 public:
  TestWindow(const TempDir& dir, std::vector<std::string> options, const std::string& log = "w.log")
      : m_szLog(dir.Sub(log)) {
    std::vector<std::string> args = {X_TEST_WINDOW, "--log", m_szLog};
    args.insert(args.end(), options.begin(), options.end());
    m_pid = Spawn(args);
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (m_pid > 0 && Clock::now() < deadline) {
      std::vector<std::string> lines = ReadLines(m_szLog);
      if (!lines.empty() && lines[0].compare(0, 6, "ready ") == 0) {
        m_id = std::strtoull(lines[0].c_str() + 6, nullptr, 10);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  ~TestWindow() {
    if (!m_bExited) StopProcess(m_pid);
  }

  platform::WindowId id() const { return m_id; }
  // The log without its "ready" line.
  std::vector<std::string> Received() const {
    std::vector<std::string> lines = ReadLines(m_szLog);
    if (!lines.empty()) lines.erase(lines.begin());
    return lines;
  }
  // The client logs a message after the X server has passed it on: wait for
  // `n` lines, then a little longer so that an extra one would show too.
  std::vector<std::string> ReceivedAtLeast(size_t n) const {
    auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Received().size() < n && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return Received();
  }
  int Count(const std::string& line) const {
    int n = 0;
    for (const std::string& l : Received()) n += l == line;
    return n;
  }
  // True when the client ended within the time.
  bool Exited(std::chrono::milliseconds within) {
    auto deadline = Clock::now() + within;
    while (!m_bExited) {
      int status;
      if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_bExited = true;
        break;
      }
      if (Clock::now() >= deadline) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return m_bExited;
  }

 private:
  std::string m_szLog;
  pid_t m_pid = 0;
  platform::WindowId m_id = 0;
  bool m_bExited = false;
};

// Answers questions like RecordingMainWindow and notes how many close
// requests the window had logged when each question came.
class QuestionWindow : public RecordingMainWindow {
 public:
  int MessageBox(const std::string& text, unsigned type) override {
    m_aTypes.push_back(type);
    if (m_pTarget) m_aClosesBefore.push_back(m_pTarget->Count("close"));
    return RecordingMainWindow::MessageBox(text, type);
  }
  const TestWindow* m_pTarget = nullptr;
  std::vector<unsigned> m_aTypes;
  std::vector<int> m_aClosesBefore;
};

class WindowMessagesX11 : public testing::Test {
 protected:
  void SetUp() override {
    if (!g_szSkipReason.empty()) GTEST_SKIP() << g_szSkipReason;
    ASSERT_FALSE(g_szDisplay.empty());
    m_dir.Enter();
    RegisterActionTypes();
  }
  void TearDown() override { ClearActionTypes(); }

  // The action an element of the manifest makes, bound and ready to run.
  std::unique_ptr<Action> FromManifest(const std::string& xml) {
    TiXmlDocument doc;
    doc.Parse(xml.c_str());
    const TiXmlElement* element = doc.RootElement();
    if (!element) return nullptr;
    std::unique_ptr<Action> action = CreateAction(element->Attribute("type"));
    if (action) action->LoadFromElement(element);
    return action;
  }

  TempDir m_dir;
};

TEST_F(WindowMessagesX11, LowerCaseWmCloseClosesTheWindowOnceWithoutAQuestion) {
  TestWindow target(m_dir, {});
  ASSERT_NE(target.id(), 0u);
  QuestionWindow window;
  auto action = FromManifest(
      "<action type=\"sendmessage\" description=\"关闭 Velmar Acc\" classname=\"VelmarTest\" "
      "title=\"Velmar Test Window\" message=\"wm_close\"/>");
  ASSERT_TRUE(action);

  auto start = Clock::now();
  EXPECT_NE(action->Execute(), 0);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1900))
      << "a window that goes away ends the wait at once";
  EXPECT_TRUE(target.Exited(std::chrono::seconds(5)));
  EXPECT_EQ(target.Received(), (std::vector<std::string>{"close", "closed"}));
  EXPECT_TRUE(window.CallsOf("box:").empty());
  EXPECT_EQ(window.m_szStatus, "关闭 Velmar Acc");
  EXPECT_FALSE(platform::Env::Get().windows().IsWindow(target.id()));
}

// Its window gone, the program may still hold its files: the action returns
// only once the process has ended.
TEST_F(WindowMessagesX11, TheProcessOfAClosedWindowIsWaitedFor) {
  TestWindow target(m_dir, {"--linger", "1500"});
  ASSERT_NE(target.id(), 0u);
  QuestionWindow window;
  auto action = FromManifest(
      "<action type=\"sendmessage\" classname=\"VelmarTest\" title=\"Velmar Test Window\" "
      "message=\"WM_CLOSE\"/>");
  ASSERT_TRUE(action);
  EXPECT_NE(action->Execute(), 0);
  EXPECT_TRUE(target.Exited(std::chrono::milliseconds(0)));
  EXPECT_EQ(target.Received(), (std::vector<std::string>{"close", "closed"}));
}

TEST_F(WindowMessagesX11, RefusingWindowGetsTwoClosesPerQuestionUntilIgnored) {
  TestWindow target(m_dir, {"--refuse"});
  ASSERT_NE(target.id(), 0u);
  QuestionWindow window;
  window.m_pTarget = &target;
  window.m_answers = {kIdRetry, kIdIgnore};
  auto action = FromManifest(
      "<action type=\"sendmessage\" description=\"关闭 Velmar Acc\" classname=\"VelmarTest\" "
      "title=\"Velmar Test Window\" message=\"WM_CLOSE\"/>");
  ASSERT_TRUE(action);

  EXPECT_NE(action->Execute(), 0);
  EXPECT_EQ(target.ReceivedAtLeast(4), std::vector<std::string>(4, "close"));
  EXPECT_EQ(window.m_aClosesBefore, (std::vector<int>{2, 4}));
  EXPECT_EQ(window.CallsOf("box:"),
            (std::vector<std::string>{"box:无法关闭应用程序：关闭 Velmar Acc",
                                      "box:无法关闭应用程序：关闭 Velmar Acc"}));
  for (unsigned type : window.m_aTypes) EXPECT_EQ(type, kMbAbortRetryIgnore | kMbIconQuestion);
  EXPECT_TRUE(platform::Env::Get().windows().IsWindow(target.id()));
}

TEST_F(WindowMessagesX11, NoMatchingWindowSendsNothingAndAsksNothing) {
  TestWindow target(m_dir, {});
  ASSERT_NE(target.id(), 0u);
  QuestionWindow window;
  for (const char* attributes :
       {"classname=\"Nobody\" title=\"Velmar Test Window\"",
        "classname=\"VelmarTest\" title=\"Another Title\"", "classname=\"\" title=\"\""}) {
    auto action = FromManifest(std::string("<action type=\"sendmessage\" ") + attributes +
                               " message=\"WM_CLOSE\"/>");
    ASSERT_TRUE(action);
    EXPECT_EQ(action->Execute(), 0) << attributes;
  }
  EXPECT_TRUE(target.ReceivedAtLeast(0).empty());
  EXPECT_TRUE(window.CallsOf("box:").empty());
}

TEST_F(WindowMessagesX11, OtherMessagesGoOutOnceWithTheirParameters) {
  TestWindow target(m_dir, {});
  ASSERT_NE(target.id(), 0u);
  QuestionWindow window;
  const char* manifests[] = {
      // "0x10" is read as a decimal number: 0, not WM_CLOSE.
      "<action type=\"sendmessage\" classname=\"VelmarTest\" title=\"Velmar Test Window\" "
      "message=\"0x10\" wparam=\"-1\" lparam=\"7\"/>",
      "<action type=\"sendmessage\" classname=\"VelmarTest\" title=\"Velmar Test Window\" "
      "message=\"wm_command\" wparam=\"1001\"/>",
  };
  for (const char* xml : manifests) {
    auto action = FromManifest(xml);
    ASSERT_TRUE(action);
    EXPECT_NE(action->Execute(), 0) << xml;
  }
  EXPECT_EQ(target.ReceivedAtLeast(2),
            (std::vector<std::string>{"message 0 ffffffff 7", "message 111 3e9 0"}));
  EXPECT_TRUE(window.CallsOf("box:").empty());
  EXPECT_TRUE(platform::Env::Get().windows().IsWindow(target.id()));
}

TEST_F(WindowMessagesX11, WindowsMatchByEitherClassNameAndEitherTitleIgnoringCase) {
  TestWindow plain(m_dir, {"--name", "velmaracc", "--class", "VelmarAcc"}, "plain.log");
  TestWindow chinese(m_dir, {"--name", "updater", "--class", "Updater", "--title", "更新测试窗口"},
                     "chinese.log");
  ASSERT_NE(plain.id(), 0u);
  ASSERT_NE(chinese.id(), 0u);
  platform::WindowMessages& windows = platform::Env::Get().windows();
  EXPECT_EQ(windows.FindWindow("velmaracc", "Velmar Test Window"), plain.id());
  EXPECT_EQ(windows.FindWindow("VELMARACC", "velmar test window"), plain.id());
  EXPECT_EQ(windows.FindWindow("VelmarAcc", ""), plain.id());
  EXPECT_EQ(windows.FindWindow("", "更新测试窗口"), chinese.id());
  EXPECT_EQ(windows.FindWindow("Updater", "更新测试窗口"), chinese.id());
  EXPECT_EQ(windows.FindWindow("Updater", "Velmar Test Window"), 0u);
  EXPECT_EQ(windows.FindWindow("", ""), 0u);
  EXPECT_EQ(windows.FindWindow("VelmarAc", ""), 0u);
}

TEST_F(WindowMessagesX11, UpdatersOwnWindowIsPostedToAndCountsAsNotSent) {
  TestWindow target(m_dir, {});
  ASSERT_NE(target.id(), 0u);
  QuestionWindow window;
  window.m_windowId = target.id();
  auto action = FromManifest(
      "<action type=\"sendmessage\" classname=\"VelmarTest\" title=\"Velmar Test Window\" "
      "message=\"WM_CLOSE\"/>");
  ASSERT_TRUE(action);
  EXPECT_EQ(action->Execute(), 0);
  EXPECT_TRUE(target.Exited(std::chrono::seconds(5))) << "the posted close arrived";
  EXPECT_EQ(target.Count("close"), 1);
  EXPECT_TRUE(window.CallsOf("box:").empty());
}

TEST_F(WindowMessagesX11, VanishedWindowsAreReportedNotFatal) {
  platform::WindowId gone;
  {
    TestWindow target(m_dir, {});
    ASSERT_NE(target.id(), 0u);
    gone = target.id();
  }
  platform::WindowMessages& windows = platform::Env::Get().windows();
  auto deadline = Clock::now() + std::chrono::seconds(5);
  while (windows.IsWindow(gone) && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_FALSE(windows.IsWindow(gone));
  EXPECT_FALSE(windows.SendMessage(gone, 16, 0, 0));
  EXPECT_FALSE(windows.PostMessage(gone, 273, 1, 2));
}

}  // namespace
