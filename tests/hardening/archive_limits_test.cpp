// Archives past every ordinary size: entries that claim 4 GiB over a few
// bytes, an honest entry of more than 4 GiB of zeros, and 100,000 entries.
// The unzip action must stream each through its fixed buffer and either
// finish or fail with its own message, in bounded memory. These tests write
// gigabytes and run in the "hardening" label, not with the unit tests.
#include <gtest/gtest.h>
#include <minizip/zip.h>
#include <sys/resource.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "actions/unzip_action.h"
#include "env/texts.h"
#include "support/recording_main_window.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kMiB = 1ull << 20;
constexpr uint64_t kFourGiB = 4096 * kMiB;
// What the extraction may add to the process's peak memory.
constexpr uint64_t kMemoryAllowance = 64 * kMiB;

uint64_t PeakMemory() {
  struct rusage usage = {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<uint64_t>(usage.ru_maxrss) * 1024;
}

// One entry written with minizip's raw interface: the bytes go in as they are
// (already deflated, or stored), and the header says whatever size and CRC it
// is given. Always with ZIP64 fields.
class RawZip {
 public:
  explicit RawZip(const std::string& path) : m_zip(zipOpen64(path.c_str(), APPEND_STATUS_CREATE)) {}
  ~RawZip() {
    if (m_zip) zipClose(m_zip, nullptr);
  }
  bool Open(const std::string& name, bool deflated) {
    zip_fileinfo info = {};
    info.dosDate = 0x52CF5000;  // 2021-06-15 10:00:00
    return zipOpenNewFileInZip2_64(m_zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                   deflated ? Z_DEFLATED : 0, Z_BEST_COMPRESSION, 1, 1) == ZIP_OK;
  }
  bool Write(const std::string& bytes) {
    return zipWriteInFileInZip(m_zip, bytes.data(), static_cast<unsigned>(bytes.size())) == ZIP_OK;
  }
  bool Close(uint64_t size, uint32_t crc) {
    return zipCloseFileInZipRaw64(m_zip, size, crc) == ZIP_OK;
  }

 private:
  zipFile m_zip;
};

// Raw deflate of `bytes`.
std::string Deflate(const std::string& bytes) {
  z_stream z = {};
  deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, bytes.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  z.avail_in = static_cast<uInt>(bytes.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

uint32_t Crc(const std::string& bytes) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// minizip's writer stores 0xFFFF as the entry count of an archive with more
// entries but adds no ZIP64 end record: this puts one (and its locator)
// before the end record, as other zip tools write it.
bool AddZip64EndRecord(const std::string& path) {
  std::string bytes = ReadFileBytes(path);
  if (bytes.size() < 22 || bytes.compare(bytes.size() - 22, 4, "PK\x05\x06") != 0) return false;
  auto u16 = [&](size_t at) {
    return static_cast<uint64_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<uint64_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
  };
  auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  auto put = [](std::string* out, uint64_t v, int n) {
    for (int i = 0; i < n; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
  };
  size_t end = bytes.size() - 22;
  uint64_t centralSize = u32(end + 12);
  uint64_t centralOffset = u32(end + 16);
  uint64_t entries = 0;
  for (size_t at = centralOffset; at + 46 <= end && bytes.compare(at, 4, "PK\x01\x02") == 0;
       at += 46 + u16(at + 28) + u16(at + 30) + u16(at + 32)) {
    ++entries;
  }
  std::string record;
  put(&record, 0x06064b50, 4);
  put(&record, 44, 8);  // the size of what follows
  put(&record, 45, 2);
  put(&record, 45, 2);
  put(&record, 0, 4);
  put(&record, 0, 4);
  put(&record, entries, 8);
  put(&record, entries, 8);
  put(&record, centralSize, 8);
  put(&record, centralOffset, 8);
  put(&record, 0x07064b50, 4);  // the locator
  put(&record, 0, 4);
  put(&record, end, 8);
  put(&record, 1, 4);
  bytes.insert(end, record);
  return WriteFileBytes(path, bytes);
}

class BadInputArchive : public ::testing::Test {
 protected:
  void SetUp() override { m_dir.Enter(); }

  // Runs the unzip action on the archive into "out"; its result.
  int Unzip() {
    UnzipAction action;
    action.SetParam("file", m_szArchive);
    action.SetParam("where", m_dir.Sub("out"));
    m_nPeakBefore = PeakMemory();
    auto start = std::chrono::steady_clock::now();
    int result = action.Execute();
    m_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m_nPeakAfter = PeakMemory();
    return result;
  }
  std::vector<std::string> Statuses() const { return m_window.CallsOf("status:"); }
  void ExpectBoundedMemory() const {
    EXPECT_LT(m_nPeakAfter - m_nPeakBefore, kMemoryAllowance)
        << "peak " << m_nPeakBefore / kMiB << " MiB before, " << m_nPeakAfter / kMiB << " after";
  }

  TempDir m_dir;
  RecordingMainWindow m_window;
  std::string m_szArchive = m_dir.Sub("archive.zip");
  uint64_t m_nPeakBefore = 0;
  uint64_t m_nPeakAfter = 0;
  double m_seconds = 0;
};

}  // namespace

TEST_F(BadInputArchive, DeflatedEntryClaimingFourGibibytesOverFiveBytesFails) {
  {
    RawZip zip(m_szArchive);
    ASSERT_TRUE(zip.Open("claims.txt", true));
    ASSERT_TRUE(zip.Write(Deflate("hello")));
    ASSERT_TRUE(zip.Close(kFourGiB, Crc("hello")));
  }
  EXPECT_EQ(Unzip(), 0);
  EXPECT_EQ(Statuses().back(),
            "status:" + std::string(texts::kUnzipError) + m_dir.Sub("out") + "/claims.txt");
  ExpectBoundedMemory();
}

// More than 4 GiB, so every count past 32 bits is exercised. The deflate
// stream is one flushed block of 1 MiB of zeros repeated: a full flush resets
// the history, so each copy stands alone.
TEST_F(BadInputArchive, HonestEntryOfMoreThanFourGibibytesOfZerosStreamsThrough) {
  const uint64_t size = kFourGiB + kMiB;
  const std::string zeros(kMiB, '\0');
  {
    z_stream z = {};
    ASSERT_EQ(deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY),
              Z_OK);
    std::string block(kMiB, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
    z.avail_in = static_cast<uInt>(zeros.size());
    z.next_out = reinterpret_cast<Bytef*>(&block[0]);
    z.avail_out = static_cast<uInt>(block.size());
    ASSERT_EQ(deflate(&z, Z_FULL_FLUSH), Z_OK);
    block.resize(block.size() - z.avail_out);
    std::string end(64, '\0');
    z.next_in = nullptr;
    z.avail_in = 0;
    z.next_out = reinterpret_cast<Bytef*>(&end[0]);
    z.avail_out = static_cast<uInt>(end.size());
    ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    end.resize(end.size() - z.avail_out);
    deflateEnd(&z);

    uLong crc = crc32(0, nullptr, 0);
    RawZip zip(m_szArchive);
    ASSERT_TRUE(zip.Open("zeros.bin", true));
    for (uint64_t done = 0; done < size; done += kMiB) {
      ASSERT_TRUE(zip.Write(block));
      crc = crc32(crc, reinterpret_cast<const Bytef*>(zeros.data()), kMiB);
    }
    ASSERT_TRUE(zip.Write(end));
    ASSERT_TRUE(zip.Close(size, static_cast<uint32_t>(crc)));
  }
  std::printf("archive of %llu bytes for %llu bytes of zeros\n",
              static_cast<unsigned long long>(fs::file_size(m_szArchive)),
              static_cast<unsigned long long>(size));

  int result = Unzip();
  std::printf("extracted in %.1f s\n", m_seconds);
  // Either the whole entry is there, or the disk was full and the action says
  // so; never a short file taken for a whole one.
  if (result) {
    EXPECT_EQ(fs::file_size(m_dir.Sub("out/zeros.bin")), size);
    EXPECT_EQ(Statuses().back(), "status:" + std::string(texts::kUnzipDone));
  } else {
    EXPECT_EQ(Statuses().back(),
              "status:" + std::string(texts::kUnzipError) + m_dir.Sub("out") + "/zeros.bin");
  }
  fs::remove(m_dir.Sub("out/zeros.bin"));
  ExpectBoundedMemory();
}

TEST_F(BadInputArchive, AHundredThousandEntriesAreAllExtracted) {
  const int count = 100000;
  {
    zipFile zip = zipOpen64(m_szArchive.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr);
    for (int i = 0; i < count; ++i) {
      zip_fileinfo info = {};
      std::string name = "d" + std::to_string(i % 100) + "/f" + std::to_string(i);
      ASSERT_EQ(
          zipOpenNewFileInZip64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, 0, 0, 1),
          ZIP_OK);
      ASSERT_EQ(zipWriteInFileInZip(zip, name.data(), static_cast<unsigned>(name.size())), ZIP_OK);
      ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
  }
  ASSERT_TRUE(AddZip64EndRecord(m_szArchive));

  EXPECT_EQ(Unzip(), 1);
  std::printf("%d entries extracted in %.1f s\n", count, m_seconds);
  EXPECT_EQ(Statuses().back(), "status:" + std::string(texts::kUnzipDone));
  EXPECT_EQ(m_window.m_fileBar.Range(), count);
  EXPECT_EQ(m_window.m_fileBar.Position(), count);
  size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(m_dir.Sub("out"))) {
    files += entry.is_regular_file();
  }
  EXPECT_EQ(files, static_cast<size_t>(count));
  EXPECT_EQ(ReadFileBytes(m_dir.Sub("out/d7/f99907")), "d7/f99907");
  ExpectBoundedMemory();
}
