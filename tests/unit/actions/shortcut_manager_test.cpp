#include "actions/shortcut_manager.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/native_path.h"
#include "support/shortcut_sandbox.h"

namespace {

namespace fs = std::filesystem;

class ShortcutManagerTest : public testing::Test {
 protected:
  std::string Link(const std::string& name) const {
    return m_box.m_szDesktop + NativePath("/") + name + ".lnk";
  }
  // A path in the sandbox, as targets and icons are named (none exists).
  std::string P(const char* relative) const { return m_box.m_dir.Sub(relative); }

  ShortcutSandbox m_box;
  ShortcutManager m_manager;
};

TEST_F(ShortcutManagerTest, CreateWritesALinkThatReadsBackAndThatLnkinfoReads) {
  ASSERT_TRUE(FolderNames(m_box.m_szDesktop).empty());
  ASSERT_EQ(m_manager.CreateShortcut(0, " Velmar Acc ", " " + m_box.m_szThisFile + " ", " -auto ",
                                     " 启动 Velmar Acc ", " " + P("opt/velmar/acc.ico") + " ", 2),
            1);
  // The desktop did not exist: it is made, as the shell's folders always exist.
  EXPECT_EQ(FolderNames(m_box.m_szDesktop), (std::vector<std::string>{"Velmar Acc.lnk"}));

  std::string target, args, description, iconFile;
  int iconIndex = -1;
  EXPECT_GE(
      m_manager.ReadShortcut(0, 0, "Velmar Acc", target, args, description, iconFile, iconIndex),
      0);
  EXPECT_EQ(target, m_box.m_szThisFile);
  EXPECT_EQ(args, "-auto");
  EXPECT_EQ(description, "启动 Velmar Acc");
  EXPECT_EQ(iconFile, P("opt/velmar/acc.ico"));
  EXPECT_EQ(iconIndex, 2);
  ExpectLnkinfoReads(Link("Velmar Acc"), m_box.m_szThisFile, "-auto", "启动 Velmar Acc",
                     P("opt/velmar/acc.ico"), 2);
}

TEST_F(ShortcutManagerTest, EmptyTargetLinksToTheUpdaterAndEmptyIconFileSetsNoIcon) {
  ASSERT_EQ(m_manager.CreateShortcut(16, "Updater", "  ", "", "", "", 7), 1);
  std::string target, args = "x", description = "x", iconFile = "x";
  int iconIndex = -1;
  EXPECT_GE(
      m_manager.ReadShortcut(0, 16, "Updater", target, args, description, iconFile, iconIndex), 0);
  EXPECT_EQ(target, m_box.m_szThisFile);
  EXPECT_EQ(args, "");
  EXPECT_EQ(description, "");
  EXPECT_EQ(iconFile, "");
  EXPECT_EQ(iconIndex, 0) << "no icon location, whatever the index said";
  ExpectLnkinfoReads(Link("Updater"), m_box.m_szThisFile, "", "", "", 0);
}

TEST_F(ShortcutManagerTest, CreateReplacesAnExistingShortcutAndFailedSavesChangeNothing) {
  ASSERT_EQ(m_manager.CreateShortcut(0, "App", P("opt/a"), "-one", "first", P("opt/a.ico"), 1), 1);
  ASSERT_EQ(m_manager.CreateShortcut(0, "App", P("opt/b"), "", "second", "", 1), 1);
  std::string target, args, description, iconFile;
  int iconIndex = -1;
  m_manager.ReadShortcut(0, 0, "App", target, args, description, iconFile, iconIndex);
  EXPECT_EQ(target, P("opt/b"));
  EXPECT_EQ(args, "");
  EXPECT_EQ(description, "second");
  EXPECT_EQ(iconFile, "");
  ExpectLnkinfoReads(Link("App"), P("opt/b"), "", "second", "", 0);

  // A missing subfolder in the name is not made; a folder in the link's place stays.
  EXPECT_EQ(m_manager.CreateShortcut(0, "missing/App", P("opt/a"), "", "", "", 0), 0);
  fs::create_directories(Link("Folder") + NativePath("/inside"));
  EXPECT_EQ(m_manager.CreateShortcut(0, "Folder", P("opt/a"), "", "", "", 0), 0);
  EXPECT_TRUE(fs::exists(Link("Folder") + NativePath("/inside")));
  EXPECT_EQ(FolderNames(m_box.m_szDesktop), (std::vector<std::string>{"App.lnk", "Folder.lnk"}))
      << "no half-written files left behind";
  // A subfolder that exists is fine.
  fs::create_directories(m_box.m_szDesktop + NativePath("/Velmar"));
  EXPECT_EQ(m_manager.CreateShortcut(0, "Velmar/App", P("opt/a"), "", "", "", 0), 1);
  ExpectLnkinfoReads(m_box.m_szDesktop + NativePath("/Velmar/App.lnk"), P("opt/a"), "", "", "", 0);
}

TEST_F(ShortcutManagerTest, FoldersWithoutAPathDoNothing) {
  std::string target = "t", args, description, iconFile;
  int iconIndex = 5;
  EXPECT_EQ(m_manager.CreateShortcut(3, "App", P("opt/a"), "", "", "", 0), 0);
  EXPECT_EQ(m_manager.ReadShortcut(0, 3, "App", target, args, description, iconFile, iconIndex), 1);
  EXPECT_EQ(target, "t");
  EXPECT_EQ(iconIndex, 5);
  EXPECT_EQ(m_manager.ShortcutExists(3, "App"), 0);
  EXPECT_EQ(m_manager.DeleteShortcut(3, "App"), 0);
}

TEST_F(ShortcutManagerTest, DeleteRemovesForGoodAndExistsLooksAtTheNameAsPassed) {
  ASSERT_EQ(m_manager.CreateShortcut(0, "App", P("opt/a"), "", "", "", 0), 1);
  EXPECT_EQ(m_manager.ShortcutExists(0, "App"), 1);
  EXPECT_EQ(m_manager.ShortcutExists(0, " App"), 0);
  EXPECT_EQ(m_manager.DeleteShortcut(0, " App"), 0);
  EXPECT_EQ(m_manager.DeleteShortcut(0, "App"), 1);
  EXPECT_EQ(m_manager.ShortcutExists(0, "App"), 0);
  EXPECT_EQ(m_manager.DeleteShortcut(0, "App"), 0);
  EXPECT_TRUE(FolderNames(m_box.m_szDesktop).empty());
  EXPECT_FALSE(fs::exists(m_box.m_szData + NativePath("/Trash")))
      << "deleted for good, not moved to the trash";
}

TEST_F(ShortcutManagerTest, LongPathFormIsThePathItselfWhenItExists) {
  std::string longPath = "untouched";
  EXPECT_EQ(m_manager.GetLongPathForm(m_box.m_szThisFile, longPath), m_box.m_szThisFile.size());
  EXPECT_EQ(longPath, m_box.m_szThisFile);
  EXPECT_EQ(m_manager.GetLongPathForm(" " + m_box.m_szThisFile + " ", longPath),
            m_box.m_szThisFile.size());
  longPath = "untouched";
  EXPECT_EQ(m_manager.GetLongPathForm(m_box.m_szHome + NativePath("/missing"), longPath), 0u);
  EXPECT_EQ(m_manager.GetLongPathForm("  ", longPath), 0u);
  EXPECT_EQ(m_manager.GetLongPathForm("\\\\server\\share\\a.exe", longPath), 0u);
  EXPECT_EQ(longPath, "untouched");
}

}  // namespace
