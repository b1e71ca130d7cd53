// For Windows: the elevation back-end against the Wine prefix. Wine has no
// UAC: "runas" starts the program as it is, which is enough to see that the
// program, its parameters and its folder arrive.
#include <gtest/gtest.h>

#include "platform/env.h"
#include "support/registry_sandbox.h"
#include "support/temp_dir.h"
#include "support/win32/test_programs.h"

namespace {

platform::Elevation& Elevation() { return platform::Env::Get().elevation(); }

}  // namespace

TEST(ElevationWin32, RunasStartsTheProgramWithItsParametersInTheFolder) {
  TempDir dir;
  // GBK names whose last byte is the backslash's code.
  std::string folder = dir.Sub("工作乗");
  ASSERT_EQ(platform::Env::Get().fs().CreateDir(folder), platform::kErrorSuccess);
  std::string record = dir.Sub("where.txt");
  ASSERT_EQ(Elevation().Execute("runas", TestWindowProgram(), "whereami \"" + record + "\" -auto",
                                folder, 0),
            platform::kErrorSuccess);
  ASSERT_TRUE(WaitFor([&] { return ReadFileBytes(record).find("-auto\n") != std::string::npos; }));
  EXPECT_EQ(ReadFileBytes(record), folder + "\n-auto\n");
}

TEST(ElevationWin32, WriteTestsLeaveNothingBehindAndFailWhereNothingCanBeWritten) {
  TempDir dir;
  EXPECT_TRUE(Elevation().CanCreateFileIn(dir.path()));
  std::vector<platform::DirEntry> entries;
  ASSERT_EQ(platform::Env::Get().fs().ListDir(dir.path(), &entries), platform::kErrorSuccess);
  for (const platform::DirEntry& entry : entries)
    EXPECT_TRUE(entry.name == "." || entry.name == "..") << entry.name;
  EXPECT_FALSE(Elevation().CanCreateFileIn(dir.Sub("missing")));

  RegistrySandbox sandbox;
  std::unique_ptr<platform::RegistryHandle> key;
  ASSERT_EQ(platform::Env::Get().registry().CreateKey(platform::kHkeyLocalMachine,
                                                      "SOFTWARE\\VELMAR\\Velmar Acc",
                                                      platform::kKeyAllAccess, &key),
            platform::kErrorSuccess);
  EXPECT_TRUE(Elevation().CanWriteMachineKey("SOFTWARE\\VELMAR\\Velmar Acc"));
  EXPECT_FALSE(Elevation().CanWriteMachineKey("SOFTWARE\\VELMAR\\Missing"));
}
