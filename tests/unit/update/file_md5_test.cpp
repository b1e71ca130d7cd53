#include "update/file_md5.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/env.h"
#include "support/temp_dir.h"
#include "support/update_checks.h"

namespace {

// `openssl dgst -md5` of a file, run as a separate program.
std::string OpensslMd5(const std::string& path) {
  std::string command = "openssl dgst -md5 -r '" + path + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "popen failed";
  char line[256] = {};
  std::string out = fgets(line, sizeof(line), pipe) ? line : "";
  pclose(pipe);
  return out.substr(0, out.find(' '));
}

// Files whose reads return at most `m_nChunk` bytes, fail at read number
// `m_nFailAt` (counting from 1; 0 never), and record the sizes asked for.
class ChoppyFs : public platform::FsWrapper {
 public:
  ChoppyFs() : FsWrapper(&platform::Env::Get().fs()) {}

  platform::Error OpenForRead(const std::string& path,
                              std::unique_ptr<platform::ReadableFile>* file) override {
    std::unique_ptr<platform::ReadableFile> real;
    platform::Error err = FsWrapper::OpenForRead(path, &real);
    if (err == platform::kErrorSuccess) file->reset(new File(this, std::move(real)));
    return err;
  }

  size_t m_nChunk = SIZE_MAX;
  int m_nFailAt = 0;
  std::vector<size_t> m_aAsked;

 private:
  class File : public platform::ReadableFile {
   public:
    File(ChoppyFs* fs, std::unique_ptr<platform::ReadableFile> real)
        : m_pFs(fs), m_pReal(std::move(real)) {}
    bool Read(void* buffer, size_t n, size_t* got) override {
      m_pFs->m_aAsked.push_back(n);
      if (static_cast<int>(m_pFs->m_aAsked.size()) == m_pFs->m_nFailAt) return false;
      return m_pReal->Read(buffer, std::min(n, m_pFs->m_nChunk), got);
    }

   private:
    ChoppyFs* m_pFs;
    std::unique_ptr<platform::ReadableFile> m_pReal;
  };
};

}  // namespace

TEST(Md5, Rfc1321TestSuite) {
  EXPECT_EQ(Md5Of(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Of("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(Md5Of("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5Of("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(Md5Of("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(Md5Of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(Md5Of("1234567890123456789012345678901234567890"
                  "1234567890123456789012345678901234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Md5, PiecesOfAnySizeGiveTheDigestOfTheWhole) {
  std::string bytes = RandomBytes(1000, 7);
  std::string whole = Md5Of(bytes);
  for (size_t piece : {1u, 3u, 55u, 63u, 64u, 65u, 200u}) {
    Md5 md5;
    for (size_t at = 0; at < bytes.size(); at += piece) {
      md5.Update(bytes.data() + at, std::min(piece, bytes.size() - at));
    }
    EXPECT_EQ(md5.FinalHex(), whole) << "pieces of " << piece;
  }
}

TEST(FileMd5Hex, AgreesWithOpensslAroundEveryPaddingAndBlockBoundary) {
  TempDir dir;
  const size_t kMiB = 1024 * 1024;
  for (size_t size : {size_t{0}, size_t{1}, size_t{55}, size_t{56}, size_t{63}, size_t{64},
                      size_t{65}, size_t{102399}, size_t{102400}, size_t{102401}, 3 * kMiB + 17}) {
    std::string path = dir.Sub("file" + std::to_string(size));
    ASSERT_TRUE(WriteFileBytes(path, RandomBytes(size, static_cast<unsigned>(size))));
    std::string expected = OpensslMd5(path);
    ASSERT_EQ(expected.size(), 32u) << "openssl did not answer for " << size;
    EXPECT_EQ(FileMd5Hex(path), expected) << size << " bytes";
  }
}

TEST(FileMd5Hex, FileThatCannotBeOpenedGivesNoText) {
  TempDir dir;
  EXPECT_EQ(FileMd5Hex(dir.Sub("missing")), "");
  EXPECT_EQ(FileMd5Hex(dir.path()), "");
}

TEST(FileMd5Hex, ReadsInBlocksOf102400BytesAndAddsWhatShortReadsReturn) {
  TempDir dir;
  std::string bytes = RandomBytes(250000, 3);
  std::string path = dir.Sub("data");
  ASSERT_TRUE(WriteFileBytes(path, bytes));
  ChoppyFs fs;
  platform::ScopedService<platform::Fs> guard(&platform::Env::SetFs, &fs);
  fs.m_nChunk = 40000;
  EXPECT_EQ(FileMd5Hex(path), Md5Of(bytes));
  // 250000 bytes in reads of 40000, then the read that finds the end.
  EXPECT_EQ(fs.m_aAsked, std::vector<size_t>(8, 102400));
}

TEST(FileMd5Hex, ReadErrorBeforeTheEndGivesNoText) {
  TempDir dir;
  std::string path = dir.Sub("data");
  ASSERT_TRUE(WriteFileBytes(path, RandomBytes(300000, 4)));
  ChoppyFs fs;
  platform::ScopedService<platform::Fs> guard(&platform::Env::SetFs, &fs);
  fs.m_nFailAt = 2;
  EXPECT_EQ(FileMd5Hex(path), "");
}
