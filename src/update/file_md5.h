// MD5 of a file as RFC 1321 defines it, written as 32 lower-case hex digits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class Md5 {
 public:
  Md5();
  void Update(const void* data, size_t size);
  // RFC 1321 padding and length; the object is spent afterwards.
  void Final(unsigned char digest[16]);
  // Final, as 32 lower-case hex digits.
  std::string FinalHex();

 private:
  uint32_t m_state[4];
  uint64_t m_nBytes = 0;  // message length so far
  unsigned char m_buffer[64];
};

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
