// For Windows: the kernel32 back-end of Fs, and the shell's folders, on GBK
// names whose trail byte is the backslash (淺 9C 5C, 乗 81 5C) in the middle
// of a path and at its end.
#include <gtest/gtest.h>

#include <algorithm>

#include "env/config.h"
#include "env/delete_tree.h"
#include "env/registry_key.h"
#include "platform/env.h"
#include "platform/win32/windows_api.h"
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

// A file whose name GBK cannot hold (Korean, made through the wide function):
// the listing fails rather than hand it back with "?" or pass it over, so the
// folder's removal fails and takes nothing.
TEST(FsWin32, AListingEntryTheCodePageCannotNameFailsTheListing) {
  TempDir temp;
  const std::string dir = temp.path() + "\\tree";
  ASSERT_EQ(fs().CreateDir(dir), 0u);
  ASSERT_TRUE(Write(dir + "\\a.txt", "a"));
  WCHAR wide[MAX_PATH];
  ASSERT_GT(::MultiByteToWideChar(CP_ACP, 0, dir.c_str(), -1, wide, MAX_PATH), 0);
  HANDLE h = ::CreateFileW((std::wstring(wide) + L"\\\xD55C.txt").c_str(), GENERIC_WRITE, 0,
                           nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ::CloseHandle(h);

  std::vector<platform::DirEntry> entries;
  EXPECT_EQ(fs().ListDir(dir, &entries), platform::kErrorNoUnicodeTranslation);
  EXPECT_FALSE(DeleteTree(dir));
  EXPECT_EQ(Read(dir + "\\a.txt"), "a");
}

// The ANSI functions' limit counts characters: a GBK path of more than 200
// characters (some 400 bytes) works in every operation, one of 260 characters
// or more is refused by every operation with 206 before it reaches the disk.
TEST(FsWin32, PathLengthIsCountedInCharacters) {
  TempDir temp;
  std::string level;
  for (int i = 0; i < 40; ++i) level += kShallow;
  std::string dir = temp.path();
  for (int i = 0; i < 4; ++i) {
    dir += "\\" + level;
    ASSERT_EQ(fs().CreateDir(dir), 0u) << dir.size();
  }
  const std::string file = dir + "\\a" + kRide;
  ASSERT_GT(file.size(), 360u);
  ASSERT_TRUE(Write(file, "data"));
  platform::FileId id;
  platform::FileTimes times;
  uint64_t free = 0;
  EXPECT_EQ(fs().CopyFile(file, dir + "\\b", false), 0u);
  EXPECT_EQ(fs().AddHardLink(file, dir + "\\c"), 0u);
  EXPECT_EQ(fs().RenameOver(dir + "\\b", dir + "\\c"), 0u);
  EXPECT_EQ(fs().GetFileId(file, &id) | fs().GetFreeBytes(dir, &free), 0u);
  EXPECT_EQ(Names(dir), (std::vector<std::string>{"a" + kRide, "c"}));

  std::string tooLong = dir + "\\";
  for (int i = 0; i < 100; ++i) tooLong += kRide;
  uint32_t attributes = 0;
  std::unique_ptr<platform::WritableFile> out;
  std::unique_ptr<platform::ReadableFile> in;
  std::vector<platform::DirEntry> entries;
  std::string full;
  const platform::Error refused[] = {
      fs().GetAttributes(tooLong, &attributes),
      fs().SetAttributes(tooLong, platform::kAttrNormal),
      fs().CreateDir(tooLong),
      fs().RemoveDir(tooLong),
      fs().DeleteFile(tooLong),
      fs().ListDir(tooLong, &entries),
      fs().OpenForWrite(tooLong, platform::WriteMode::kCreateAlways, &out),
      fs().OpenForRead(tooLong, &in),
      fs().CopyFile(file, tooLong, false),
      fs().MoveFile(file, tooLong),
      fs().RenameOver(file, tooLong),
      fs().AddHardLink(file, tooLong),
      fs().GetFileTimes(tooLong, &times),
      fs().SetFileTimes(tooLong, times),
      fs().GetFileId(tooLong, &id),
      fs().GetFreeBytes(tooLong, &free),
  };
  for (size_t i = 0; i < std::size(refused); ++i) EXPECT_EQ(refused[i], 206u) << i;
  EXPECT_FALSE(fs().GetFullPath(tooLong, &full));
  EXPECT_EQ(Read(file), "data");
  EXPECT_TRUE(DeleteTree(temp.path() + "\\" + level));
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
