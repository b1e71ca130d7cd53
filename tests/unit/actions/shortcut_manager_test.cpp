#include "actions/shortcut_manager.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/shell_link_file.h"
#include "support/shortcut_sandbox.h"

namespace {

namespace fs = std::filesystem;

class ShortcutManagerTest : public testing::Test {
 protected:
  std::string Link(const std::string& name) const {
    return m_box.m_szDesktop + "/" + name + ".lnk";
  }

  ShortcutSandbox m_box;
  ShortcutManager m_manager;
};

TEST_F(ShortcutManagerTest, SpecialFolderNumbersNameTheXdgFolders) {
  const std::string home = m_box.m_szHome;
  struct Case {
    int folder;
    std::string path;
  } cases[] = {
      {0, m_box.m_szDesktop},
      {16, m_box.m_szDesktop},
      {2, m_box.m_szData + "/applications"},
      {5, home},
      {7, m_box.m_szConfig + "/autostart"},
      {23, "/usr/local/share/applications"},
      {24, "/etc/xdg/autostart"},
      {26, m_box.m_szConfig},
      {28, m_box.m_szData},
      {35, "/var/lib"},
  };
  for (const Case& c : cases) {
    std::string path;
    EXPECT_EQ(m_manager.GetSpecialFolderPath(c.folder, path), 1) << c.folder;
    EXPECT_EQ(path, c.path + "/") << c.folder;
  }
  for (int folder : {-1, 1, 3, 6, 17, 25, 36, 0x8000}) {
    std::string path = "untouched";
    EXPECT_EQ(m_manager.GetSpecialFolderPath(folder, path), 0) << folder;
    EXPECT_EQ(path, "untouched");
  }

  // Without the XDG variables: the defaults below HOME. Relative values are
  // ignored, as the XDG rules say.
  ScopedEnvVar config("XDG_CONFIG_HOME", std::nullopt);
  ScopedEnvVar data("XDG_DATA_HOME", "relative/data");
  ScopedEnvVar desktop("XDG_DESKTOP_DIR", std::nullopt);
  std::string path;
  m_manager.GetSpecialFolderPath(26, path);
  EXPECT_EQ(path, home + "/.config/");
  m_manager.GetSpecialFolderPath(2, path);
  EXPECT_EQ(path, home + "/.local/share/applications/");
  m_manager.GetSpecialFolderPath(0, path);
  EXPECT_EQ(path, home + "/Desktop/");
  // A localised desktop recorded by xdg-user-dirs.
  fs::create_directories(home + "/.config");
  WriteFileBytes(home + "/.config/user-dirs.dirs",
                 "# written by xdg-user-dirs-update\nXDG_DOWNLOAD_DIR=\"$HOME/下载\"\n"
                 "XDG_DESKTOP_DIR=\"$HOME/桌面\"\n");
  m_manager.GetSpecialFolderPath(16, path);
  EXPECT_EQ(path, home + "/桌面/");
}

TEST_F(ShortcutManagerTest, CreateWritesALinkThatReadsBackAndThatLnkinfoReads) {
  ASSERT_FALSE(fs::exists(m_box.m_szDesktop));
  ASSERT_EQ(m_manager.CreateShortcut(0, " Velmar Acc ", " " + m_box.m_szThisFile + " ", " -auto ",
                                     " 启动 Velmar Acc ", " /opt/velmar/acc.ico ", 2),
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
  EXPECT_EQ(iconFile, "/opt/velmar/acc.ico");
  EXPECT_EQ(iconIndex, 2);
  ExpectLnkinfoReads(Link("Velmar Acc"), m_box.m_szThisFile, "-auto", "启动 Velmar Acc",
                     "/opt/velmar/acc.ico", 2);

  // The header describes the target as it was when the link was made.
  platform::ShellLinkFile file;
  ASSERT_TRUE(
      platform::DecodeShellLink(ReadFileBytes(Link("Velmar Acc")), platform::kUtf8CodePage, &file));
  EXPECT_EQ(file.fileSize, 7u);
  EXPECT_EQ(file.fileAttributes, 0x20u);
  EXPECT_NE(file.writeTime, 0u);
  EXPECT_EQ(file.showCommand, 1u);
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
  ASSERT_EQ(m_manager.CreateShortcut(0, "App", "/opt/a", "-one", "first", "/opt/a.ico", 1), 1);
  ASSERT_EQ(m_manager.CreateShortcut(0, "App", "/opt/b", "", "second", "", 1), 1);
  std::string target, args, description, iconFile;
  int iconIndex = -1;
  m_manager.ReadShortcut(0, 0, "App", target, args, description, iconFile, iconIndex);
  EXPECT_EQ(target, "/opt/b");
  EXPECT_EQ(args, "");
  EXPECT_EQ(description, "second");
  EXPECT_EQ(iconFile, "");
  ExpectLnkinfoReads(Link("App"), "/opt/b", "", "second", "", 0);

  // A missing subfolder in the name is not made; a folder in the link's place stays.
  EXPECT_EQ(m_manager.CreateShortcut(0, "missing/App", "/opt/a", "", "", "", 0), 0);
  fs::create_directories(Link("Folder") + "/inside");
  EXPECT_EQ(m_manager.CreateShortcut(0, "Folder", "/opt/a", "", "", "", 0), 0);
  EXPECT_TRUE(fs::exists(Link("Folder") + "/inside"));
  EXPECT_EQ(FolderNames(m_box.m_szDesktop), (std::vector<std::string>{"App.lnk", "Folder.lnk"}))
      << "no half-written files left behind";
  // A subfolder that exists is fine.
  fs::create_directories(m_box.m_szDesktop + "/Velmar");
  EXPECT_EQ(m_manager.CreateShortcut(0, "Velmar/App", "/opt/a", "", "", "", 0), 1);
  ExpectLnkinfoReads(m_box.m_szDesktop + "/Velmar/App.lnk", "/opt/a", "", "", "", 0);
}

TEST_F(ShortcutManagerTest, TruncatedOrMalformedLinksFailToReadAndLeaveTheOutputs) {
  ASSERT_EQ(
      m_manager.CreateShortcut(0, "Full", "/opt/更新/acc", "-auto -x", "说明", "/opt/i.ico", 3), 1);
  const std::string bytes = ReadFileBytes(Link("Full"));
  ASSERT_GT(bytes.size(), 0x4Cu);
  auto readFails = [&](const std::string& name) {
    std::string target = "t", args = "a", description = "d", iconFile = "i";
    int iconIndex = 99;
    int32_t status =
        m_manager.ReadShortcut(0, 0, name, target, args, description, iconFile, iconIndex);
    return status < 0 && target == "t" && args == "a" && description == "d" && iconFile == "i" &&
           iconIndex == 99;
  };
  for (size_t n = 0; n < bytes.size(); ++n) {
    ASSERT_TRUE(WriteFileBytes(Link("Cut"), bytes.substr(0, n)));
    EXPECT_TRUE(readFails("Cut")) << n << " of " << bytes.size() << " bytes";
  }
  WriteFileBytes(Link("Text"), "[Desktop Entry]\nExec=/opt/acc\n");
  EXPECT_TRUE(readFails("Text"));
  EXPECT_TRUE(readFails("Missing"));
  // Neither a folder nor a FIFO in a link's place hangs or passes for a link.
  fs::create_directories(Link("Dir"));
  EXPECT_TRUE(readFails("Dir"));
  ASSERT_EQ(mkfifo(Link("Fifo").c_str(), 0600), 0);
  EXPECT_TRUE(readFails("Fifo"));
}

TEST_F(ShortcutManagerTest, FoldersWithoutAPathDoNothing) {
  std::string target = "t", args, description, iconFile;
  int iconIndex = 5;
  EXPECT_EQ(m_manager.CreateShortcut(3, "App", "/opt/a", "", "", "", 0), 0);
  EXPECT_EQ(m_manager.ReadShortcut(0, 3, "App", target, args, description, iconFile, iconIndex), 1);
  EXPECT_EQ(target, "t");
  EXPECT_EQ(iconIndex, 5);
  EXPECT_EQ(m_manager.ShortcutExists(3, "App"), 0);
  EXPECT_EQ(m_manager.DeleteShortcut(3, "App"), 0);
}

TEST_F(ShortcutManagerTest, DeleteRemovesForGoodAndExistsLooksAtTheNameAsPassed) {
  ASSERT_EQ(m_manager.CreateShortcut(0, "App", "/opt/a", "", "", "", 0), 1);
  EXPECT_EQ(m_manager.ShortcutExists(0, "App"), 1);
  EXPECT_EQ(m_manager.ShortcutExists(0, " App"), 0);
  EXPECT_EQ(m_manager.DeleteShortcut(0, " App"), 0);
  EXPECT_EQ(m_manager.DeleteShortcut(0, "App"), 1);
  EXPECT_EQ(m_manager.ShortcutExists(0, "App"), 0);
  EXPECT_EQ(m_manager.DeleteShortcut(0, "App"), 0);
  EXPECT_TRUE(FolderNames(m_box.m_szDesktop).empty());
  EXPECT_FALSE(fs::exists(m_box.m_szData + "/Trash")) << "deleted for good, not moved to the trash";
}

TEST_F(ShortcutManagerTest, LongPathFormIsThePathItselfWhenItExists) {
  std::string longPath = "untouched";
  EXPECT_EQ(m_manager.GetLongPathForm(m_box.m_szThisFile, longPath), m_box.m_szThisFile.size());
  EXPECT_EQ(longPath, m_box.m_szThisFile);
  EXPECT_EQ(m_manager.GetLongPathForm(" " + m_box.m_szThisFile + " ", longPath),
            m_box.m_szThisFile.size());
  longPath = "untouched";
  EXPECT_EQ(m_manager.GetLongPathForm(m_box.m_szHome + "/missing", longPath), 0u);
  EXPECT_EQ(m_manager.GetLongPathForm("  ", longPath), 0u);
  EXPECT_EQ(m_manager.GetLongPathForm("\\\\server\\share\\a.exe", longPath), 0u);
  EXPECT_EQ(longPath, "untouched");
}

}  // namespace
