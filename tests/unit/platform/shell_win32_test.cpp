// For Windows: special folders, links through IShellLinkA and IPersistFile,
// deletion for good and long path forms, in the Wine prefix.
#include <gtest/gtest.h>

#include "actions/shortcut_manager.h"
#include "env/config.h"
#include "env/mbstring.h"
#include "env/registry_key.h"
#include "platform/env.h"
#include "platform/win32/windows_api.h"
#include "support/temp_dir.h"

namespace {

platform::Shell& shell() { return platform::Env::Get().shell(); }

TEST(ShellWin32, DesktopHasAPathWithoutATrailingSeparator) {
  std::string desktop;
  ASSERT_TRUE(shell().GetSpecialFolderPath(0, false, &desktop));
  EXPECT_TRUE(IsDirectory(desktop)) << desktop;
  EXPECT_NE(desktop.back(), '\\');
  std::string none;
  EXPECT_FALSE(shell().GetSpecialFolderPath(0x7E, false, &none));
}

TEST(ShellWin32, LinkPropertiesAreReadBackThroughTheShell) {
  TempDir temp;
  const std::string target = temp.path() + "\\更新程序.exe";
  ASSERT_TRUE(WriteFileBytes(target, "MZ"));
  const std::string icon = temp.path() + "\\icons.dll";
  ASSERT_TRUE(WriteFileBytes(icon, "MZ"));
  const std::string linkPath = temp.path() + "\\链接.lnk";

  platform::ShellLink link;
  link.target = target;
  link.arguments = "-auto";
  link.description = "更新 Velmar Acc";
  link.iconFile = icon;
  link.iconIndex = 3;
  ASSERT_TRUE(shell().SaveLink(linkPath, link, true, true));

  platform::ShellLink back;
  ASSERT_GE(shell().LoadLink(linkPath, 0, &back), 0);
  std::string longTarget;
  ASSERT_GT(shell().GetLongPathForm(back.target, &longTarget), 0u) << back.target;
  std::string fullTarget;
  ASSERT_TRUE(platform::Env::Get().fs().GetFullPath(target, &fullTarget));
  EXPECT_TRUE(MbsEqualNoCase(longTarget, fullTarget)) << longTarget << " read as " << back.target;
  EXPECT_EQ(back.arguments, "-auto");
  EXPECT_EQ(back.description, "更新 Velmar Acc");
  EXPECT_EQ(back.iconIndex, 3);

  // Without arguments and icon location, both read back empty.
  ASSERT_TRUE(shell().SaveLink(linkPath, link, false, false));
  ASSERT_GE(shell().LoadLink(linkPath, 0, &back), 0);
  EXPECT_EQ(back.arguments, "");
  EXPECT_EQ(back.iconFile, "");

  EXPECT_TRUE(shell().DeleteForGood(linkPath));
  EXPECT_FALSE(PathExists(linkPath));
  EXPECT_FALSE(shell().DeleteForGood(linkPath));
  EXPECT_LT(shell().LoadLink(linkPath, 0, &back), 0);
}

TEST(ShellWin32, LongPathFormNamesEveryPartAsTheFileSystemDoes) {
  TempDir temp;
  const std::string dir = temp.path() + "\\A Long Folder Name";
  ASSERT_TRUE(CreateDirectoryTree(dir));
  std::string longPath;
  size_t n = shell().GetLongPathForm(dir + "\\", &longPath);
  EXPECT_EQ(n, longPath.size());
  EXPECT_EQ(longPath.substr(longPath.size() - 20), "\\A Long Folder Name\\");
  EXPECT_EQ(shell().GetLongPathForm(temp.path() + "\\missing", &longPath), 0u);
  EXPECT_EQ(shell().GetLongPathForm("\\\\server\\share\\x", &longPath), 0u);
}

// The desktop moved to a folder whose name GBK cannot hold (Korean): the
// shell's ANSI form would name it with "?", so it has no path and a shortcut
// on it fails without writing anything anywhere.
TEST(ShellWin32, AFolderTheCodePageCannotNameHasNoPath) {
  TempDir temp;
  WCHAR wide[MAX_PATH];
  ASSERT_GT(::MultiByteToWideChar(CP_ACP, 0, temp.path().c_str(), -1, wide, MAX_PATH), 0);
  const std::wstring folder = std::wstring(wide) + L"\\\xD55C\xAE00";
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  const wchar_t kFolders[] =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
  RegistryKey saved;
  saved.SetRootKey(platform::kHkeyCurrentUser);
  saved.SetSubKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders");
  saved.SetValueName("Desktop");
  std::string old;
  ASSERT_EQ(saved.ReadString(old), 0u);
  HKEY key;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, kFolders, 0, KEY_SET_VALUE, &key), 0);
  ::RegSetValueExW(key, L"Desktop", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>((folder.size() + 1) * sizeof(WCHAR)));
  ::RegCloseKey(key);

  std::string desktop;
  EXPECT_FALSE(shell().GetSpecialFolderPath(0, false, &desktop)) << desktop;
  ShortcutManager manager;
  EXPECT_FALSE(manager.CreateShortcut(0, "Velmar Acc", temp.path() + "\\acc.exe", "", "", "", 0));
  EXPECT_EQ(::RemoveDirectoryW(folder.c_str()), TRUE) << "nothing was written into it";

  saved.WriteValue(old.c_str(), static_cast<uint32_t>(old.size() + 1), platform::kRegExpandSz);
}

}  // namespace
