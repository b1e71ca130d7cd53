#include "platform/separators.h"

#include <algorithm>

#include "platform/env.h"

namespace platform {
namespace {

// Calls visit(i, n) for every character, at i and n bytes long, in order,
// until it returns false. A lead byte as the last byte stands alone.
template <typename Visit>
void ForEachCharacter(const std::string& text, size_t from, Visit visit) {
  const Text& codePage = Env::Get().text();
  for (size_t i = from; i < text.size();) {
    size_t n =
        codePage.IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
    if (!visit(i, n)) return;
    i += n;
  }
}

}  // namespace

bool IsSeparatorAt(const std::string& path, size_t pos, char sep) {
  if (pos >= path.size() || path[pos] != sep) return false;
  bool starts = false;
  ForEachCharacter(path, 0, [&](size_t i, size_t) {
    starts = i == pos;
    return i < pos;
  });
  return starts;
}

size_t NextSeparator(const std::string& path, size_t from, char sep) {
  size_t found = std::string::npos;
  ForEachCharacter(path, from, [&](size_t i, size_t) {
    if (path[i] == sep) found = i;
    return found == std::string::npos;
  });
  return found;
}

std::vector<size_t> AllSeparators(const std::string& path, char sep) {
  std::vector<size_t> found;
  ForEachCharacter(path, 0, [&](size_t i, size_t) {
    if (path[i] == sep) found.push_back(i);
    return true;
  });
  return found;
}

size_t LastSeparator(const std::string& path, char sep) {
  size_t found = std::string::npos;
  ForEachCharacter(path, 0, [&](size_t i, size_t) {
    if (path[i] == sep) found = i;
    return true;
  });
  return found;
}

bool EndsWithSeparator(const std::string& path, char sep) {
  return !path.empty() && LastSeparator(path, sep) == path.size() - 1;
}

std::string CollapseDoubledSeparators(const std::string& text, char sep) {
  std::string out;
  out.reserve(text.size());
  size_t skip = std::string::npos;
  size_t copied = 0;
  ForEachCharacter(text, 0, [&](size_t i, size_t) {
    if (i == skip) return true;
    if (text[i] == sep && i + 1 < text.size() && text[i + 1] == sep) {
      out.append(text, copied, i + 1 - copied);
      copied = i + 2;
      skip = i + 1;
    }
    return true;
  });
  out.append(text, copied, std::string::npos);
  return out;
}

std::string TrimTrailingSeparators(const std::string& path, char sep) {
  size_t end = 0;  // just past the last character that is no separator
  ForEachCharacter(path, 0, [&](size_t i, size_t n) {
    if (n == 2 || path[i] != sep) end = i + n;
    return true;
  });
  if (end == 0) return path.substr(0, 1);
  return path.substr(0, end);
}

std::string ToPlatformSeparators(const std::string& path) {
  std::string out = path;
  ForEachCharacter(out, 0, [&](size_t i, size_t) {
    if (out[i] == '/' || out[i] == '\\') out[i] = kPathSep;
    return true;
  });
  return out;
}

bool IsClimbingSegment(const std::string& segment) {
  return segment.find_first_not_of(". ") == std::string::npos &&
         std::count(segment.begin(), segment.end(), '.') >= 2;
}

}  // namespace platform
