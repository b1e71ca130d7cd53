#include "actions/journal_format.h"

#include <cstdio>

#include "platform/replacement_temp.h"

namespace {

constexpr size_t kReadBlock = 64 * 1024;
constexpr size_t kMaxDigits = 18;
constexpr char kRecordEnd[] = ".\n";

std::string Number(uint64_t n) { return std::to_string(n); }

std::string Checksum(const std::string& text) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(platform::Fnv1a(text)));
  return hex;
}

}  // namespace

bool IsAsideNumber(const std::string& text) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::string EncodeRecord(char kind, const std::vector<std::string>& fields) {
  std::string text(1, kind);
  text += Number(fields.size()) + "\n";
  for (const std::string& field : fields) text += Number(field.size()) + "\n" + field + "\n";
  return text + Checksum(text) + "\n" + kRecordEnd;
}

RecordReader::Byte RecordReader::Get(char* c) {
  if (m_nPos == m_nHeld) {
    if (m_buffer.empty()) m_buffer.resize(kReadBlock);
    size_t got = 0;
    if (!m_pFile->Read(m_buffer.data(), m_buffer.size(), &got)) return Byte::kError;
    if (got == 0) return Byte::kEnd;
    m_nPos = 0;
    m_nHeld = got;
  }
  if (++m_nConsumed > kMaxJournalBytes) return Byte::kError;
  *c = m_buffer[m_nPos++];
  m_szRecord += *c;
  return Byte::kGot;
}

// A byte that breaks the form: the end of the journal only when it and all
// that follows are zeros.
RecordReader::Result RecordReader::Violation(char c) {
  if (c != '\0') return Result::kBad;
  for (;;) {
    char next = 0;
    Byte b = Get(&next);
    m_szRecord.clear();
    if (b == Byte::kEnd) return Result::kEnd;
    if (b == Byte::kError || next != '\0') return Result::kBad;
  }
}

bool RecordReader::ReadNumber(size_t* value, Result* failure) {
  *value = 0;
  for (size_t digits = 0;; ++digits) {
    char c = 0;
    Byte b = Get(&c);
    if (b != Byte::kGot) {
      *failure = b == Byte::kEnd ? Result::kEnd : Result::kBad;
      return false;
    }
    if (c == '\n' && digits > 0) return true;
    if (c < '0' || c > '9' || digits == kMaxDigits) {
      *failure = Violation(c);
      return false;
    }
    *value = *value * 10 + static_cast<size_t>(c - '0');
  }
}

RecordReader::Result RecordReader::Next(char* kind, std::vector<std::string>* fields) {
  m_szRecord.clear();
  fields->clear();
  Byte b = Get(kind);
  if (b != Byte::kGot) return b == Byte::kEnd ? Result::kEnd : Result::kBad;
  if (*kind < 'a' || *kind > 'z') return Violation(*kind);
  Result failure = Result::kBad;
  size_t count = 0;
  if (!ReadNumber(&count, &failure)) return failure;
  for (size_t i = 0; i < count; ++i) {
    size_t length = 0;
    if (!ReadNumber(&length, &failure)) return failure;
    if (length > kMaxJournalBytes - m_nConsumed) return Result::kBad;
    std::string field;
    for (size_t k = 0; k <= length; ++k) {
      char c = 0;
      b = Get(&c);
      if (b != Byte::kGot) return b == Byte::kEnd ? Result::kEnd : Result::kBad;
      if (k < length) {
        field += c;
      } else if (c != '\n') {
        return Violation(c);
      }
    }
    fields->push_back(std::move(field));
  }
  std::string expected = Checksum(m_szRecord) + "\n" + kRecordEnd;
  for (char want : expected) {
    char c = 0;
    b = Get(&c);
    if (b != Byte::kGot) return b == Byte::kEnd ? Result::kEnd : Result::kBad;
    if (c != want) return Violation(c);
  }
  return Result::kRecord;
}

std::string EncodeIdentity(platform::Fs& fs, const std::string& path) {
  platform::FileIdentity id;
  platform::Error err = fs.GetIdentity(path, &id);
  if (err == platform::kErrorFileNotFound || err == platform::kErrorPathNotFound) return "-";
  if (err != platform::kErrorSuccess) return std::string();
  const char* kind = (id.attributes & platform::kAttrReparsePoint) ? "l"
                     : (id.attributes & platform::kAttrDirectory)  ? "d"
                                                                   : "f";
  return std::string(kind) + " " + Number(id.id.volume) + " " + Number(id.id.index) + " " +
         Number(id.size) + " " + Number(id.lastWrite);
}

namespace {

// The identity's words from the `first`, counted from 0: kind, volume, index,
// size, last write.
std::string WordsFrom(const std::string& identity, int first) {
  size_t pos = 0;
  for (int i = 0; i < first && pos != std::string::npos; ++i) {
    pos = identity.find(' ', pos);
    if (pos != std::string::npos) ++pos;
  }
  return pos == std::string::npos ? std::string() : identity.substr(pos);
}

}  // namespace

bool SameIdentity(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  if (a[0] != 'd' || b[0] != 'd') return a == b;
  // A folder: kind, volume and index.
  std::string tailA = WordsFrom(a, 3), tailB = WordsFrom(b, 3);
  return a.compare(0, a.size() - tailA.size(), b, 0, b.size() - tailB.size()) == 0;
}

bool SameSizeAndTime(const std::string& a, const std::string& b) {
  return a.size() > 1 && a[0] == 'f' && b[0] == 'f' && WordsFrom(a, 3) == WordsFrom(b, 3);
}
