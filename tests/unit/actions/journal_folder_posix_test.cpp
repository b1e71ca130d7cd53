// A rollback folder or journal that is a link, another user's, or that others
// may write is neither undone nor emptied, and no journal is begun in it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "actions/journal.h"
#include "env/config.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

TEST(JournalFolder, OneThatIsNotTheUpdatersOwnIsLeftAlone) {
  TempDir dir;
  std::string savedApp = g_szAppPath;
  g_szAppPath = dir.Sub("app");
  std::string folder = RollbackPathOf(g_szAppPath);
  std::string file = JoinPath(g_szAppPath, "f.txt");
  std::string elsewhere = dir.Sub("elsewhere");
  std::string journal = JoinPath(folder, "journal");
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"the folder is a link",
       [&] {
         fs::rename(folder, elsewhere);
         fs::create_directory_symlink(elsewhere, folder);
       }},
      {"others may write the folder", [&] { chmod(folder.c_str(), 0707); }},
      {"its group may write the folder", [&] { chmod(folder.c_str(), 0770); }},
      {"the folder is another user's", [&] { ASSERT_EQ(chown(folder.c_str(), 65534, 0), 0); }},
      {"the journal is a link",
       [&] {
         fs::create_directories(elsewhere);
         fs::rename(journal, elsewhere + "/journal");
         fs::create_symlink(elsewhere + "/journal", journal);
       }},
      {"others may write the journal", [&] { chmod(journal.c_str(), 0602); }},
      {"the journal is another user's", [&] { ASSERT_EQ(chown(journal.c_str(), 65534, 0), 0); }},
  };
  for (const auto& [name, spoil] : cases) {
    SCOPED_TRACE(name);
    if (geteuid() != 0 && std::string(name).find("another user") != std::string::npos) continue;
    fs::remove_all(g_szAppPath);
    fs::remove_all(elsewhere);
    fs::create_directories(g_szAppPath);
    WriteFileBytes(file, "old");
    {
      Journal kept(folder);
      ASSERT_EQ(kept.Begin(g_szAppPath, "1.0.0.0"), Journal::Status::kOk);
      ASSERT_TRUE(kept.RemoveAside(file));
    }
    spoil();
    std::string aside = fs::exists(elsewhere + "/0") ? elsewhere + "/0" : folder + "/0";
    EXPECT_EQ(Journal(folder).Undo(g_szAppPath), Journal::Status::kUntrusted);
    EXPECT_EQ(Journal(folder).Begin(g_szAppPath, "1.0.0.0"), Journal::Status::kUntrusted);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(ReadFileBytes(aside), "old");
    EXPECT_TRUE(fs::exists(fs::symlink_status(journal)));
  }
  g_szAppPath = savedApp;
}
