// SHA-256 of a file, written as 64 lower-case hex digits.
#pragma once

#include <string>

// The digest of the file's bytes; no text when the file cannot be opened or a
// read fails before its end (the caller then sees a mismatch).
std::string FileSha256Hex(const std::string& path);
