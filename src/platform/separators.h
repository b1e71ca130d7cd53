// The separator rules of narrow paths in the system code page, asked by every
// path operation of the core and of both back-ends. A byte equal to the
// separator is one only where a character starts: a GBK trail byte may equal
// the backslash.
#pragma once

#include <string>
#include <vector>

#include "platform/path_sep.h"

namespace platform {

// True when path[pos] is `sep` and starts a character.
bool IsSeparatorAt(const std::string& path, size_t pos, char sep = kPathSep);
// The first separator at or after `from` (a character boundary); npos when none.
size_t NextSeparator(const std::string& path, size_t from = 0, char sep = kPathSep);
// Every separator, in order, found in one scan.
std::vector<size_t> AllSeparators(const std::string& path, char sep = kPathSep);
// The last separator; npos when none.
size_t LastSeparator(const std::string& path, char sep = kPathSep);
bool EndsWithSeparator(const std::string& path, char sep = kPathSep);
// Every pair of separators becomes one, in one left-to-right pass without
// overlap: four become two, three become two.
std::string CollapseDoubledSeparators(const std::string& text, char sep = kPathSep);
// The path without its trailing separators; a lone separator (the root) stays.
std::string TrimTrailingSeparators(const std::string& path, char sep = kPathSep);
// Every "/" and every "\" that starts a character becomes kPathSep.
std::string ToPlatformSeparators(const std::string& path);

// How a name stored in an archive is split when it is checked: every 0x2F and
// 0x5C byte, whatever the code page says (such names need not be valid text).
inline bool IsStoredNameSeparator(char c) { return c == '/' || c == '\\'; }
// True for "..", and for any segment of dots and blanks alone with two dots or
// more: Windows drops trailing dots and blanks, so "..." or ". ." climb too.
bool IsClimbingSegment(const std::string& segment);

}  // namespace platform
