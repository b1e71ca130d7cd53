// MD5 of a file, written as 32 lower-case hex digits.
#pragma once

#include <cstddef>
#include <string>

// The digest of the file's bytes, read in blocks of 102,400 bytes; no text when
// the file cannot be opened or a read fails before its end (the caller then
// sees a mismatch).
std::string FileMd5Hex(const std::string& path);

// True when a digest from FileMd5Hex equals the manifest's md5 ignoring case;
// no digest (the file could not be read) never matches.
bool Md5Matches(const std::string& digest, const std::string& md5);

// True when the text is `digits` hexadecimal digits, in either case: a digest
// text of the manifest that some file can match.
bool IsHexDigest(const std::string& text, size_t digits);
