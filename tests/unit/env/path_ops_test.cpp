#include <gtest/gtest.h>
#include <sys/stat.h>

#include "env/config.h"
#include "env/mbstring.h"
#include "platform/env.h"
#include "support/gbk_like_text.h"
#include "support/native_path.h"
#include "support/temp_dir.h"

namespace {

class ConfigValues : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = {g_szAppPath, g_szWinPath, g_szSys32Path, g_szThisFile, g_szThisDir, g_szThisName};
  }
  void TearDown() override {
    g_szAppPath = saved_[0];
    g_szWinPath = saved_[1];
    g_szSys32Path = saved_[2];
    g_szThisFile = saved_[3];
    g_szThisDir = saved_[4];
    g_szThisName = saved_[5];
  }
  std::vector<std::string> saved_;
};

}  // namespace

TEST(MultibyteScan, TrailByteEqualToSeparatorIsNoSeparator) {
  ScopedGbkText gbk;
  // 0x95 0x2F is one double-byte character whose trail byte is '/'.
  std::string path = "/dir/\x95/name";
  EXPECT_EQ(MbsFindLast(path, '/'), 4u);
  EXPECT_EQ(MbsFindLast("ab\x95/", '/'), std::string::npos);
  // Case folding leaves a double-byte character whose trail byte is a letter.
  EXPECT_EQ(MbsLower("A\x81"
                     "AB"),
            "a\x81"
            "Ab");
  EXPECT_TRUE(
      MbsEqualNoCase("X\x81"
                     "A",
                     "x\x81"
                     "A"));
  EXPECT_FALSE(
      MbsEqualNoCase("X\x81"
                     "A",
                     "x\x81"
                     "a"));
}

TEST(MultibyteScan, ReplaceAllDoesNotRescanItsReplacement) {
  std::string text = "aXa";
  EXPECT_EQ(ReplaceAll(&text, "a", "aa"), 2);
  EXPECT_EQ(text, "aaXaa");
}

TEST_F(ConfigValues, ExpandPathVarsIsCaseSensitiveAndInsertsValuesAsTheyStand) {
  g_szAppPath = "/opt/app/";
  g_szWinPath = "/usr";
  g_szSys32Path = "/usr/lib";
  EXPECT_EQ(ExpandPathVars("${app_path}/x;${APP_PATH};${win_path}|${sys32_path}"),
            "/opt/app//x;${APP_PATH};/usr|/usr/lib");
  // The three passes run in order, so a later variable inside an earlier value
  // is replaced too, but a pass never rescans its own replacement.
  g_szAppPath = "${win_path}${app_path}";
  EXPECT_EQ(ExpandPathVars("${app_path}"), "/usr${app_path}");
}

// Inputs where a pass could go wrong: occurrences that touch or nest, a
// variable cut short or at the very end, values that hold variable names, and
// empty values that join the text around them into a new name.
TEST_F(ConfigValues, ExpandPathVarsOnTrickyInputs) {
  struct Case {
    const char* app;
    const char* win;
    const char* sys32;
    const char* text;
    const char* expected;
  };
  const Case cases[] = {
      {"A", "W", "S", "", ""},
      {"A", "W", "S", "${app_path}${app_path}${win_path}", "AAW"},
      {"A", "W", "S", "$${app_path}}", "$A}"},
      {"A", "W", "S", "${app_${app_path}path}", "${app_Apath}"},
      {"A", "W", "S", "x${sys32_path}", "xS"},
      {"A", "W", "S", "x${sys32_path", "x${sys32_path"},
      {"A", "W", "S", "${app_path", "${app_path"},
      {"A", "W", "S", "${win_path}${sys32_path}${app_path}", "WSA"},
      {"A", "W", "S", "${App_path}${win_path }${sys32_path}", "${App_path}${win_path }S"},
      // An earlier value is scanned by the later passes, never by its own.
      {"${sys32_path}", "W", "S", "${app_path}", "S"},
      {"${app_path}", "${app_path}", "${win_path}", "${app_path}${win_path}${sys32_path}",
       "${app_path}${app_path}${win_path}"},
      // Empty values: the text around them is scanned again by the later passes.
      {"", "W", "S", "${app_${app_path}path}", "${app_path}"},
      {"", "W", "S", "${win${app_path}_path}", "W"},
      {"", "", "S", "${sys${app_path}32${win_path}_path}", "S"},
      {"", "", "", "${app_path}${win_path}${sys32_path}", ""},
      {"/opt/\x95\\", "W", "S", "${app_path}\\", "/opt/\x95\\\\"},
      // Values are written as XML text; the manifest's own text is not touched.
      {"Tom & Jerry", "<W>", "\"S'", "${app_path}|${win_path}|${sys32_path}&amp;",
       "Tom &amp; Jerry|&lt;W&gt;|&quot;S&apos;&amp;"},
      {"&amp;", "W", "S", "${app_path}", "&amp;amp;"},
  };
  for (const Case& c : cases) {
    g_szAppPath = c.app;
    g_szWinPath = c.win;
    g_szSys32Path = c.sys32;
    EXPECT_EQ(ExpandPathVars(c.text), c.expected) << c.text << " with " << c.app;
  }
}

TEST(PathOps, SplitPathAndUrlFileName) {
  std::string dir = "unchanged";
  EXPECT_EQ(SplitPath(NativePath("/readme.txt"), &dir), NativePath("/readme.txt"));
  EXPECT_EQ(dir, "");
  EXPECT_EQ(SplitPath(NativePath("/opt/tools/updater"), &dir), "updater");
  EXPECT_EQ(dir, NativePath("/opt/tools"));
  EXPECT_EQ(SplitPath("plain", &dir), "plain");
  EXPECT_EQ(UrlFileName("http://h/f/pkg.zip"), "pkg.zip");
  EXPECT_EQ(UrlFileName("pkg.zip"), "pkg.zip");
  EXPECT_EQ(UrlFileName("http://h/f/"), "");
  EXPECT_EQ(UrlFileName("http://h/f/p.zip?v=1/2"), "2");
}

TEST_F(ConfigValues, ThisFileComparesIgnoringCaseOnly) {
  g_szThisFile = NativePath("/opt/Tools/Updater");
  g_szThisDir = NativePath("/opt/Tools");
  g_szThisName = "Updater";
  EXPECT_TRUE(IsThisFile(NativePath("/OPT/tools/updater")));
  EXPECT_FALSE(IsThisFile(NativePath("/opt/Tools/./Updater")));
  EXPECT_FALSE(IsThisFile("Updater"));
  std::string side;
  EXPECT_EQ(GetSelfUpdateName(side), NativePath("/opt/Tools/_Updater"));
  EXPECT_EQ(side, NativePath("/opt/Tools/_Updater"));
  // No path of its own (one the code page cannot name): nothing is the updater.
  g_szThisFile.clear();
  EXPECT_FALSE(IsThisFile(""));
}

// A manifest may name a folder with tens of thousands of levels: the walk
// up and down is a loop (a recursion would run out of stack), and a path no
// platform can name is refused at once.
TEST(BadInputPaths, CreateDirectoryTreeWithThousandsOfLevelsEndsCleanly) {
  TempDir dir;
  // Climbs all the way up to the file in the way.
  ASSERT_TRUE(WriteFileBytes(dir.Sub("file"), "x"));
  std::string deep = dir.Sub("file");
  while (deep.size() < kMaxPathLength - 2) deep += NativePath("/d");
  EXPECT_FALSE(CreateDirectoryTree(deep));
  EXPECT_FALSE(IsDirectory(dir.Sub("file")));

  std::string tooLong = dir.Sub("e");
  while (tooLong.size() <= kMaxPathLength) tooLong += NativePath("/e");
  EXPECT_FALSE(CreateDirectoryTree(tooLong));
  EXPECT_FALSE(PathExists(dir.Sub("e")));
}

TEST(PathOps, CreateDirectoryTreeMakesEveryMissingLevel) {
  TempDir dir;
  std::string deep = dir.Sub("a/b/c");
  EXPECT_TRUE(CreateDirectoryTree(deep));
  EXPECT_TRUE(IsDirectory(dir.Sub("a/b")));
  EXPECT_TRUE(IsDirectory(deep));
  EXPECT_TRUE(CreateDirectoryTree(deep));
  // A file in the way is no directory.
  ASSERT_TRUE(WriteFileBytes(dir.Sub("file"), "x"));
  EXPECT_FALSE(CreateDirectoryTree(dir.Sub("file/sub")));
  EXPECT_TRUE(PathExists(dir.Sub("file")));
  EXPECT_FALSE(IsDirectory(dir.Sub("file")));
  EXPECT_FALSE(PathExists(dir.Sub("nothing")));
}
