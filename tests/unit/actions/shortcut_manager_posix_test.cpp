// The POSIX shell back-end's own folders (XDG) and objects (FIFOs).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "actions/shortcut_manager.h"
#include "platform/shell_link_file.h"
#include "support/native_path.h"
#include "support/shortcut_sandbox.h"

namespace {

namespace fs = std::filesystem;

class ShortcutManagerPosixTest : public testing::Test {
 protected:
  std::string Link(const std::string& name) const {
    return m_box.m_szDesktop + "/" + name + ".lnk";
  }
  std::string P(const char* relative) const { return m_box.m_dir.Sub(relative); }

  ShortcutSandbox m_box;
  ShortcutManager m_manager;
};

TEST_F(ShortcutManagerPosixTest, SpecialFolderNumbersNameTheXdgFolders) {
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

TEST_F(ShortcutManagerPosixTest, TruncatedOrMalformedLinksFailToReadAndLeaveTheOutputs) {
  ASSERT_EQ(
      m_manager.CreateShortcut(0, "Full", P("opt/更新/acc"), "-auto -x", "说明", P("opt/i.ico"), 3),
      1);
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

// The system's own link writer describes the target as it was when the link
// was made (on Windows the shell writes the header).
TEST_F(ShortcutManagerPosixTest, HeaderDescribesTheTargetAsItWas) {
  ASSERT_EQ(m_manager.CreateShortcut(0, "Velmar Acc", m_box.m_szThisFile, "", "", "", 0), 1);
  platform::ShellLinkFile file;
  ASSERT_TRUE(
      platform::DecodeShellLink(ReadFileBytes(Link("Velmar Acc")), platform::kUtf8CodePage, &file));
  EXPECT_EQ(file.fileSize, 7u);
  EXPECT_EQ(file.fileAttributes, 0x20u);
  EXPECT_NE(file.writeTime, 0u);
  EXPECT_EQ(file.showCommand, 1u);
}

// A link saved again with the values read from it has the same bytes (an
// update that changes no item leaves the file as it was).
TEST_F(ShortcutManagerPosixTest, SavingWhatWasReadWritesTheSameBytes) {
  ASSERT_EQ(m_manager.CreateShortcut(0, "App", P("opt/acc"), "-old", "Old description",
                                     P("opt/acc.ico"), 2),
            1);
  std::string before = ReadFileBytes(Link("App"));
  std::string target, args, description, iconFile;
  int iconIndex = 0;
  ASSERT_GE(m_manager.ReadShortcut(0, 0, "App", target, args, description, iconFile, iconIndex), 0);
  ASSERT_EQ(m_manager.CreateShortcut(0, "App", target, args, description, iconFile, iconIndex), 1);
  EXPECT_EQ(ReadFileBytes(Link("App")), before);
}

}  // namespace
