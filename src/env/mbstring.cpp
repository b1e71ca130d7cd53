#include "env/mbstring.h"

#include <cstring>

#include "platform/env.h"
#include "platform/separators.h"

namespace {

bool IsLead(unsigned char c) { return platform::Env::Get().text().IsLeadByte(c); }

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

// The separator scans of the platform layer are the one character-boundary
// scan; they take any ASCII byte.
size_t MbsFindLast(const std::string& text, char c) { return platform::LastSeparator(text, c); }

size_t MbsFind(const std::string& text, char c, size_t start) {
  return platform::NextSeparator(text, start, c);
}

bool MbsEqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (IsLead(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

std::string MbsLower(const std::string& text) {
  std::string out = text;
  for (size_t i = 0; i < out.size(); ++i) {
    if (IsLead(static_cast<unsigned char>(out[i])) && i + 1 < out.size()) {
      ++i;
      continue;
    }
    out[i] = LowerAscii(out[i]);
  }
  return out;
}

std::string TrimChars(const std::string& text, const char* set) {
  size_t begin = text.find_first_not_of(set);
  if (begin == std::string::npos) return std::string();
  size_t end = text.find_last_not_of(set);
  return text.substr(begin, end - begin + 1);
}

int ReplaceAll(std::string* text, const std::string& from, const std::string& to) {
  if (from.empty()) return 0;
  size_t pos = text->find(from);
  if (pos == std::string::npos) return 0;
  // The result is built in one pass: replacing in place would move the rest
  // of the text once per occurrence.
  std::string out;
  out.reserve(text->size());
  int count = 0;
  size_t done = 0;
  for (; pos != std::string::npos; pos = text->find(from, done)) {
    out.append(*text, done, pos - done);
    out += to;
    done = pos + from.size();
    ++count;
  }
  out.append(*text, done, std::string::npos);
  text->swap(out);
  return count;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

bool ParseDecimal64(const std::string& text, uint64_t* value) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    unsigned digit = static_cast<unsigned>(c - '0');
    if (v > (UINT64_MAX - digit) / 10) return false;
    v = v * 10 + digit;
  }
  *value = v;
  return true;
}
