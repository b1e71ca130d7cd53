// The separator rules, on a GBK-like code page where a trail byte may equal
// the platform's separator, and what the path operations make of them.
#include "platform/separators.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include "env/config.h"
#include "support/gbk_like_text.h"
#include "support/recording_action.h"

namespace {

const std::string S(1, platform::kPathSep);
// One double-byte character whose trail byte is the separator, as 淺 (9C 5C)
// and 乗 (81 5C) are in GBK.
const std::string kTrap = "\x9C" + S;

TEST(Separators, TrailBytesAreNoSeparators) {
  ScopedGbkText gbk;
  const std::string path = S + "a" + S + kTrap;  // "\a\淺"
  EXPECT_EQ(platform::LastSeparator(path), 2u);
  EXPECT_EQ(platform::NextSeparator(path, 3), std::string::npos);
  EXPECT_EQ(platform::AllSeparators(path), (std::vector<size_t>{0, 2}));
  EXPECT_FALSE(platform::IsSeparatorAt(path, 4));
  EXPECT_TRUE(platform::IsSeparatorAt(path, 2));
  EXPECT_FALSE(platform::EndsWithSeparator(path));
  EXPECT_TRUE(platform::EndsWithSeparator(path + S));
  // A lead byte at the very end stands alone.
  EXPECT_TRUE(platform::EndsWithSeparator("a\x9C" + S + S));

  struct Case {
    std::string in, collapsed, trimmed;
  } cases[] = {
      {kTrap + S + "x", kTrap + S + "x", kTrap + S + "x"},
      {kTrap + S + S + "x", kTrap + S + "x", kTrap + S + S + "x"},
      {"a" + S + S + S + S + "b" + S + S + S, "a" + S + S + "b" + S + S, "a" + S + S + S + S + "b"},
      {"a" + S + kTrap, "a" + S + kTrap, "a" + S + kTrap},
      {"a" + kTrap + S + S, "a" + kTrap + S, "a" + kTrap},
      {S + S, S, S},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::CollapseDoubledSeparators(c.in), c.collapsed) << c.in;
    EXPECT_EQ(platform::TrimTrailingSeparators(c.in), c.trimmed) << c.in;
  }
  EXPECT_EQ(platform::ToPlatformSeparators("a/b\\c\x9C\\"), "a" + S + "b" + S + "c\x9C\\");
}

TEST(Separators, PathOperationsKeepTheTrailByte) {
  ScopedGbkText gbk;
  std::string dir;
  EXPECT_EQ(SplitPath(S + "app" + S + kTrap, &dir), kTrap);
  EXPECT_EQ(dir, S + "app");
  EXPECT_EQ(SplitPath(S + kTrap, &dir), S + kTrap);
  EXPECT_EQ(dir, "");
  EXPECT_EQ(SplitPath(kTrap + "x", &dir), kTrap + "x");
  EXPECT_EQ(dir, "");

  std::string saved[3] = {g_szThisFile, g_szThisDir, g_szThisName};
  g_szThisDir = S + kTrap;
  g_szThisName = "Up";
  g_szThisFile = g_szThisDir + S + g_szThisName;
  std::string side;
  EXPECT_EQ(GetSelfUpdateName(side), S + kTrap + S + "_Up");
  EXPECT_TRUE(IsThisFile(S + kTrap + S + "uP"));
  // A trail byte in the letter range is no letter: 0x81 0x41 is not 0x81 0x61.
  g_szThisFile = S + "\x81" + "A";
  EXPECT_FALSE(IsThisFile(S + "\x81" + "a"));
  g_szThisFile = saved[0];
  g_szThisDir = saved[1];
  g_szThisName = saved[2];
}

// Doubled backslashes in "file", "cmd" and "where" are manifest escaping: one
// after a character whose trail byte is a backslash stays.
TEST(Separators, EscapedBackslashesAfterATrailByteStay) {
  ScopedGbkText gbk;
  TiXmlDocument doc;
  doc.Parse(
      "<action cmd='\x9C\\\\x' file='\x9C\\\\\\x' where='\x9C\\\\\\\\x' from='\x9C\\\\\\\\'/>");
  ASSERT_FALSE(doc.Error());
  RecordingAction action;
  action.LoadFromElement(doc.RootElement());
  EXPECT_EQ(action.m_szCmd, "\x9C\\\\x");
  EXPECT_EQ(action.m_szFile, "\x9C\\\\x");
  EXPECT_EQ(action.m_szWhere, "\x9C\\\\\\x");
  EXPECT_EQ(action.m_szFrom, "\x9C\\\\\\\\");
}

TEST(Separators, SegmentsThatClimb) {
  for (const char* s : {"..", "...", ". .", ".. ", " .."}) {
    EXPECT_TRUE(platform::IsClimbingSegment(s)) << s;
  }
  for (const char* s : {".", "", " ", "..a", "a..", ". a"}) {
    EXPECT_FALSE(platform::IsClimbingSegment(s)) << s;
  }
}

}  // namespace
