// For Windows: the active code page is GBK (936) under the tests' zh_CN
// locale; paths whose GBK characters have the backslash's code as their
// trail byte are split, compared, joined and created correctly.
#include <gtest/gtest.h>

#include "env/config.h"
#include "env/mbstring.h"
#include "platform/env.h"
#include "platform/separators.h"
#include "support/temp_dir.h"

namespace {

// 乗 is 0x81 0x5C, 表 is 0xB1 0xED: one with and one without the trap.
const std::string kTrap = "乗";

TEST(TextWin32, GbkIsTheActiveCodePage) {
  ASSERT_EQ(kTrap, "\x81\x5C");
  EXPECT_TRUE(platform::Env::Get().text().IsLeadByte(0x81));
  EXPECT_FALSE(platform::Env::Get().text().IsLeadByte('\\'));
}

TEST(TextWin32, TrailByteIsNoSeparator) {
  std::string dir;
  EXPECT_EQ(SplitPath("C:\\dir\\" + kTrap, &dir), kTrap);
  EXPECT_EQ(dir, "C:\\dir");
  EXPECT_EQ(SplitPath("C:\\" + kTrap + "\\file.txt", &dir), "file.txt");
  EXPECT_EQ(dir, "C:\\" + kTrap);
  EXPECT_EQ(MbsFindLast("a\\" + kTrap, '\\'), 1u);
  EXPECT_EQ(JoinPath("C:\\" + kTrap, "x"), "C:\\" + kTrap + "\\x");
  EXPECT_EQ(platform::TrimTrailingSeparators("C:\\" + kTrap), "C:\\" + kTrap);
}

TEST(TextWin32, CaseIsFoldedOnSingleBytesOnly) {
  EXPECT_TRUE(MbsEqualNoCase("C:\\" + kTrap + "\\ABC", "c:\\" + kTrap + "\\abc"));
  // A trail byte in the letter range is not a letter: 0x81 0x41 and 0x81 0x61
  // are two different characters.
  EXPECT_FALSE(MbsEqualNoCase("\x81\x41", "\x81\x61"));
}

TEST(TextWin32, FoldersWithTheTrapAreCreatedAndListed) {
  TempDir temp;
  const std::string deep = temp.path() + "\\" + kTrap + "\\" + kTrap;
  ASSERT_TRUE(CreateDirectoryTree(deep));
  EXPECT_TRUE(IsDirectory(deep));
  std::vector<platform::DirEntry> entries;
  ASSERT_EQ(platform::Env::Get().fs().ListDir(temp.path(), &entries), 0u);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, kTrap);
  EXPECT_TRUE(entries[0].attributes & platform::kAttrDirectory);
}

TEST(TextWin32, EnvironmentExpansionRespectsTheCapacity) {
  platform::Text& text = platform::Env::Get().text();
  std::string out = "kept";
  ASSERT_TRUE(text.ExpandEnvironment("%WINDIR%\\x %NO_SUCH_VARIABLE_HERE%", 260, &out));
  EXPECT_EQ(out, "C:\\windows\\x %NO_SUCH_VARIABLE_HERE%");
  out = "kept";
  EXPECT_FALSE(text.ExpandEnvironment("%WINDIR%", 5, &out));
  EXPECT_EQ(out, "kept");
  std::string value;
  EXPECT_FALSE(text.GetVariable("NO_SUCH_VARIABLE_HERE", &value));
}

}  // namespace
