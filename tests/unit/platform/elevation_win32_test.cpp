// For Windows: the elevation back-end in the Wine prefix. Wine has no UAC:
// "runas" starts the program as it is, which shows that the program, its
// parameters and its folder arrive; every folder and key can be written.
#include <gtest/gtest.h>

#include "env/config.h"
#include "platform/env.h"
#include "support/registry_sandbox.h"
#include "support/temp_dir.h"
#include "support/win32/test_programs.h"

TEST(ElevationWin32, RunasStartsTheProgramWithItsParametersInTheFolder) {
  TempDir dir;
  std::string folder = dir.Sub("工作乗");  // its last byte is the backslash's code
  ASSERT_EQ(platform::Env::Get().fs().CreateDir(folder), platform::kErrorSuccess);
  std::string record = dir.Sub("where.txt");
  ASSERT_EQ(platform::Env::Get().elevation().Execute(
                "runas", TestWindowProgram(), "whereami \"" + record + "\" -auto", folder, 0),
            platform::kErrorSuccess);
  ASSERT_TRUE(WaitFor([&] { return ReadFileBytes(record).find("-auto\n") != std::string::npos; }));
  EXPECT_EQ(ReadFileBytes(record), folder + "\n-auto\n");
}

TEST(ElevationWin32, WriteTestsLeaveNothingBehindAndFailWhereNothingIsThere) {
  platform::Elevation& elevation = platform::Env::Get().elevation();
  TempDir dir;
  EXPECT_TRUE(elevation.CanCreateFileIn(dir.path()));
  std::vector<platform::DirEntry> entries;
  ASSERT_EQ(platform::Env::Get().fs().ListDir(dir.path(), &entries), platform::kErrorSuccess);
  EXPECT_TRUE(entries.empty()) << entries[0].name;
  EXPECT_FALSE(elevation.CanCreateFileIn(dir.Sub("missing")));

  RegistrySandbox sandbox;
  std::unique_ptr<platform::RegistryHandle> key;
  ASSERT_EQ(platform::Env::Get().registry().CreateKey(platform::kHkeyLocalMachine, kProductKey,
                                                      platform::kKeyAllAccess, &key),
            platform::kErrorSuccess);
  EXPECT_TRUE(elevation.CanWriteMachineKey(kProductKey));
  EXPECT_FALSE(elevation.CanWriteMachineKey("SOFTWARE\\VELMAR\\Missing"));
}
