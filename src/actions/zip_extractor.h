// Reading a zip archive entry by entry and writing entries to disk. The archive
// handle is the only thing kept open between calls; everything is written
// through platform::Env's file system.
#pragma once

#include <cstdint>
#include <string>

struct ZipEntryInfo {
  // As stored, in the system code page (a name flagged as UTF-8 converted to
  // it); both "/" and "\\" turned into the platform's separator. A directory
  // entry's name ends with a separator.
  std::string m_szName;
  // DOS date in the upper 16 bits, DOS time in the lower 16 bits; local time.
  uint32_t m_dwDosDateTime = 0;
  // Bit 4 (the DOS directory attribute) of the external attributes. A trailing
  // separator alone does not make a directory.
  bool m_bIsDirectory = false;
  // The Unix mode of an entry made on Unix (the upper half of the external
  // attributes); 0 for entries made elsewhere.
  uint32_t m_nUnixMode = 0;
};

class ZipExtractor {
 public:
  ZipExtractor() = default;
  virtual ~ZipExtractor();
  ZipExtractor(const ZipExtractor&) = delete;
  ZipExtractor& operator=(const ZipExtractor&) = delete;

  // Closes whatever is open, then opens the absolute form of the path.
  bool Open(const std::string& path);
  bool Close();
  // 0 when nothing is open or the count cannot be read.
  int GetEntryCount();
  bool GoToFirstEntry();
  // False at the end of the archive and on an error alike.
  bool GoToNextEntry();
  // False when nothing is open, the entry cannot be read, its UTF-8 name has
  // no form in the system's text, or its name would not fit in 260 bytes (it
  // is never cut short).
  bool GetEntryInfo(ZipEntryInfo* info);
  // Writes the current entry below `folder`. Refuses a name that would leave
  // the folder (IsSafeEntryName) and any existing link below the folder on the
  // way to the entry's destination that leads out of the folder.
  bool ExtractEntry(const std::string& folder);
  // Writes the current entry's data to exactly this file (never a directory);
  // an existing link there is refused.
  bool ExtractEntryTo(const std::string& path);

 private:
  // The old file stays until the whole entry is written and its size and
  // CRC-32 agree; then one rename replaces it.
  bool WriteCurrentEntry(const std::string& path, const ZipEntryInfo& info);

  void* m_hArchive = nullptr;  // minizip's unzFile; null while nothing is open
};

// True when the path is (now) a directory. An empty path is true; a relative
// path whose first level is missing is false (that level is not made);
// trailing separators are ignored.
bool EnsureDirectory(const std::string& path);
// EnsureDirectory of the part before the last separator; false without one.
bool EnsureParentDirectory(const std::string& path);
// The DOS date-time, taken as local time, becomes the file's modification
// (and creation) time; its access time stays.
bool SetFileTimesFromDos(const std::string& path, uint32_t dosDateTime);
// An entry name (separators already converted) that stays inside the folder it
// is extracted to: not absolute, no drive, no ".." segment.
bool IsSafeEntryName(const std::string& name);
