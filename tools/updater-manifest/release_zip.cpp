#include "release_zip.h"

#include <minizip/zip.h>
#include <zlib.h>

#include <ctime>
#include <memory>

#include "manifest_texts.h"
#include "platform/env.h"

using namespace manifesttexts;

namespace {

constexpr size_t kBlock = 64 * 1024;
constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;
constexpr uint64_t kFileTimeTicksPerSecond = 10000000ull;
constexpr unsigned kUtf8NameFlag = 0x800;
constexpr unsigned kMadeOnUnix = 3;
constexpr uint32_t kRegularFile = 0100000;
constexpr uint32_t kArchiveAttribute = 0x20;
// Entries are written without ZIP64 fields, so each stays below 4 GiB.
constexpr uint64_t kZip64Size = 0xFFFFFFFFu;

uint32_t DosTime(int year, int month, int day, int hour, int minute, int second) {
  return static_cast<uint32_t>(((year - 1980) << 25) | (month << 21) | (day << 16) | (hour << 11) |
                               (minute << 5) | (second / 2));
}

// The file time as the zip's DOS date and time, in local time as the
// extractor reads it back.
uint32_t DosTimeOf(uint64_t fileTime, const std::string& path, std::ostream& notes) {
  std::time_t seconds =
      fileTime < kUnixEpochAsFileTime
          ? 0
          : static_cast<std::time_t>((fileTime - kUnixEpochAsFileTime) / kFileTimeTicksPerSecond);
  const std::tm* local = std::localtime(&seconds);
  int year = local ? local->tm_year + 1900 : 1980;
  if (year < 1980) {
    notes << Format(kReleaseTimeHeldFormat, path.c_str(), "1980-01-01 00:00:00") << "\n";
    return DosTime(1980, 1, 1, 0, 0, 0);
  }
  if (year > 2107) {
    notes << Format(kReleaseTimeHeldFormat, path.c_str(), "2107-12-31 23:59:58") << "\n";
    return DosTime(2107, 12, 31, 23, 59, 58);
  }
  return DosTime(year, local->tm_mon + 1, local->tm_mday, local->tm_hour, local->tm_min,
                 local->tm_sec > 59 ? 59 : local->tm_sec);
}

bool AddFile(zipFile zip, const ReleaseZipFile& file, std::ostream& notes, std::string* error) {
  platform::Fs& fs = platform::Env::Get().fs();
  std::unique_ptr<platform::ReadableFile> in;
  if (fs.OpenForRead(file.szPath, &in) != platform::kErrorSuccess) {
    *error = Format(kCannotBeReadFormat, file.szPath.c_str());
    return false;
  }
  bool madeOnUnix = file.entry.nUnixMode != 0;
  zip_fileinfo info = {};
  info.dosDate = DosTimeOf(file.entry.nLastWrite, file.szPath, notes);
  info.external_fa =
      madeOnUnix ? (kRegularFile | (file.entry.nUnixMode & 07777)) << 16 : kArchiveAttribute;
  uLong madeBy = (madeOnUnix ? kMadeOnUnix << 8 : 0) | 20;
  if (zipOpenNewFileInZip4_64(zip, file.szEntry.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                              Z_DEFLATED, Z_BEST_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                              Z_DEFAULT_STRATEGY, nullptr, 0, madeBy,
                              file.bUtf8Flag ? kUtf8NameFlag : 0, 0) != ZIP_OK) {
    return false;
  }
  std::string block(kBlock, '\0');
  bool ok = true;
  uint64_t total = 0;
  for (;;) {
    size_t got = 0;
    if (!in->Read(&block[0], kBlock, &got)) {
      *error = Format(kCannotBeReadFormat, file.szPath.c_str());
      ok = false;
      break;
    }
    if (got == 0) break;
    total += got;
    if (total >= kZip64Size) {
      *error = Format(kReleaseFileTooLargeFormat, file.szPath.c_str());
      ok = false;
      break;
    }
    if (zipWriteInFileInZip(zip, block.data(), static_cast<unsigned>(got)) != ZIP_OK) {
      ok = false;
      break;
    }
  }
  return zipCloseFileInZip(zip) == ZIP_OK && ok;
}

}  // namespace

bool WriteReleaseZip(const std::string& zipPath, const std::vector<ReleaseZipFile>& files,
                     std::ostream& notes, std::string* error) {
  error->clear();
  zipFile zip = zipOpen64(zipPath.c_str(), APPEND_STATUS_CREATE);
  bool ok = zip != nullptr;
  for (size_t i = 0; ok && i < files.size(); ++i) ok = AddFile(zip, files[i], notes, error);
  if (zip && zipClose(zip, nullptr) != ZIP_OK) ok = false;
  if (!ok) {
    platform::Env::Get().fs().DeleteFile(zipPath);
    if (error->empty()) *error = Format(kCannotBeWrittenFormat, zipPath.c_str());
  }
  return ok;
}
