#include "actions/run_action.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "actions/open_action.h"
#include "actions/process_launcher.h"
#include "platform/env.h"
#include "support/marker_program.h"
#include "support/recording_main_window.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

// Records every start instead of starting anything. Launch runs on the
// worker thread of a waited-for start.
class RecordingProcesses : public platform::Processes {
 public:
  struct Start {
    std::string szCommandLine;
    bool bHandleAsked;
  };

  bool Launch(const std::string& commandLine,
              std::unique_ptr<platform::ProcessHandle>* process) override {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_aStarts.push_back({commandLine, process != nullptr});
    if (process) *process = std::make_unique<Handle>(this);
    return true;
  }

  std::vector<Start> Starts() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_aStarts;
  }
  int Waits() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nWaits;
  }

 private:
  class Handle : public platform::ProcessHandle {
   public:
    explicit Handle(RecordingProcesses* owner) : m_pOwner(owner) {}
    void Wait() override {
      std::lock_guard<std::mutex> lock(m_pOwner->m_mutex);
      ++m_pOwner->m_nWaits;
    }
    uint32_t Id() const override { return 0; }

   private:
    RecordingProcesses* m_pOwner;
  };

  std::mutex m_mutex;
  std::vector<Start> m_aStarts;
  int m_nWaits = 0;
};

// Binds an action from one manifest element, as the manifest loader does.
template <typename T>
std::unique_ptr<T> Bound(const std::string& element) {
  TiXmlDocument doc;
  doc.Parse(element.c_str());
  EXPECT_FALSE(doc.Error()) << element;
  auto action = std::make_unique<T>();
  EXPECT_TRUE(action->LoadFromElement(doc.RootElement()));
  return action;
}

// Waits (up to 5 s) for a file that a started program writes.
bool AppearsSoon(const std::string& path) {
  for (int i = 0; i < 500; ++i) {
    if (!ReadFileBytes(path).empty()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

class RunActionRecorded : public ::testing::Test {
 protected:
  void SetUp() override { m_dir.Enter(); }

  TempDir m_dir;
  RecordingMainWindow m_window;
  RecordingProcesses m_processes;
  platform::ScopedService<platform::Processes> m_guard{&platform::Env::SetProcesses, &m_processes};
};

TEST_F(RunActionRecorded, CommandLineIsCmdBlankArgsAndTheBlankStaysWithoutArgs) {
  EXPECT_TRUE(Bound<RunAction>(R"(<action type="run" cmd="prog"/>)")->Execute());
  EXPECT_TRUE(
      Bound<RunAction>(R"(<action type="run" cmd="prog" args="-x &quot;a b&quot;"/>)")->Execute());
  auto starts = m_processes.Starts();
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[0].szCommandLine, "prog ");
  EXPECT_EQ(starts[1].szCommandLine, "prog -x \"a b\"");
}

TEST_F(RunActionRecorded, OnlyAsyncTrueInAnyCaseGoesOnWithoutWaiting) {
  struct Case {
    const char* szElement;
    bool bWaits;
  } cases[] = {
      {R"(<action cmd="p" async="TRUE"/>)", false}, {R"(<action cmd="p" async="true"/>)", false},
      {R"(<action cmd="p" async="yes"/>)", true},   {R"(<action cmd="p" async=" true"/>)", true},
      {R"(<action cmd="p" async="false"/>)", true}, {R"(<action cmd="p"/>)", true},
  };
  for (const Case& c : cases) {
    RecordingProcesses processes;
    platform::ScopedService<platform::Processes> guard(&platform::Env::SetProcesses, &processes);
    EXPECT_TRUE(Bound<RunAction>(c.szElement)->Execute());
    auto starts = processes.Starts();
    ASSERT_EQ(starts.size(), 1u) << c.szElement;
    // A waited-for start asks for the process and waits on it.
    EXPECT_EQ(starts[0].bHandleAsked, c.bWaits) << c.szElement;
    EXPECT_EQ(processes.Waits(), c.bWaits ? 1 : 0) << c.szElement;
  }
}

// A cmd naming one existing file with a blank is quoted; anything else, a cmd
// that carries its own arguments above all, stays as written.
TEST_F(RunActionRecorded, ExistingProgramsWithBlanksAreQuotedAndOtherCommandsKeptAsWritten) {
  const std::string prog = m_dir.Sub("my prog");
  ASSERT_TRUE(std::filesystem::create_directory(prog));
  const std::string file = m_dir.Sub("my prog/acc");
  ASSERT_TRUE(WriteFileBytes(file, "x"));
  struct Case {
    std::string cmd;
    std::string expected;
  } cases[] = {
      {file, "\"" + file + "\" -a"},
      {"\"" + file + "\"", "\"" + file + "\" -a"},
      {file + " -b", file + " -b -a"},
      {prog, prog + " -a"},
      {m_dir.Sub("my prog/none"), m_dir.Sub("my prog/none") + " -a"},
  };
  for (const Case& c : cases) {
    RunAction run;
    run.SetParam("cmd", c.cmd);
    run.SetParam("args", "-a");
    run.Execute();
  }
  OpenAction open;
  open.SetParam("file", file);
  open.Execute();
  auto starts = m_processes.Starts();
  ASSERT_EQ(starts.size(), std::size(cases) + 1);
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(starts[i].szCommandLine, cases[i].expected);
  }
  EXPECT_EQ(starts.back().szCommandLine, "\"" + file + "\"");
}

TEST_F(RunActionRecorded, DoubledBackslashesCollapseInCmdButNotInArgs) {
  Bound<RunAction>(R"(<action cmd="C:\\Tools\\\\x.exe" args="D:\\data\\in.txt"/>)")->Execute();
  auto starts = m_processes.Starts();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].szCommandLine, R"(C:\Tools\\x.exe D:\\data\\in.txt)");
}

TEST_F(RunActionRecorded, FileIsAlsoAcceptedAsTheCommandAndCmdAsTheFile) {
  RunAction run;
  run.SetParam(" FILE ", "prog");
  run.Execute();
  OpenAction open;
  open.SetParam("Cmd", m_dir.path());  // an existing path
  open.SetParam("async", "True");
  open.Execute();
  auto starts = m_processes.Starts();
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[0].szCommandLine, "prog ");
  EXPECT_EQ(starts[1].szCommandLine, m_dir.path());
  EXPECT_FALSE(starts[1].bHandleAsked);
}

TEST_F(RunActionRecorded, OpenOfAMissingFileStartsNothingAndTheNextActionRuns) {
  auto open =
      Bound<OpenAction>(R"(<action description="Opening" file=")" + m_dir.Sub("none") + R"("/>)");
  EXPECT_FALSE(open->Execute());
  EXPECT_FALSE(Bound<OpenAction>(R"(<action file=""/>)")->Execute());
  EXPECT_TRUE(m_processes.Starts().empty());
  EXPECT_EQ(m_window.m_aCalls, std::vector<std::string>{"status:Opening"});

  EXPECT_TRUE(Bound<RunAction>(R"(<action cmd="next"/>)")->Execute());
  EXPECT_EQ(m_processes.Starts().size(), 1u);
}

// A back-end that runs out of memory on the worker thread must not end the
// process or leave the caller waiting.
TEST(RunAndWaitTest, WorkerWhoseStartThrowsReleasesTheCaller) {
  struct ThrowingProcesses : platform::Processes {
    bool Launch(const std::string&, std::unique_ptr<platform::ProcessHandle>*) override {
      throw std::bad_alloc();
    }
  } processes;
  platform::ScopedService<platform::Processes> guard(&platform::Env::SetProcesses, &processes);
  EXPECT_TRUE(RunAndWait("prog"));
}

// Real programs that write a marker file after a pause.
class RunActionReal : public ::testing::Test {
 protected:
  std::string Marker() const { return m_dir.Sub("marker"); }
  std::unique_ptr<RunAction> Run(double seconds, const char* async) {
    MarkerCommand command = MarkerProgram(seconds, Marker(), "done");
    auto run = std::make_unique<RunAction>();
    run->SetParam("cmd", command.szProgram);
    run->SetParam("args", command.szArguments);
    run->SetParam("async", async);
    return run;
  }

  TempDir m_dir;
};

TEST_F(RunActionReal, AsyncTrueReturnsWhileTheProgramStillRuns) {
  auto run = Run(1, "TRUE");
  auto start = Clock::now();
  EXPECT_TRUE(run->Execute());
  EXPECT_LT(SecondsSince(start), 0.8);
  EXPECT_TRUE(ReadFileBytes(Marker()).empty());
  EXPECT_TRUE(AppearsSoon(Marker()));
}

TEST_F(RunActionReal, WaitedForProgramKeepsTheRunUntilItEnds) {
  for (const char* async : {"yes", ""}) {
    std::remove(Marker().c_str());
    auto run = Run(0.3, async);
    auto start = Clock::now();
    EXPECT_TRUE(run->Execute());
    EXPECT_GE(SecondsSince(start), 0.25) << async;
    EXPECT_EQ(ReadFileBytes(Marker()), "done\n") << async;
  }
}

TEST_F(RunActionReal, ProgramThatCannotBeCreatedDoesNotHoldTheRun) {
  auto run = Bound<RunAction>(R"(<action cmd="/nonexistent/program" args="a"/>)");
  auto start = Clock::now();
  run->Execute();
  EXPECT_LT(SecondsSince(start), 2.0);
}

TEST_F(RunActionReal, AWaitedForProgramHasFailedUnlessItEndsWithCodeZero) {
  struct Case {
    int code;
    const char* async;
    int result;
  } cases[] = {
      {0, "", 1},
      {3, "", 0},
      {255, "", 0},
      // Not waited for: its code is never known.
      {3, "true", 1},
  };
  for (const Case& c : cases) {
    RunAction run;
    MarkerCommand command = ExitingProgram(c.code);
    run.SetParam("cmd", command.szProgram);
    run.SetParam("args", command.szArguments);
    run.SetParam("async", c.async);
    EXPECT_EQ(run.Execute(), c.result) << c.code << " async=" << c.async;
  }
  EXPECT_EQ(Bound<RunAction>(R"(<action cmd="/nonexistent/program"/>)")->Execute(), 0);
}

TEST_F(RunActionReal, OpenStartsAnExistingProgramAndWaitsForIt) {
  // A folder with a blank: the whole path is the program.
  std::string folder = m_dir.Sub("my prog");
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  std::string script = WriteMarkerScript(folder, 0.3, Marker(), "opened");

  auto open = Bound<OpenAction>(R"(<action file=")" + script + R"("/>)");
  auto start = Clock::now();
  EXPECT_TRUE(open->Execute());
  EXPECT_GE(SecondsSince(start), 0.25);
  EXPECT_EQ(ReadFileBytes(Marker()), "opened\n");
}

// A program planted where the path's first blank cuts it ("D:\Program.exe"
// before "D:\Program Files\...") is never started, by "open" nor by "run".
TEST_F(RunActionReal, AProgramPlantedBeforeTheBlankOfAPathNeverRuns) {
  std::string folder = m_dir.Sub("my prog");
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  std::string script = WriteMarkerScript(folder, 0, Marker(), "ran");
  std::string decoy = PlantDecoy(m_dir.Sub("my"));

  EXPECT_TRUE(Bound<RunAction>(R"(<action cmd=")" + script + R"(" args="-x 1"/>)")->Execute());
  EXPECT_EQ(ReadFileBytes(Marker()), "ran -x 1\n");
  EXPECT_TRUE(Bound<OpenAction>(R"(<action file=")" + script + R"("/>)")->Execute());
  EXPECT_EQ(ReadFileBytes(Marker()), "ran\n");
  EXPECT_FALSE(std::filesystem::exists(decoy));
}

}  // namespace
