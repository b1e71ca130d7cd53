#include "env/mbstring.h"

#include <cstring>

#include "platform/env.h"

namespace {

bool IsLead(unsigned char c) { return platform::Env::Get().text().IsLeadByte(c); }

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

size_t MbsFindLast(const std::string& text, char c) {
  size_t found = std::string::npos;
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
      ++i;
      continue;
    }
    if (text[i] == c) found = i;
  }
  return found;
}

size_t MbsFind(const std::string& text, char c, size_t start) {
  for (size_t i = start; i < text.size(); ++i) {
    if (IsLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
      ++i;
      continue;
    }
    if (text[i] == c) return i;
  }
  return std::string::npos;
}

std::vector<size_t> MbsFindAll(const std::string& text, char c) {
  std::vector<size_t> found;
  for (size_t p = MbsFind(text, c); p != std::string::npos; p = MbsFind(text, c, p + 1)) {
    found.push_back(p);
  }
  return found;
}

std::string MbsReplaceChar(const std::string& text, char from, char to) {
  std::string out = text;
  for (size_t i = 0; i < out.size(); ++i) {
    if (IsLead(static_cast<unsigned char>(out[i])) && i + 1 < out.size()) {
      ++i;
      continue;
    }
    if (out[i] == from) out[i] = to;
  }
  return out;
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

std::string CollapsePairs(const std::string& text, char c) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    out += text[i];
    if (text[i] == c && i + 1 < text.size() && text[i + 1] == c) ++i;
  }
  return out;
}
