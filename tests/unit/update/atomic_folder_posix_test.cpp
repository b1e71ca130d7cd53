// An atomic update in an installation whose rollback folder is not the
// updater's own: the start logs it and goes on, the update does not begin.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "actions/journal.h"
#include "env/texts.h"
#include "unit/update/run_fixture.h"
#include "update/update_run.h"

TEST_F(RunFixture, AnAtomicUpdateDoesNotBeginInARollbackFolderThatIsALink) {
  std::string elsewhere = m_dir.Sub("elsewhere");
  std::filesystem::create_directories(elsewhere);
  WriteFileBytes(elsewhere + "/journal", "not ours");
  std::string folder = RollbackPathOf(g_szAppPath);
  std::filesystem::create_directory_symlink(elsewhere, folder);
  m_internet.Serve("http://h/a.zip", "a");
  m_internet.Serve("http://h/update.xml",
                   "<updateinfo version='1.0.0.1' atomic='true'><package><url>http://h/a.zip</url>"
                   "<actions><action type='run' cmd='one'/></actions></package></updateinfo>");
  UpdateRun run;
  std::string text;
  run.RunUpdate("http://h/update.xml", text);
  std::vector<std::string> log = LogLines();
  EXPECT_EQ(log.front(), texts::kRollbackFolderUntrusted + folder);
  EXPECT_NE(std::find(log.begin(), log.end(), texts::kAtomicRefused + folder), log.end());
  EXPECT_TRUE(RecordingAction::Journal().empty());
  EXPECT_EQ(GetInstalledVersion(), "1.0.0.0");
  EXPECT_EQ(ReadFileBytes(elsewhere + "/journal"), "not ours");
}
