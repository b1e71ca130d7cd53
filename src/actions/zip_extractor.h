// Reading a zip archive entry by entry and writing entries to disk. The archive
// handle is the only thing kept open between calls; everything is written
// through platform::Env's file system.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

class ReplacingFile;

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
  // The size of the entry's data once extracted, as the archive states it.
  uint64_t m_nSize = 0;
};

class ZipExtractor {
 public:
  ZipExtractor();
  virtual ~ZipExtractor();
  ZipExtractor(const ZipExtractor&) = delete;
  ZipExtractor& operator=(const ZipExtractor&) = delete;

  // Closes whatever is open, then opens the absolute form of the path.
  bool Open(const std::string& path);
  // Puts the entries written in place first (PlaceWritten), then flushes the
  // folders whose entries the extraction changed: the names of an archive's
  // files reach the disk together, before Close returns.
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
  // A file entry is written to a temporary beside its destination and takes
  // its name later, with the entries written after it, in their order: after
  // enough bytes or files, at PlaceWritten and at Close. Writing them all,
  // then flushing them all at once, costs far less than one flush after
  // another. A failure, the entry's own or that of one written before it,
  // puts the good ones before it in place and names itself in FailedEntry.
  //
  // Writes the current entry below `folder`. Refuses a name that would leave
  // the folder (IsSafeEntryName) and any existing link below the folder on the
  // way to the entry's destination that leads out of the folder.
  bool ExtractEntry(const std::string& folder);
  // Writes the current entry's data to exactly this file (never a directory);
  // an existing link there is refused.
  bool ExtractEntryTo(const std::string& path);
  // Flushes every entry written and not yet in place, then renames each over
  // its destination in the order they were written; stops at the first that
  // fails.
  bool PlaceWritten();
  // The entry of the last failure, counting the calls of ExtractEntry and
  // ExtractEntryTo since Open from 0.
  int FailedEntry() const { return m_nFailedEntry; }

 private:
  struct Written {
    std::unique_ptr<ReplacingFile> file;
    int entry = 0;
  };
  // The old file stays until the whole entry is written and its size and
  // CRC-32 agree; then one rename replaces it.
  bool WriteCurrentEntry(const std::string& path, const ZipEntryInfo& info);

  bool Fail();
  void FlushFolders();

  void* m_hArchive = nullptr;              // minizip's unzFile; null while nothing is open
  std::set<std::string> m_setUnflushed;    // folders with names not yet on the disk
  std::vector<Written> m_listWritten;      // written, not yet in place, in their order
  std::set<std::string> m_setWrittenKeys;  // SameFileKey of each of them
  uint64_t m_nWrittenBytes = 0;
  int m_nEntry = -1;  // the current call of ExtractEntry or ExtractEntryTo
  int m_nFailedEntry = -1;
  std::vector<char> m_buffer;
};

// True when the path is (now) a directory. An empty path is true; a relative
// path whose first level is missing is false (that level is not made);
// trailing separators are ignored. The folder a level is made in is flushed,
// or, with `unflushed`, added to it for the caller to flush.
bool EnsureDirectory(const std::string& path, std::set<std::string>* unflushed = nullptr);
// EnsureDirectory of the part before the last separator; false without one.
bool EnsureParentDirectory(const std::string& path, std::set<std::string>* unflushed = nullptr);
// The DOS date-time, taken as local time, becomes the file's modification
// (and creation) time; its access time stays.
bool SetFileTimesFromDos(const std::string& path, uint32_t dosDateTime);
// An entry name (separators already converted) that stays inside the folder it
// is extracted to: not absolute, no drive, no ".." segment.
bool IsSafeEntryName(const std::string& name);
// Where ExtractEntry writes an entry of that (converted) name below the folder.
std::string EntryDestination(const std::string& folder, const std::string& name);
