#include "actions/zip_extractor.h"

#include <minizip/unzip.h>

#include <algorithm>
#include <climits>
#include <ctime>
#include <memory>
#include <vector>

#include "actions/journal.h"
#include "env/config.h"
#include "env/mbstring.h"
#include "env/replacing_file.h"
#include "platform/env.h"
#include "platform/replacement_temp.h"
#include "platform/separators.h"

using platform::kPathSep;

namespace {

// Every entry is streamed through one buffer this big: large enough that the
// inflated data of a large entry goes to the file without being gathered.
constexpr unsigned kReadBufferSize = 256 * 1024;
// Written entries take their names once this many bytes or files wait.
constexpr uint64_t kPlaceAfterBytes = 32 * 1024 * 1024;
constexpr size_t kPlaceAfterFiles = 256;
// The name buffer of the entry information, terminating zero included.
constexpr unsigned kNameBufferSize = 260;
constexpr uint32_t kDosDirectoryAttribute = 0x10;
// General-purpose bit 11: the entry's name is UTF-8.
constexpr unsigned kUtf8NameFlag = 0x800;
constexpr unsigned kMadeOnUnix = 3;
constexpr uint32_t kExecuteBits = 0111;
constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;
constexpr uint64_t kFileTimeTicksPerSecond = 10000000ull;

unzFile Archive(void* handle) { return static_cast<unzFile>(handle); }

// DosDateTimeToFileTime and LocalFileTimeToFileTime in one: false for a date or
// time that names no moment (month 0, hour 25, ...).
bool DosDateTimeToUtcFileTime(uint32_t dosDateTime, uint64_t* fileTime) {
  unsigned date = dosDateTime >> 16;
  unsigned time = dosDateTime & 0xFFFF;
  struct tm local = {};
  local.tm_year = static_cast<int>((date >> 9) & 0x7F) + 80;
  local.tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
  local.tm_mday = static_cast<int>(date & 0x1F);
  local.tm_hour = static_cast<int>((time >> 11) & 0x1F);
  local.tm_min = static_cast<int>((time >> 5) & 0x3F);
  local.tm_sec = static_cast<int>(time & 0x1F) * 2;
  local.tm_isdst = -1;
  if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1 || local.tm_hour > 23 ||
      local.tm_min > 59 || local.tm_sec > 59) {
    return false;
  }
  time_t utc = mktime(&local);
  if (utc == static_cast<time_t>(-1)) return false;
  *fileTime = kUnixEpochAsFileTime + static_cast<uint64_t>(utc) * kFileTimeTicksPerSecond;
  return true;
}

// True when the path exists and is a link (a junction on Windows).
bool IsLink(const std::string& path, bool* exists) {
  uint32_t attributes = 0;
  *exists = platform::Env::Get().fs().GetAttributes(path, &attributes) == platform::kErrorSuccess;
  return *exists && (attributes & platform::kAttrReparsePoint);
}

bool IsInside(const std::string& folder, const std::string& path) {
  std::string prefix = platform::TrimTrailingSeparators(folder);
  if (!platform::EndsWithSeparator(prefix)) prefix += kPathSep;
  return path.compare(0, prefix.size(), prefix) == 0;
}

// Walks the existing part of `folder`/`name` below the folder; true when one
// of its components, the last one included, is a link that leads out of the
// folder or nowhere. The folder itself may be a link: it is the destination
// the manifest names.
bool LinkOutOfFolder(const std::string& folder, const std::string& destination) {
  platform::Fs& fs = platform::Env::Get().fs();
  std::string realFolder;
  size_t start = folder.size();
  while (start < destination.size() && destination[start] == kPathSep) ++start;
  while (start < destination.size()) {
    size_t next = platform::NextSeparator(destination, start);
    if (next == std::string::npos) next = destination.size();
    if (next > start) {
      bool exists = false;
      std::string part = destination.substr(0, next);
      if (IsLink(part, &exists)) {
        std::string target;
        if (!fs.ResolveLinks(part, &target)) return true;
        if (realFolder.empty() && !fs.ResolveLinks(folder, &realFolder)) return true;
        if (!IsInside(realFolder, target)) return true;
      }
      // Nothing further down exists yet.
      if (!exists) return false;
    }
    start = next + 1;
  }
  return false;
}

// A replaced file keeps its mode and its last-access time.
void KeepModeAndAccessTime(const ReplacingFile& file) {
  platform::Fs& fs = platform::Env::Get().fs();
  uint32_t mode = 0;
  if (fs.GetUnixMode(file.Target(), &mode) == platform::kErrorSuccess && mode != 0) {
    fs.SetUnixMode(file.TempPath(), mode);
  }
  platform::FileTimes old;
  platform::FileTimes times;
  if (fs.GetFileTimes(file.Target(), &old) == platform::kErrorSuccess &&
      fs.GetFileTimes(file.TempPath(), &times) == platform::kErrorSuccess) {
    times.lastAccess = old.lastAccess;
    fs.SetFileTimes(file.TempPath(), times);
  }
}

// A new file gets the execute bits its entry carries, where the usual mode
// lets it be read.
void GiveExecuteBits(const std::string& path, uint32_t entryMode) {
  platform::Fs& fs = platform::Env::Get().fs();
  uint32_t execute = entryMode & kExecuteBits;
  uint32_t mode = 0;
  if (execute == 0 || fs.GetUnixMode(path, &mode) != platform::kErrorSuccess) return;
  uint32_t allowed = execute & ((mode & 0444) >> 2);
  if (allowed) fs.SetUnixMode(path, mode | allowed);
}

// Two names of one file have the same key: the folder's identity (links
// followed) and the last name, its letter case folded. False when the folder
// cannot be read.
bool SameFileKey(const std::string& path, std::string* key) {
  size_t p = platform::LastSeparator(path);
  platform::FileId folder;
  if (p == std::string::npos ||
      platform::Env::Get().fs().GetFileId(path.substr(0, p), &folder) != platform::kErrorSuccess) {
    return false;
  }
  std::string name = path.substr(p + 1);
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  *key = std::to_string(folder.volume) + ":" + std::to_string(folder.index) + ":" + name;
  return true;
}

}  // namespace

ZipExtractor::ZipExtractor() = default;

ZipExtractor::~ZipExtractor() {
  Close();
  FlushFolders();
}

void ZipExtractor::FlushFolders() {
  for (const std::string& folder : m_setUnflushed) platform::Env::Get().fs().FlushDir(folder);
  m_setUnflushed.clear();
}

bool ZipExtractor::Open(const std::string& path) {
  Close();
  m_nEntry = -1;
  m_nFailedEntry = -1;
  std::string full;
  if (path.empty() || !platform::Env::Get().fs().GetFullPath(path, &full)) return false;
  m_hArchive = unzOpen64(full.c_str());
  return m_hArchive != nullptr;
}

bool ZipExtractor::Close() {
  PlaceWritten();
  FlushFolders();
  if (!m_hArchive) return false;
  unzCloseCurrentFile(Archive(m_hArchive));
  int err = unzClose(Archive(m_hArchive));
  m_hArchive = nullptr;
  return err == UNZ_OK;
}

int ZipExtractor::GetEntryCount() {
  if (!m_hArchive) return 0;
  unz_global_info64 info;
  if (unzGetGlobalInfo64(Archive(m_hArchive), &info) != UNZ_OK) return 0;
  return info.number_entry > INT_MAX ? INT_MAX : static_cast<int>(info.number_entry);
}

bool ZipExtractor::GoToFirstEntry() {
  return m_hArchive && unzGoToFirstFile(Archive(m_hArchive)) == UNZ_OK;
}

bool ZipExtractor::GoToNextEntry() {
  return m_hArchive && unzGoToNextFile(Archive(m_hArchive)) == UNZ_OK;
}

bool ZipExtractor::GetEntryInfo(ZipEntryInfo* info) {
  if (!m_hArchive) return false;
  *info = ZipEntryInfo();
  unz_file_info64 file;
  unzFile archive = Archive(m_hArchive);
  if (unzGetCurrentFileInfo64(archive, &file, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
    return false;
  }
  std::string stored(file.size_filename, '\0');
  if (!stored.empty() && unzGetCurrentFileInfo64(archive, &file, &stored[0], file.size_filename,
                                                 nullptr, 0, nullptr, 0) != UNZ_OK) {
    return false;
  }
  // A name with a zero byte would read as a shorter one: another file than
  // the archive names.
  if (stored.find('\0') != std::string::npos) return false;
  // A name stored as UTF-8 becomes the system's text before any rule reads
  // it; one the system's text cannot hold names nothing here.
  if ((file.flag & kUtf8NameFlag) && !platform::Env::Get().text().FromUtf8(stored, &stored)) {
    return false;
  }
  // A longer name would come back cut short from a 260-byte buffer.
  if (stored.size() >= kNameBufferSize) return false;

  info->m_szName = platform::ToPlatformSeparators(stored);
  info->m_dwDosDateTime = static_cast<uint32_t>(file.dosDate);
  info->m_bIsDirectory = (file.external_fa & kDosDirectoryAttribute) != 0;
  if ((file.version >> 8) == kMadeOnUnix) info->m_nUnixMode = (file.external_fa >> 16) & 07777;
  info->m_nSize = file.uncompressed_size;
  return true;
}

bool ZipExtractor::Fail() {
  m_nFailedEntry = m_nEntry;
  // The entries written before stay, as if each had taken its name at once.
  PlaceWritten();
  return false;
}

bool ZipExtractor::ExtractEntry(const std::string& folder) {
  ++m_nEntry;
  if (!m_hArchive) return Fail();
  if (!EnsureDirectory(folder, &m_setUnflushed)) return Fail();
  ZipEntryInfo info;
  if (!GetEntryInfo(&info) || !IsSafeEntryName(info.m_szName)) return Fail();

  std::string destination = EntryDestination(folder, info.m_szName);
  if (LinkOutOfFolder(folder, destination)) return Fail();

  if (info.m_bIsDirectory) return EnsureDirectory(destination, &m_setUnflushed) || Fail();
  if (!EnsureParentDirectory(destination, &m_setUnflushed)) return Fail();
  return WriteCurrentEntry(destination, info) || Fail();
}

bool ZipExtractor::ExtractEntryTo(const std::string& path) {
  ++m_nEntry;
  if (!m_hArchive || path.empty()) return Fail();
  if (!EnsureParentDirectory(path, &m_setUnflushed)) return Fail();
  ZipEntryInfo info;
  if (!GetEntryInfo(&info)) return Fail();
  bool exists = false;
  if (IsLink(path, &exists)) return Fail();
  return WriteCurrentEntry(path, info) || Fail();
}

bool ZipExtractor::PlaceWritten() {
  if (m_listWritten.empty()) return true;
  std::vector<ReplacingFile*> files;
  for (Written& written : m_listWritten) files.push_back(written.file.get());
  std::vector<platform::Error> flushed;
  ReplacingFile::FlushAll(files, &flushed);
  bool ok = true;
  // The old files keep a second name until all are replaced, then go at
  // once; a journal keeps their bytes under a name of its own already.
  std::vector<std::string> asides;
  for (size_t i = 0; ok && i < m_listWritten.size(); ++i) {
    ReplacingFile& file = *m_listWritten[i].file;
    ok = flushed[i] == platform::kErrorSuccess;
    if (ok) {
      JournalLeaves(file.Target(), file.TempPath());
      m_setUnflushed.insert(platform::FolderOfPath(file.Target()));
      std::string aside;
      ok = file.Commit(false, g_pJournal ? nullptr : &aside) == platform::kErrorSuccess;
      if (!aside.empty()) asides.push_back(aside);
    }
    if (!ok) m_nFailedEntry = m_listWritten[i].entry;
  }
  std::vector<platform::Error> deleted;
  platform::Env::Get().fs().DeleteFiles(asides, &deleted);
  // The temporaries of those not in place go with them.
  m_listWritten.clear();
  m_setWrittenKeys.clear();
  m_nWrittenBytes = 0;
  return ok;
}

bool ZipExtractor::WriteCurrentEntry(const std::string& path, const ZipEntryInfo& info) {
  // A second entry for a file that waits for its name (or a link, which may
  // lead to one) would share its temporary: the waiting ones go first.
  std::string key;
  bool exists = false;
  bool keyed = !IsLink(path, &exists) && SameFileKey(path, &key);
  if ((!keyed || m_setWrittenKeys.count(key)) && !PlaceWritten()) return false;
  if (!JournalWillReplace(path)) return false;
  auto file = std::make_unique<ReplacingFile>();
  if (file->Prepare(path) != platform::kErrorSuccess || file->Create() != platform::kErrorSuccess) {
    return false;
  }
  unzFile archive = Archive(m_hArchive);
  unz_file_info64 entry;
  if (unzGetCurrentFileInfo64(archive, &entry, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK ||
      unzOpenCurrentFile(archive) != UNZ_OK) {
    return false;
  }

  if (m_buffer.empty()) m_buffer.resize(kReadBufferSize);
  char* buffer = m_buffer.data();
  int got;
  uint64_t total = 0;
  while ((got = unzReadCurrentFile(archive, buffer, kReadBufferSize)) > 0) {
    size_t written = 0;
    if (!file->Write(buffer, static_cast<size_t>(got), &written) ||
        written != static_cast<size_t>(got)) {
      break;
    }
    total += static_cast<uint64_t>(got);
  }
  // The reader checks the CRC only when the entry's whole stated size came
  // out: data that ends before it (an entry that claims 4 GiB over a few
  // bytes) would otherwise pass for the whole entry.
  bool ok = got == 0 && total == entry.uncompressed_size;
  // A file whose last bytes could not be flushed is not written completely.
  if (!file->Close()) ok = false;
  // The whole entry was read: closing compares its CRC-32. Data that inflates
  // cleanly but differs from what was stored is still a failed entry.
  if (unzCloseCurrentFile(archive) != UNZ_OK) ok = false;
  if (!ok) return false;

  SetFileTimesFromDos(file->TempPath(), info.m_dwDosDateTime);
  if (file->TargetExisted()) {
    KeepModeAndAccessTime(*file);
  } else {
    GiveExecuteBits(file->TempPath(), info.m_nUnixMode);
  }
  m_listWritten.push_back(Written{std::move(file), m_nEntry});
  if (keyed) m_setWrittenKeys.insert(key);
  m_nWrittenBytes += total;
  if (m_nWrittenBytes >= kPlaceAfterBytes || m_listWritten.size() >= kPlaceAfterFiles) {
    return PlaceWritten();
  }
  return true;
}

std::string EntryDestination(const std::string& folder, const std::string& name) {
  std::string destination = folder;
  if (!folder.empty() && !platform::EndsWithSeparator(folder) && folder.back() != '/') {
    destination += kPathSep;
  }
  return destination + name;
}

bool EnsureDirectory(const std::string& path, std::set<std::string>* unflushed) {
  if (path.empty()) return true;
  if (path.size() > kMaxPathLength) return false;
  std::string directory = platform::TrimTrailingSeparators(path);

  // Climb to the nearest level that exists, then make the levels below it on
  // the way back down: a loop, since the folder may have thousands of levels.
  platform::Fs& fs = platform::Env::Get().fs();
  std::vector<size_t> cuts = platform::AllSeparators(directory);
  std::vector<size_t> missing;  // lengths of the levels to make, innermost first
  size_t length = directory.size();
  for (;;) {
    if (length == 0) break;  // below the root: nothing to make
    uint32_t attributes = 0;
    if (fs.GetAttributes(directory.substr(0, length), &attributes) == platform::kErrorSuccess) {
      if (!(attributes & platform::kAttrDirectory)) return false;
      break;
    }
    missing.push_back(length);
    while (!cuts.empty() && cuts.back() >= length) cuts.pop_back();
    // A missing first level of a relative path is not made: the folder is
    // not there.
    if (cuts.empty()) return false;
    length = cuts.back();
  }
  for (size_t i = missing.size(); i-- > 0;) {
    std::string level = directory.substr(0, missing[i]);
    if (!JournalWillCreateDirs(level)) return false;
    platform::Error err = fs.CreateDir(level);
    // Made meanwhile by someone else counts as made.
    uint32_t attributes = 0;
    if (err != platform::kErrorSuccess &&
        !(err == platform::kErrorAlreadyExists &&
          fs.GetAttributes(level, &attributes) == platform::kErrorSuccess &&
          (attributes & platform::kAttrDirectory))) {
      return false;
    }
    if (err != platform::kErrorSuccess) continue;
    std::string parent = platform::FolderOfPath(level);
    if (unflushed) {
      unflushed->insert(parent);
    } else {
      fs.FlushDir(parent);
    }
  }
  return true;
}

bool EnsureParentDirectory(const std::string& path, std::set<std::string>* unflushed) {
  size_t p = platform::LastSeparator(path);
  if (p == std::string::npos) return false;
  return EnsureDirectory(path.substr(0, p), unflushed);
}

bool SetFileTimesFromDos(const std::string& path, uint32_t dosDateTime) {
  platform::Fs& fs = platform::Env::Get().fs();
  platform::FileTimes times;
  if (fs.GetFileTimes(path, &times) != platform::kErrorSuccess) return false;
  uint64_t fileTime = 0;
  if (!DosDateTimeToUtcFileTime(dosDateTime, &fileTime)) return false;
  times.creation = fileTime;
  times.lastWrite = fileTime;
  return fs.SetFileTimes(path, times) == platform::kErrorSuccess;
}

bool IsSafeEntryName(const std::string& name) {
  // Split on every 0x2F and 0x5C byte: a lead byte before a separator must not
  // hide it, since the archive's names need not be valid in the code page.
  if (!name.empty() && platform::IsStoredNameSeparator(name[0])) return false;
  if (name.size() >= 2 && name[1] == ':' &&
      ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) {
    return false;
  }
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && !platform::IsStoredNameSeparator(name[i])) continue;
    if (platform::IsClimbingSegment(name.substr(start, i - start))) return false;
    start = i + 1;
  }
  return true;
}
