#include "update/file_md5.h"

#include <gtest/gtest.h>

#include "platform/env.h"
#include "support/temp_dir.h"
#include "support/update_checks.h"

namespace {

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

// The digests `openssl dgst -md5` gives for these files (RandomBytes of the
// size, seeded with the size).
TEST(FileMd5Hex, AgreesWithOpensslAroundEveryPaddingAndBlockBoundary) {
  TempDir dir;
  const struct {
    size_t size;
    const char* digest;
  } cases[] = {
      {0, "d41d8cd98f00b204e9800998ecf8427e"},
      {1, "0bcef9c45bd8a48eda1b26eb0c61c869"},
      {55, "ebd9c3cc511598df0726ed6dcb699d15"},
      {56, "d49bb001ed1a04dd166a0a161303df0d"},
      {63, "c3aa2bb42f03f0e0454537b9fa443f57"},
      {64, "343e12913153aa20b71750d357ec5e1e"},
      {65, "a3d0c4ffe57de252a63935f65e0c9331"},
      {102399, "5f3e0853e7464e21ab689ae622285d5e"},
      {102400, "27342f90b8c4b3839b14ae7d5fb74457"},
      {102401, "ba06baa85937b0e6893fc6d5c23010e0"},
      {3 * 1024 * 1024 + 17, "9b0db067dac39743ab89156ff0526217"},
  };
  for (const auto& c : cases) {
    std::string path = dir.Sub("file" + std::to_string(c.size));
    ASSERT_TRUE(WriteFileBytes(path, RandomBytes(c.size, static_cast<unsigned>(c.size))));
    EXPECT_EQ(FileMd5Hex(path), c.digest) << c.size << " bytes";
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
