// Multibyte-aware scans of narrow text in the system code page. A GBK trail
// byte may equal the separator or an ASCII letter. The character-boundary scan
// itself is the one of platform/separators.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Position of the last `c` that is not the trail byte of a double-byte
// character; std::string::npos when there is none.
size_t MbsFindLast(const std::string& text, char c);

// Position of the first `c` at or after `start` (a character boundary) that is
// not the trail byte of a double-byte character; std::string::npos when none.
size_t MbsFind(const std::string& text, char c, size_t start = 0);

// Equal ignoring ASCII letter case; double-byte characters compare exactly.
bool MbsEqualNoCase(const std::string& a, const std::string& b);

// ASCII letters lower-cased; double-byte characters unchanged.
std::string MbsLower(const std::string& text);

// Removes the characters of `set` from both ends.
std::string TrimChars(const std::string& text, const char* set);

// Every occurrence of `from` replaced by `to`, left to right, the replacement
// not scanned again. Returns the number of replacements.
int ReplaceAll(std::string* text, const std::string& from, const std::string& to);

// The lines of a text without their line ends (LF or CR LF); a final line end
// starts no empty line.
std::vector<std::string> SplitLines(const std::string& text);

// A decimal number of at most 20 digits that fits 64 bits, and nothing else
// (no sign, no blank).
bool ParseDecimal64(const std::string& text, uint64_t* value);
