#include "env/update_log.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/recording_main_window.h"
#include "support/temp_dir.h"

TEST(UpdateLog, LinesEndInCrLfAndOnlyShownOnesReachTheStatusLine) {
  TempDir dir;
  dir.Enter();
  RecordingMainWindow window;
  WriteLog("A", true);
  WriteLog("B", false);
  EXPECT_EQ(ReadFileBytes("updater.log"), "A\r\nB\r\n");
  EXPECT_EQ(window.m_szStatus, "A");
  EXPECT_EQ(window.CallsOf("status:").size(), 1u);
}

TEST(UpdateLog, MessageEndingInCrLfLeavesAnEmptyLine) {
  TempDir dir;
  dir.Enter();
  WriteLog("end\r\n", false);
  WriteLog("next", false);
  EXPECT_EQ(ReadFileBytes("updater.log"), "end\r\r\n\r\nnext\r\n");
}

TEST(UpdateLog, LogThatCannotBeOpenedDropsTheLineButStillShowsIt) {
  TempDir dir;
  dir.Enter();
  // A folder of that name cannot be opened as the log.
  ASSERT_TRUE(std::filesystem::create_directory("updater.log"));
  RecordingMainWindow window;
  WriteLog("lost", true);
  EXPECT_EQ(window.m_szStatus, "lost");
}
