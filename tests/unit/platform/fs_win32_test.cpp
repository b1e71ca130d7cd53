// For Windows: the kernel32 back-end of Fs, and the shell's folders, on GBK
// names whose trail byte is the backslash (淺 9C 5C, 乗 81 5C) in the middle
// of a path and at its end.
#include <gtest/gtest.h>

#include <algorithm>

#include "env/config.h"
#include "env/delete_tree.h"
#include "env/registry_key.h"
#include "platform/env.h"
#include "support/temp_dir.h"

namespace {

const std::string kShallow = "\x9C\x5C";  // 淺
const std::string kRide = "\x81\x5C";     // 乗

platform::Fs& fs() { return platform::Env::Get().fs(); }

std::string Read(const std::string& path) {
  std::unique_ptr<platform::ReadableFile> file;
  if (fs().OpenForRead(path, &file) != 0) return "(none)";
  char buffer[64];
  size_t got = 0;
  std::string out;
  while (file->Read(buffer, sizeof buffer, &got) && got > 0) out.append(buffer, got);
  return out;
}

bool Write(const std::string& path, const std::string& bytes) {
  std::unique_ptr<platform::WritableFile> file;
  size_t written = 0;
  return fs().OpenForWrite(path, platform::WriteMode::kCreateAlways, &file) == 0 &&
         file->Write(bytes.data(), bytes.size(), &written) && file->Close();
}

std::vector<std::string> Names(const std::string& dir) {
  std::vector<platform::DirEntry> entries;
  EXPECT_EQ(fs().ListDir(dir, &entries), 0u) << dir;
  std::vector<std::string> names;
  for (const auto& e : entries) {
    names.push_back(e.name + ((e.attributes & platform::kAttrDirectory) ? "/" : ""));
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FsWin32, EveryOperationOnNamesEndingInABackslashTrailByte) {
  TempDir temp;
  const std::string dir = temp.path() + "\\" + kShallow;  // ends in 0x5C
  const std::string inner = dir + "\\" + kRide;
  ASSERT_EQ(fs().CreateDir(dir), 0u);
  ASSERT_EQ(fs().CreateDir(inner), 0u);
  EXPECT_EQ(fs().CreateDir(inner), 183u);
  const std::string file = dir + "\\a" + kRide;
  ASSERT_TRUE(Write(file, "data"));

  // The folder's own entries, with or without a separator after its name.
  const std::vector<std::string> listed = {"a" + kRide, kRide + "/"};
  EXPECT_EQ(Names(dir), listed);
  EXPECT_EQ(Names(dir + "\\"), listed);

  const std::string copy = inner + "\\" + kShallow;
  EXPECT_EQ(fs().CopyFile(file, copy, false), 0u);
  EXPECT_EQ(Read(copy), "data");
  ASSERT_TRUE(Write(file, "new"));
  EXPECT_NE(fs().CopyFile(file, copy, true), 0u);
  EXPECT_EQ(Read(copy), "data");
  EXPECT_EQ(fs().CopyFile(file, copy, false), 0u);
  EXPECT_EQ(Read(copy), "new");

  // A move never replaces.
  const std::string moved = dir + "\\" + kRide + kShallow;
  EXPECT_NE(fs().MoveFile(file, copy), 0u);
  EXPECT_EQ(fs().MoveFile(file, moved), 0u);
  uint32_t attributes = 0;
  EXPECT_EQ(fs().GetAttributes(file, &attributes), 2u);

  EXPECT_EQ(fs().SetAttributes(moved, platform::kAttrReadOnly), 0u);
  ASSERT_EQ(fs().GetAttributes(moved, &attributes), 0u);
  EXPECT_TRUE(attributes & platform::kAttrReadOnly);
  EXPECT_EQ(fs().DeleteFile(moved), 5u);
  EXPECT_EQ(fs().SetAttributes(moved, platform::kAttrNormal), 0u);

  platform::FileTimes times;
  times.creation = 130000000000000000ull;
  times.lastAccess = 130000000010000000ull;
  times.lastWrite = 130000000020000000ull;
  EXPECT_EQ(fs().SetFileTimes(moved, times), 0u);
  platform::FileTimes back;
  ASSERT_EQ(fs().GetFileTimes(moved, &back), 0u);
  EXPECT_EQ(back.lastWrite, times.lastWrite);
  EXPECT_EQ(back.lastAccess, times.lastAccess);

  EXPECT_EQ(fs().RemoveDir(dir), 145u);
  EXPECT_EQ(fs().DeleteFile(moved), 0u);
  EXPECT_TRUE(DeleteTree(dir));
  EXPECT_FALSE(PathExists(dir));
}

// The templates folder moved to a folder of our own for one test.
class ShellFolderWin32 : public ::testing::Test {
 protected:
  static constexpr int kTemplates = 0x15;
  void SetUp() override {
    m_key.SetRootKey(platform::kHkeyCurrentUser);
    m_key.SetSubKey("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders");
    m_key.SetValueName("Templates");
    m_bHadValue = m_key.ReadString(m_szSaved) == 0;
  }
  void TearDown() override {
    if (m_bHadValue) {
      m_key.WriteValue(m_szSaved.c_str(), static_cast<uint32_t>(m_szSaved.size() + 1),
                       platform::kRegExpandSz);
    } else {
      m_key.DeleteValue("Templates");
    }
  }
  void MoveTo(const std::string& path) { ASSERT_EQ(m_key.WriteString(path.c_str()), 0u); }

  TempDir m_temp;
  RegistryKey m_key;
  std::string m_szSaved;
  bool m_bHadValue = false;
};

TEST_F(ShellFolderWin32, PathEndingInATrailByteKeepsIt) {
  const std::string folder = m_temp.path() + "\\" + kShallow;
  ASSERT_EQ(fs().CreateDir(folder), 0u);
  MoveTo(folder);
  std::string path;
  ASSERT_TRUE(platform::Env::Get().shell().GetSpecialFolderPath(kTemplates, false, &path));
  EXPECT_EQ(path, folder);
}

TEST_F(ShellFolderWin32, AMissingFolderIsNotMade) {
  const std::string folder = m_temp.path() + "\\" + kRide;
  MoveTo(folder);
  std::string path;
  platform::Env::Get().shell().GetSpecialFolderPath(kTemplates, true, &path);
  EXPECT_FALSE(PathExists(folder));
}

}  // namespace
