// How the journal's records are stored: each record its kind, its field
// count, each field as its length and bytes, a checksum and an end mark, so
// that fields may hold any byte and damage anywhere is seen. Identities of
// files are stored as one field.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/fs.h"

// A journal is never read or written past this many bytes.
constexpr uint64_t kMaxJournalBytes = 32u << 20;

// The entries of the rollback folder: the journal, the journal being
// rewritten, asides ("<number>", "<number>.part" while a copy to another
// volume is made) and what an undo kept ("kept-<number>").
inline constexpr char kJournalFile[] = "journal";
inline constexpr char kJournalNew[] = "journal.new";
inline constexpr char kJournalFormat[] = "velmar-journal-1";
inline constexpr char kPartSuffix[] = ".part";
inline constexpr char kKeptPrefix[] = "kept-";
// A number an aside may be named by.
bool IsAsideNumber(const std::string& text);

std::string EncodeRecord(char kind, const std::vector<std::string>& fields);

// Reads records one after another from a stream of at most kMaxJournalBytes.
class RecordReader {
 public:
  enum class Result { kRecord, kEnd, kBad };
  explicit RecordReader(platform::ReadableFile* file) : m_pFile(file) {}
  // kEnd at the end of the journal: where nothing follows, or where only a
  // record cut short by a crash does (a prefix of one, whatever follows it
  // zeros, as a power cut can leave an unflushed end). Bad bytes before the
  // end, a damaged record or a journal past the limit are kBad.
  Result Next(char* kind, std::vector<std::string>* fields);

 private:
  enum class Byte { kGot, kEnd, kError };
  Byte Get(char* c);
  bool ReadNumber(size_t* value, Result* failure);
  Result Violation(char c);

  platform::ReadableFile* m_pFile;
  std::vector<char> m_buffer;
  size_t m_nPos = 0;
  size_t m_nHeld = 0;
  uint64_t m_nConsumed = 0;
  std::string m_szRecord;  // the bytes of the record being read
};

// "-" for nothing at the path; otherwise the kind (f file, d folder, l link),
// file id, size and last write. Empty when it cannot be read.
std::string EncodeIdentity(platform::Fs& fs, const std::string& path);
// Two identities of what may be the same thing: a folder is its file id alone
// (its size and time move with its entries).
bool SameIdentity(const std::string& a, const std::string& b);
// Two files of the same size and last write (a copy of the other, as a copy
// keeps the time).
bool SameSizeAndTime(const std::string& a, const std::string& b);
