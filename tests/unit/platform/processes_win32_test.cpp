// For Windows: CreateProcessA through the Processes back-end.
#include <gtest/gtest.h>

#include "platform/env.h"
#include "support/temp_dir.h"
#include "support/win32/test_programs.h"

namespace {

TEST(ProcessesWin32, StartsHiddenWithTheCommandLineAndWaitsForTheEnd) {
  TempDir dir;
  const std::string record = dir.path() + "\\startup.txt";
  std::unique_ptr<platform::ProcessHandle> process;
  ASSERT_TRUE(platform::Env::Get().processes().Launch(
      "\"" + TestWindowProgram() + "\" startupinfo \"" + record + "\"", &process));
  ASSERT_TRUE(process);
  EXPECT_NE(process->Id(), 0u);
  process->Wait();
  // STARTF_USESHOWWINDOW (1) with SW_HIDE (0), read back by the child itself.
  EXPECT_EQ(ReadFileBytes(record), "1 0\n");
}

TEST(ProcessesWin32, UnknownProgramIsNotCreated) {
  std::unique_ptr<platform::ProcessHandle> process;
  EXPECT_FALSE(platform::Env::Get().processes().Launch("no-such-program-here.exe /x", &process));
  EXPECT_FALSE(process);
}

}  // namespace
