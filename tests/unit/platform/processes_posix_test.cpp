#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/env.h"
#include "support/temp_dir.h"

namespace {

using platform::ProcessHandle;

platform::Processes& Processes() { return *platform::DefaultProcesses(); }

// Starts the command line and waits for it; false when it did not start.
bool RunToEnd(const std::string& commandLine) {
  std::unique_ptr<ProcessHandle> process;
  if (!Processes().Launch(commandLine, &process)) return false;
  EXPECT_TRUE(process);
  if (process) process->Wait();
  return true;
}

void WriteScript(const std::string& path, const std::string& body) {
  ASSERT_TRUE(WriteFileBytes(path, "#!/bin/sh\n" + body + "\n"));
  ASSERT_EQ(chmod(path.c_str(), 0755), 0);
}

TEST(PosixProcesses, ArgumentsReachTheProgramByWindowsRulesWithoutAShell) {
  TempDir dir;
  std::string out = dir.Sub("out");
  // No shell in between: $HOME and the single quotes reach sh as they are.
  ASSERT_TRUE(RunToEnd("sh -c \"printf '%s|' \\\"$@\\\" > '" + out +
                       "'\" sh \"a b\" c\\\"d $HOME 'q' \"\""));
  EXPECT_EQ(ReadFileBytes(out), "a b|c\"d|$HOME|'q'||");
}

TEST(PosixProcesses, MissingProgramIsNotCreated) {
  std::unique_ptr<ProcessHandle> process;
  EXPECT_FALSE(Processes().Launch("/nonexistent/program a b", &process));
  EXPECT_FALSE(process);
  EXPECT_FALSE(Processes().Launch("velmar-no-such-program-on-path", nullptr));
  EXPECT_FALSE(Processes().Launch("  ", nullptr));
}

TEST(PosixProcesses, UnquotedPathWithBlanksIsFoundByItsPrefixes) {
  TempDir dir;
  ASSERT_EQ(mkdir(dir.Sub("my prog").c_str(), 0755), 0);
  std::string out = dir.Sub("out");
  WriteScript(dir.Sub("my prog/run"), "printf '%s|' \"$0\" \"$@\" > '" + out + "'");

  ASSERT_TRUE(RunToEnd(dir.Sub("my prog/run") + " one \"two three\""));
  EXPECT_EQ(ReadFileBytes(out), dir.Sub("my prog/run") + "|one|two three|");

  ASSERT_TRUE(RunToEnd("\"" + dir.Sub("my prog/run") + "\"  x"));
  EXPECT_EQ(ReadFileBytes(out), dir.Sub("my prog/run") + "|x|");

  // As on Windows, a shorter prefix that names a program wins.
  WriteScript(dir.Sub("my"), "printf '%s|' \"$@\" > '" + out + "'");
  ASSERT_TRUE(RunToEnd(dir.Sub("my prog/run") + " one"));
  EXPECT_EQ(ReadFileBytes(out), "prog/run|one|");
}

TEST(PosixProcesses, ChildKeepsOnlyTheStandardStreams) {
  TempDir dir;
  int fd = open(dir.Sub("held").c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  int high = fcntl(fd, F_DUPFD, 57);  // inheritable, far above what sh uses
  close(fd);
  ASSERT_GE(high, 57);
  std::string out = dir.Sub("out");
  std::string check = "if [ -e /proc/self/fd/" + std::to_string(high) +
                      " ]; then echo inherited; else echo closed; fi; "
                      "[ -e /proc/self/fd/1 ] && echo stdout";
  ASSERT_TRUE(RunToEnd("/bin/sh -c \"(" + check + ") > '" + out + "'\""));
  close(high);
  EXPECT_EQ(ReadFileBytes(out), "closed\nstdout\n");
}

TEST(PosixProcesses, WaitReturnsWhenTheProgramHasEnded) {
  TempDir dir;
  std::string out = dir.Sub("out");
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(RunToEnd("/bin/sh -c \"sleep 0.3; echo done > '" + out + "'\""));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
  EXPECT_EQ(ReadFileBytes(out), "done\n");
}

// A program ended by a signal has the shell's code for it: never 0.
TEST(PosixProcesses, ProgramEndedByASignalHasANonZeroCode) {
  std::unique_ptr<ProcessHandle> process;
  ASSERT_TRUE(Processes().Launch("/bin/sh -c \"kill -9 $$\"", &process));
  process->Wait();
  EXPECT_EQ(process->ExitCode(), 128u + 9u);
}

TEST(PosixProcesses, ProgramNobodyWaitsForIsCollected) {
  std::unique_ptr<ProcessHandle> process;
  ASSERT_TRUE(Processes().Launch("/bin/sh -c \"exit 3\"", &process));
  std::string entry = "/proc/" + std::to_string(process->Id());
  process.reset();
  // Left uncollected it would stay a zombie with its /proc entry.
  bool gone = false;
  for (int i = 0; i < 500 && !gone; ++i) {
    struct stat st;
    gone = stat(entry.c_str(), &st) != 0;
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(gone);
}

}  // namespace
