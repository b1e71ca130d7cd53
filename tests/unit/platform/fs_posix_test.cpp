// The Windows rules the POSIX file system keeps for the algorithms above it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "platform/env.h"
#include "support/temp_dir.h"

using namespace platform;

namespace {

Fs& RealFs() { return *DefaultFs(); }

void MakeReadOnly(const std::string& path) { ASSERT_EQ(0, chmod(path.c_str(), 0444)); }

}  // namespace

TEST(PosixFs, CreateDirAnswersWindowsNumbers) {
  TempDir dir;
  EXPECT_EQ(RealFs().CreateDir(dir.Sub("a")), kErrorSuccess);
  EXPECT_EQ(RealFs().CreateDir(dir.Sub("a")), kErrorAlreadyExists);
  EXPECT_EQ(RealFs().CreateDir(dir.Sub("x/y")), kErrorPathNotFound);
  ASSERT_TRUE(WriteFileBytes(dir.Sub("f"), "1"));
  EXPECT_EQ(RealFs().CreateDir(dir.Sub("f/y")), kErrorPathNotFound);
  EXPECT_EQ(RealFs().RemoveDir(dir.Sub("missing")), kErrorFileNotFound);
  ASSERT_TRUE(WriteFileBytes(dir.Sub("a/f"), "1"));
  EXPECT_EQ(RealFs().RemoveDir(dir.Sub("a")), kErrorDirNotEmpty);
}

TEST(PosixFs, SmallWritesReachTheFileWholeAndInOrder) {
  TempDir dir;
  std::string expected;
  std::unique_ptr<WritableFile> out;
  ASSERT_EQ(RealFs().OpenForWrite(dir.Sub("f"), WriteMode::kCreateAlways, &out), kErrorSuccess);
  // Blocks of every size around the chunk the back-end gathers, one larger
  // than it among them.
  for (size_t size : {2048u, 1u, 4096u, 65535u, 65536u, 200000u, 3u, 4096u}) {
    std::string block(size, static_cast<char>('a' + expected.size() % 26));
    size_t written = 0;
    ASSERT_TRUE(out->Write(block.data(), block.size(), &written));
    EXPECT_EQ(written, size);
    expected += block;
  }
  EXPECT_TRUE(out->Close());
  EXPECT_EQ(ReadFileBytes(dir.Sub("f")), expected);

  // Appending keeps what is there, also with bytes held back.
  ASSERT_EQ(RealFs().OpenForWrite(dir.Sub("f"), WriteMode::kAppend, &out), kErrorSuccess);
  size_t written = 0;
  ASSERT_TRUE(out->Write("tail", 4, &written));
  out.reset();  // closing by destruction sends them too
  EXPECT_EQ(ReadFileBytes(dir.Sub("f")), expected + "tail");
}

TEST(PosixFs, BytesThatCannotReachAFullDiskAreNeverReportedAsWritten) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  std::unique_ptr<WritableFile> out;
  ASSERT_EQ(RealFs().OpenForWrite("/dev/full", WriteMode::kCreateAlways, &out), kErrorSuccess);
  std::string block(4096, 'x');
  size_t written = 0;
  // Held back at first; the failure shows when they are sent, at the latest
  // on closing.
  ASSERT_TRUE(out->Write(block.data(), block.size(), &written));
  EXPECT_FALSE(out->Close());

  ASSERT_EQ(RealFs().OpenForWrite("/dev/full", WriteMode::kCreateAlways, &out), kErrorSuccess);
  int failed = 0;
  for (int i = 0; i < 40; ++i) {
    if (!out->Write(block.data(), block.size(), &written)) {
      ++failed;
      EXPECT_EQ(written, 0u);
    }
  }
  // The write that sends the first chunk fails, and from then on every block
  // fails on its own, as each would on a full disk.
  EXPECT_EQ(failed, 40 - 16);
  EXPECT_FALSE(out->Close());
}

TEST(PosixFs, ReadOnlyFileRefusesDeletionAndOverwriteEvenForRoot) {
  TempDir dir;
  std::string file = dir.Sub("ro");
  ASSERT_TRUE(WriteFileBytes(file, "keep"));
  MakeReadOnly(file);
  uint32_t attributes = 0;
  ASSERT_EQ(RealFs().GetAttributes(file, &attributes), kErrorSuccess);
  EXPECT_TRUE(attributes & kAttrReadOnly);
  EXPECT_EQ(RealFs().DeleteFile(file), kErrorAccessDenied);
  std::unique_ptr<WritableFile> out;
  EXPECT_EQ(RealFs().OpenForWrite(file, WriteMode::kCreateAlways, &out), kErrorAccessDenied);
  ASSERT_TRUE(WriteFileBytes(dir.Sub("src"), "new"));
  EXPECT_EQ(RealFs().CopyFile(dir.Sub("src"), file, false), kErrorAccessDenied);
  EXPECT_EQ(ReadFileBytes(file), "keep");
  EXPECT_EQ(RealFs().SetAttributes(file, kAttrNormal), kErrorSuccess);
  EXPECT_EQ(RealFs().DeleteFile(file), kErrorSuccess);
}

// A write through a link may replace no more than the direct path could: a
// read-only file stays read-only and keeps its bytes, also for root.
TEST(PosixFs, WritesThroughALinkToAReadOnlyFileAreRefused) {
  TempDir dir;
  std::string target = dir.Sub("locked");
  ASSERT_TRUE(WriteFileBytes(target, "keep"));
  MakeReadOnly(target);
  ASSERT_TRUE(WriteFileBytes(dir.Sub("src"), "new"));
  ASSERT_EQ(symlink(target.c_str(), dir.Sub("link").c_str()), 0);
  std::unique_ptr<WritableFile> out;
  const std::pair<const char*, Error> writes[] = {
      {"open", RealFs().OpenForWrite(dir.Sub("link"), WriteMode::kCreateAlways, &out)},
      {"append", RealFs().OpenForWrite(dir.Sub("link"), WriteMode::kAppend, &out)},
      {"copy", RealFs().CopyFile(dir.Sub("src"), dir.Sub("link"), false)},
      {"replace", RealFs().RenameOver(dir.Sub("src"), target)},
  };
  for (const auto& w : writes) EXPECT_EQ(w.second, kErrorAccessDenied) << w.first;
  EXPECT_EQ(ReadFileBytes(target), "keep");
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);
}

TEST(PosixFs, FileIdsTellNamesOfOneFileApart) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.Sub("a"), "1"));
  ASSERT_TRUE(WriteFileBytes(dir.Sub("b"), "1"));
  ASSERT_EQ(symlink("a", dir.Sub("l").c_str()), 0);
  FileId a, b, dotted, linked;
  ASSERT_EQ(RealFs().GetFileId(dir.Sub("a"), &a), kErrorSuccess);
  ASSERT_EQ(RealFs().GetFileId(dir.Sub("b"), &b), kErrorSuccess);
  ASSERT_EQ(RealFs().GetFileId(dir.Sub("./a"), &dotted), kErrorSuccess);
  ASSERT_EQ(RealFs().GetFileId(dir.Sub("l"), &linked), kErrorSuccess);
  EXPECT_FALSE(a == b);
  EXPECT_TRUE(a == dotted);
  EXPECT_TRUE(a == linked);
  EXPECT_EQ(RealFs().GetFileId(dir.Sub("missing"), &a), kErrorFileNotFound);
}

TEST(PosixFs, MoveNeverReplacesAndCopyHonoursFailIfExists) {
  TempDir dir;
  ASSERT_TRUE(WriteFileBytes(dir.Sub("a"), "A"));
  ASSERT_TRUE(WriteFileBytes(dir.Sub("b"), "B"));
  EXPECT_EQ(RealFs().MoveFile(dir.Sub("a"), dir.Sub("b")), kErrorAlreadyExists);
  EXPECT_EQ(ReadFileBytes(dir.Sub("a")), "A");
  EXPECT_EQ(ReadFileBytes(dir.Sub("b")), "B");
  EXPECT_EQ(RealFs().CopyFile(dir.Sub("a"), dir.Sub("b"), true), kErrorFileExists);
  EXPECT_EQ(ReadFileBytes(dir.Sub("b")), "B");
  EXPECT_EQ(RealFs().CopyFile(dir.Sub("a"), dir.Sub("b"), false), kErrorSuccess);
  EXPECT_EQ(ReadFileBytes(dir.Sub("b")), "A");
  EXPECT_EQ(RealFs().MoveFile(dir.Sub("a"), dir.Sub("c")), kErrorSuccess);
  EXPECT_EQ(ReadFileBytes(dir.Sub("c")), "A");
  EXPECT_FALSE(std::ifstream(dir.Sub("a")).good());
}

TEST(PosixFs, LinksAreDescribedAndRemovedThemselves) {
  TempDir dir;
  ASSERT_EQ(0, mkdir(dir.Sub("target").c_str(), 0755));
  ASSERT_TRUE(WriteFileBytes(dir.Sub("target/keep"), "k"));
  ASSERT_EQ(0, symlink(dir.Sub("target").c_str(), dir.Sub("link").c_str()));
  uint32_t attributes = 0;
  ASSERT_EQ(RealFs().GetAttributes(dir.Sub("link"), &attributes), kErrorSuccess);
  EXPECT_TRUE(attributes & kAttrReparsePoint);
  EXPECT_TRUE(attributes & kAttrDirectory);
  EXPECT_EQ(RealFs().RemoveDir(dir.Sub("link")), kErrorSuccess);
  EXPECT_EQ(ReadFileBytes(dir.Sub("target/keep")), "k");
}

TEST(PosixFs, FullPathResolvesDotsByTextAlone) {
  std::string full;
  ASSERT_TRUE(RealFs().GetFullPath("/a/./b/../c", &full));
  EXPECT_EQ(full, "/a/c");
  ASSERT_TRUE(RealFs().GetFullPath("/../x/", &full));
  EXPECT_EQ(full, "/x/");
  ASSERT_TRUE(RealFs().GetFullPath("rel", &full));
  EXPECT_EQ(full[0], '/');
  EXPECT_FALSE(RealFs().GetFullPath("", &full));
}

TEST(PosixText, ExpansionLeavesUndefinedNamesAndRefusesWhatDoesNotFit) {
  Text& text = *DefaultText();
  setenv("UPDATER_TEST_VAR", "value", 1);
  unsetenv("UPDATER_TEST_UNDEFINED");
  std::string out;
  ASSERT_TRUE(text.ExpandEnvironment("a%UPDATER_TEST_VAR%b%UPDATER_TEST_UNDEFINED%c%", 261, &out));
  EXPECT_EQ(out, "avalueb%UPDATER_TEST_UNDEFINED%c%");
  ASSERT_TRUE(text.ExpandEnvironment("100%% sure", 261, &out));
  EXPECT_EQ(out, "100%% sure");
  out = "kept";
  EXPECT_FALSE(text.ExpandEnvironment(std::string(300, 'x'), 261, &out));
  EXPECT_EQ(out, "kept");
  EXPECT_TRUE(text.ExpandEnvironment(std::string(260, 'x'), 261, &out));
}
