#include "env/delete_tree.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "env/config.h"
#include "platform/env.h"
#include "support/temp_dir.h"

namespace {

bool Exists(const std::string& path) { return PathExists(path); }

void MakeReadOnly(const std::string& path) {
  ASSERT_EQ(platform::Env::Get().fs().SetAttributes(path, platform::kAttrReadOnly), 0u) << path;
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
  ASSERT_TRUE(std::filesystem::create_directories(dir.Sub("download/sub/deeper")));
  ASSERT_TRUE(WriteFileBytes(dir.Sub("download/ro.bin"), "1"));
  ASSERT_TRUE(WriteFileBytes(dir.Sub("download/sub/ro2.bin"), "2"));
  ASSERT_TRUE(WriteFileBytes(dir.Sub("download/sub/deeper/plain.txt"), "3"));
  MakeReadOnly(dir.Sub("download/ro.bin"));
  MakeReadOnly(dir.Sub("download/sub/ro2.bin"));
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

TEST(DeleteTree, FileThatCannotBeDeletedStopsTheWalkAndTheFolderStays) {
  TempDir dir;
  std::string root = dir.Sub("download");
  ASSERT_TRUE(std::filesystem::create_directory(root));
  ASSERT_TRUE(WriteFileBytes(dir.Sub("download/locked.bin"), "x"));
  FailingFs fs("locked.bin");
  fs.m_bFailDelete = true;
  platform::ScopedService<platform::Fs> guard(&platform::Env::SetFs, &fs);
  EXPECT_FALSE(DeleteTree(root));
  EXPECT_TRUE(Exists(dir.Sub("download/locked.bin")));
}

TEST(DeleteTree, ListingThatCannotBeOpenedLeavesTheFolder) {
  TempDir dir;
  std::string root = dir.Sub("download");
  ASSERT_TRUE(std::filesystem::create_directories(dir.Sub("download/sub")));
  ASSERT_TRUE(WriteFileBytes(dir.Sub("download/sub/a"), "a"));
  ASSERT_TRUE(WriteFileBytes(dir.Sub("download/b"), "b"));
  FailingFs fs("sub");
  fs.m_bFailList = true;
  platform::ScopedService<platform::Fs> guard(&platform::Env::SetFs, &fs);
  EXPECT_FALSE(DeleteTree(root));
  // The sub-folder could not be listed and stays with its file, and so does
  // the folder above it; the other file is gone.
  EXPECT_TRUE(Exists(dir.Sub("download/sub/a")));
  EXPECT_FALSE(Exists(dir.Sub("download/b")));
}
