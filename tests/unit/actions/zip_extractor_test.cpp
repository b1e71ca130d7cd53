#include "actions/zip_extractor.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/gbk_like_text.h"
#include "support/native_path.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace fs = std::filesystem;

namespace {

TEST(BadInputPaths, EnsureDirectoryWithThousandsOfLevelsEndsCleanly) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.Sub("file"), "x"));
  std::string deep = dir.Sub("file");
  while (deep.size() < 32000) deep += NativePath("/d");
  EXPECT_FALSE(EnsureDirectory(deep));
  std::string tooLong = dir.Sub("e");
  while (tooLong.size() < 100000) tooLong += NativePath("/e");
  EXPECT_FALSE(EnsureDirectory(tooLong));
  EXPECT_FALSE(std::filesystem::exists(dir.Sub("e")));
}

TEST(EnsureDirectory, CreatesMissingLevelsAndRefusesAFileOnTheWay) {
  TempDir dir;
  EXPECT_TRUE(EnsureDirectory(dir.Sub("a/b/c/")));
  EXPECT_TRUE(fs::is_directory(dir.Sub("a/b/c")));
  EXPECT_TRUE(EnsureDirectory(dir.Sub("a/b")));
  EXPECT_TRUE(EnsureDirectory(""));

  ASSERT_TRUE(WriteFileBytes(dir.Sub("file"), "x"));
  EXPECT_FALSE(EnsureDirectory(dir.Sub("file")));
  EXPECT_FALSE(EnsureDirectory(dir.Sub("file/sub")));
  EXPECT_FALSE(EnsureParentDirectory("no-separator"));
  EXPECT_TRUE(EnsureParentDirectory(dir.Sub("x/y.txt")));
  EXPECT_TRUE(fs::is_directory(dir.Sub("x")));
}

// A relative path whose first level is missing is not made, and says so.
TEST(EnsureDirectory, RelativeNameWhoseFirstLevelIsMissingIsNotCreatedAndFails) {
  TempDir dir;
  dir.Enter();
  for (const char* path : {"plain", "plain/sub", "plain/sub/"}) {
    EXPECT_FALSE(EnsureDirectory(NativePath(path))) << path;
  }
  EXPECT_FALSE(fs::exists(dir.Sub("plain")));
  fs::create_directories(dir.Sub("there"));
  EXPECT_TRUE(EnsureDirectory(NativePath("there/sub")));
  EXPECT_TRUE(fs::is_directory(dir.Sub("there/sub")));
}

TEST(SetFileTimesFromDos, DateThatNamesNoMomentSetsNothing) {
  TempDir dir;
  std::string file = dir.Sub("f");
  ASSERT_TRUE(WriteFileBytes(file, "x"));
  auto before = fs::last_write_time(file);
  EXPECT_FALSE(SetFileTimesFromDos(file, 0));                            // month 0, day 0
  EXPECT_FALSE(SetFileTimesFromDos(file, (0x52CF << 16) | (25 << 11)));  // hour 25
  EXPECT_EQ(fs::last_write_time(file), before);
  EXPECT_FALSE(SetFileTimesFromDos(dir.Sub("missing"), ZipBuilder::kDefaultDosTime));
  EXPECT_TRUE(SetFileTimesFromDos(file, ZipBuilder::kDefaultDosTime));
  EXPECT_NE(fs::last_write_time(file), before);
}

// Every 0x2F and 0x5C byte splits a stored name, whatever the code page says:
// a lead byte before a separator does not hide it.
TEST(IsSafeEntryName, StaysInsideTheFolder) {
  ScopedGbkText gbk;
  for (const char* name : {"a.txt", "a/b/c.txt", "./a", "a/./b", "dir/", "..a", "a..", "a/.b/",
                           "ab:c", "", "名字/文件.txt", "a\\b.txt", "\x9C\\.txt"}) {
    EXPECT_TRUE(IsSafeEntryName(name)) << name;
  }
  for (const char* name :
       {"..", "../a", "a/../../b", "a/..", "/etc/passwd", "/", "C:/x", "c:x", "Z:", "a/.../b",
        "a/. ./b", "a/.. /b", "\\x", "a\\..\\..\\b", "\x81\\..\\x", "\x81/../x", "\x9C\\.."}) {
    EXPECT_FALSE(IsSafeEntryName(name)) << name;
  }
}

TEST(ZipExtractor, NothingOpenAnswersFalseAndZero) {
  ZipExtractor zip;
  ZipEntryInfo info;
  EXPECT_EQ(zip.GetEntryCount(), 0);
  EXPECT_FALSE(zip.GoToFirstEntry());
  EXPECT_FALSE(zip.GetEntryInfo(&info));
  EXPECT_FALSE(zip.ExtractEntry("/tmp"));
  EXPECT_FALSE(zip.Close());
  EXPECT_FALSE(zip.Open(""));
}

TEST(ZipExtractor, EntryInfoKeepsTimeAndTakesTheDirectoryBitOnly) {
  TempDir dir;
  std::string archive = dir.Sub("a.zip");
  ASSERT_TRUE(ZipBuilder()
                  .Directory("folder/")
                  .Entry("not-a-folder/", "", 0, 0x12345678, true)
                  .File("x\\y.txt", "y")
                  .Write(archive));
  ZipExtractor zip;
  ASSERT_TRUE(zip.Open(archive));
  EXPECT_EQ(zip.GetEntryCount(), 3);
  ASSERT_TRUE(zip.GoToFirstEntry());
  ZipEntryInfo info;
  ASSERT_TRUE(zip.GetEntryInfo(&info));
  EXPECT_EQ(info.m_szName, NativePath("folder/"));
  EXPECT_TRUE(info.m_bIsDirectory);
  EXPECT_EQ(info.m_dwDosDateTime, ZipBuilder::kDefaultDosTime);
  ASSERT_TRUE(zip.GoToNextEntry());
  ASSERT_TRUE(zip.GetEntryInfo(&info));
  EXPECT_FALSE(info.m_bIsDirectory);
  EXPECT_EQ(info.m_dwDosDateTime, 0x12345678u);
  // Without the bit the entry is a file, and "dir/" cannot be one.
  EXPECT_FALSE(zip.ExtractEntry(dir.Sub("out")));
  ASSERT_TRUE(zip.GoToNextEntry());
  ASSERT_TRUE(zip.GetEntryInfo(&info));
  EXPECT_EQ(info.m_szName, NativePath("x/y.txt"));
  EXPECT_TRUE(zip.ExtractEntryTo(dir.Sub("elsewhere/y")));
  // Written, and in place once the entries written are placed.
  EXPECT_FALSE(fs::exists(dir.Sub("elsewhere/y")));
  EXPECT_TRUE(zip.PlaceWritten());
  EXPECT_EQ(ReadFileBytes(dir.Sub("elsewhere/y")), "y");
  EXPECT_FALSE(zip.GoToNextEntry());
  EXPECT_TRUE(zip.Close());
}

}  // namespace
