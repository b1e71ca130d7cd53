#include "update/delete_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/env.h"
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

// Fails one call of the file system for paths that end in `m_szName`.
class FailingFs : public platform::FsWrapper {
 public:
  explicit FailingFs(std::string name)
      : FsWrapper(&platform::Env::Get().fs()), m_szName(std::move(name)) {}
  platform::Error DeleteFile(const std::string& path) override {
    if (Matches(path) && m_bFailDelete) return platform::kErrorAccessDenied;
    return FsWrapper::DeleteFile(path);
  }
  platform::Error ListDir(const std::string& path,
                          std::vector<platform::DirEntry>* entries) override {
    if (Matches(path) && m_bFailList) return platform::kErrorAccessDenied;
    return FsWrapper::ListDir(path, entries);
  }
  bool m_bFailDelete = false;
  bool m_bFailList = false;

 private:
  bool Matches(const std::string& path) const {
    return path.size() >= m_szName.size() &&
           path.compare(path.size() - m_szName.size(), m_szName.size(), m_szName) == 0;
  }
  std::string m_szName;
};

}  // namespace

TEST(DeleteTree, RemovesReadOnlyFilesAndSubFoldersAndTheFolderItself) {
  TempDir dir;
  std::string root = dir.Sub("download");
  ASSERT_TRUE(std::filesystem::create_directories(root + "/sub/deeper"));
  ASSERT_TRUE(WriteFileBytes(root + "/ro.bin", "1"));
  ASSERT_TRUE(WriteFileBytes(root + "/sub/ro2.bin", "2"));
  ASSERT_TRUE(WriteFileBytes(root + "/sub/deeper/plain.txt", "3"));
  ASSERT_EQ(chmod((root + "/ro.bin").c_str(), 0444), 0);
  ASSERT_EQ(chmod((root + "/sub/ro2.bin").c_str(), 0444), 0);
  EXPECT_TRUE(DeleteTree(root));
  EXPECT_FALSE(Exists(root));
  EXPECT_TRUE(Exists(dir.path()));
}

TEST(DeleteTree, EmptyFolderGoesAtOnceAndAMissingOneIsAFailure) {
  TempDir dir;
  ASSERT_TRUE(std::filesystem::create_directory(dir.Sub("empty")));
  EXPECT_TRUE(DeleteTree(dir.Sub("empty")));
  EXPECT_FALSE(Exists(dir.Sub("empty")));
  EXPECT_FALSE(DeleteTree(dir.Sub("missing")));
  // A file is not a directory tree: it stays.
  ASSERT_TRUE(WriteFileBytes(dir.Sub("file"), "x"));
  EXPECT_FALSE(DeleteTree(dir.Sub("file")));
  EXPECT_TRUE(Exists(dir.Sub("file")));
}

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

TEST(DeleteTree, FileThatCannotBeDeletedStopsTheWalkAndTheFolderStays) {
  TempDir dir;
  std::string root = dir.Sub("download");
  ASSERT_TRUE(std::filesystem::create_directory(root));
  ASSERT_TRUE(WriteFileBytes(root + "/locked.bin", "x"));
  FailingFs fs("/locked.bin");
  fs.m_bFailDelete = true;
  platform::ScopedService<platform::Fs> guard(&platform::Env::SetFs, &fs);
  EXPECT_FALSE(DeleteTree(root));
  EXPECT_TRUE(Exists(root + "/locked.bin"));
}

TEST(DeleteTree, ListingThatCannotBeOpenedLeavesTheFolder) {
  TempDir dir;
  std::string root = dir.Sub("download");
  ASSERT_TRUE(std::filesystem::create_directories(root + "/sub"));
  ASSERT_TRUE(WriteFileBytes(root + "/sub/a", "a"));
  ASSERT_TRUE(WriteFileBytes(root + "/b", "b"));
  FailingFs fs("/sub");
  fs.m_bFailList = true;
  platform::ScopedService<platform::Fs> guard(&platform::Env::SetFs, &fs);
  EXPECT_FALSE(DeleteTree(root));
  // The sub-folder could not be listed and stays with its file, and so does
  // the folder above it; the other file is gone.
  EXPECT_TRUE(Exists(root + "/sub/a"));
  EXPECT_FALSE(Exists(root + "/b"));
}
