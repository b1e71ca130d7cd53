// Symbolic links in the tree: POSIX file-system objects.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "env/delete_tree.h"
#include "support/temp_dir.h"

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool IsReadOnly(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && !(st.st_mode & S_IWUSR);
}

}  // namespace

TEST(DeleteTree, LinksAreRemovedThemselvesAndWhatTheyPointToSurvives) {
  TempDir dir;
  std::string outside = dir.Sub("outside");
  ASSERT_TRUE(std::filesystem::create_directories(outside + "/inner"));
  ASSERT_TRUE(WriteFileBytes(outside + "/keep.txt", "keep"));
  ASSERT_TRUE(WriteFileBytes(outside + "/inner/ro.txt", "ro"));
  ASSERT_EQ(chmod((outside + "/inner/ro.txt").c_str(), 0444), 0);

  std::string root = dir.Sub("download");
  ASSERT_TRUE(std::filesystem::create_directories(root + "/sub"));
  ASSERT_EQ(symlink(outside.c_str(), (root + "/to-folder").c_str()), 0);
  ASSERT_EQ(symlink((outside + "/inner/ro.txt").c_str(), (root + "/sub/to-file").c_str()), 0);
  ASSERT_EQ(symlink((outside + "/gone").c_str(), (root + "/dangling").c_str()), 0);

  EXPECT_TRUE(DeleteTree(root));
  EXPECT_FALSE(Exists(root));
  EXPECT_EQ(ReadFileBytes(outside + "/keep.txt"), "keep");
  EXPECT_EQ(ReadFileBytes(outside + "/inner/ro.txt"), "ro");
  // Nothing made the link's target writable on the way.
  EXPECT_TRUE(IsReadOnly(outside + "/inner/ro.txt"));
}

TEST(DeleteTree, LinkGivenAsTheFolderIsRemovedWithoutEnteringIt) {
  TempDir dir;
  std::string outside = dir.Sub("outside");
  ASSERT_TRUE(std::filesystem::create_directory(outside));
  ASSERT_TRUE(WriteFileBytes(outside + "/keep.txt", "keep"));
  ASSERT_EQ(symlink(outside.c_str(), dir.Sub("download").c_str()), 0);
  EXPECT_TRUE(DeleteTree(dir.Sub("download")));
  EXPECT_FALSE(Exists(dir.Sub("download")));
  EXPECT_EQ(ReadFileBytes(outside + "/keep.txt"), "keep");
}
