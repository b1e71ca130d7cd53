#include "update/file_md5.h"

#include <algorithm>
#include <cstring>

#include "env/mbstring.h"
#include "update/file_blocks.h"

namespace {

inline uint32_t Rotl(uint32_t x, int s) { return (x << s) | (x >> (32 - s)); }

// Little-endian whatever the host; compilers turn this into one load.
inline uint32_t Load32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The four round functions, written so that the message word and the constant
// are added while the previous step's result is still being computed. G is
// split into two additions: its two halves never share a set bit.
#define MD5_F(a, b, c, d, k, s, t) \
  a += Load32(p + 4 * (k)) + (t);  \
  a += d ^ (b & (c ^ d));          \
  a = Rotl(a, s) + b
#define MD5_G(a, b, c, d, k, s, t) \
  a += Load32(p + 4 * (k)) + (t);  \
  a += ~d & c;                     \
  a += d & b;                      \
  a = Rotl(a, s) + b
#define MD5_H(a, b, c, d, k, s, t) \
  a += Load32(p + 4 * (k)) + (t);  \
  a += b ^ c ^ d;                  \
  a = Rotl(a, s) + b
#define MD5_I(a, b, c, d, k, s, t) \
  a += Load32(p + 4 * (k)) + (t);  \
  a += c ^ (b | ~d);               \
  a = Rotl(a, s) + b

// Runs the compression function over `blocks` 64-byte blocks, keeping the
// state in locals for the whole span.
void Md5Blocks(uint32_t state[4], const unsigned char* p, size_t blocks) {
  uint32_t a = state[0];
  uint32_t b = state[1];
  uint32_t c = state[2];
  uint32_t d = state[3];
  for (; blocks > 0; --blocks, p += 64) {
    const uint32_t aa = a, bb = b, cc = c, dd = d;

    MD5_F(a, b, c, d, 0, 7, 0xd76aa478);
    MD5_F(d, a, b, c, 1, 12, 0xe8c7b756);
    MD5_F(c, d, a, b, 2, 17, 0x242070db);
    MD5_F(b, c, d, a, 3, 22, 0xc1bdceee);
    MD5_F(a, b, c, d, 4, 7, 0xf57c0faf);
    MD5_F(d, a, b, c, 5, 12, 0x4787c62a);
    MD5_F(c, d, a, b, 6, 17, 0xa8304613);
    MD5_F(b, c, d, a, 7, 22, 0xfd469501);
    MD5_F(a, b, c, d, 8, 7, 0x698098d8);
    MD5_F(d, a, b, c, 9, 12, 0x8b44f7af);
    MD5_F(c, d, a, b, 10, 17, 0xffff5bb1);
    MD5_F(b, c, d, a, 11, 22, 0x895cd7be);
    MD5_F(a, b, c, d, 12, 7, 0x6b901122);
    MD5_F(d, a, b, c, 13, 12, 0xfd987193);
    MD5_F(c, d, a, b, 14, 17, 0xa679438e);
    MD5_F(b, c, d, a, 15, 22, 0x49b40821);

    MD5_G(a, b, c, d, 1, 5, 0xf61e2562);
    MD5_G(d, a, b, c, 6, 9, 0xc040b340);
    MD5_G(c, d, a, b, 11, 14, 0x265e5a51);
    MD5_G(b, c, d, a, 0, 20, 0xe9b6c7aa);
    MD5_G(a, b, c, d, 5, 5, 0xd62f105d);
    MD5_G(d, a, b, c, 10, 9, 0x02441453);
    MD5_G(c, d, a, b, 15, 14, 0xd8a1e681);
    MD5_G(b, c, d, a, 4, 20, 0xe7d3fbc8);
    MD5_G(a, b, c, d, 9, 5, 0x21e1cde6);
    MD5_G(d, a, b, c, 14, 9, 0xc33707d6);
    MD5_G(c, d, a, b, 3, 14, 0xf4d50d87);
    MD5_G(b, c, d, a, 8, 20, 0x455a14ed);
    MD5_G(a, b, c, d, 13, 5, 0xa9e3e905);
    MD5_G(d, a, b, c, 2, 9, 0xfcefa3f8);
    MD5_G(c, d, a, b, 7, 14, 0x676f02d9);
    MD5_G(b, c, d, a, 12, 20, 0x8d2a4c8a);

    MD5_H(a, b, c, d, 5, 4, 0xfffa3942);
    MD5_H(d, a, b, c, 8, 11, 0x8771f681);
    MD5_H(c, d, a, b, 11, 16, 0x6d9d6122);
    MD5_H(b, c, d, a, 14, 23, 0xfde5380c);
    MD5_H(a, b, c, d, 1, 4, 0xa4beea44);
    MD5_H(d, a, b, c, 4, 11, 0x4bdecfa9);
    MD5_H(c, d, a, b, 7, 16, 0xf6bb4b60);
    MD5_H(b, c, d, a, 10, 23, 0xbebfbc70);
    MD5_H(a, b, c, d, 13, 4, 0x289b7ec6);
    MD5_H(d, a, b, c, 0, 11, 0xeaa127fa);
    MD5_H(c, d, a, b, 3, 16, 0xd4ef3085);
    MD5_H(b, c, d, a, 6, 23, 0x04881d05);
    MD5_H(a, b, c, d, 9, 4, 0xd9d4d039);
    MD5_H(d, a, b, c, 12, 11, 0xe6db99e5);
    MD5_H(c, d, a, b, 15, 16, 0x1fa27cf8);
    MD5_H(b, c, d, a, 2, 23, 0xc4ac5665);

    MD5_I(a, b, c, d, 0, 6, 0xf4292244);
    MD5_I(d, a, b, c, 7, 10, 0x432aff97);
    MD5_I(c, d, a, b, 14, 15, 0xab9423a7);
    MD5_I(b, c, d, a, 5, 21, 0xfc93a039);
    MD5_I(a, b, c, d, 12, 6, 0x655b59c3);
    MD5_I(d, a, b, c, 3, 10, 0x8f0ccc92);
    MD5_I(c, d, a, b, 10, 15, 0xffeff47d);
    MD5_I(b, c, d, a, 1, 21, 0x85845dd1);
    MD5_I(a, b, c, d, 8, 6, 0x6fa87e4f);
    MD5_I(d, a, b, c, 15, 10, 0xfe2ce6e0);
    MD5_I(c, d, a, b, 6, 15, 0xa3014314);
    MD5_I(b, c, d, a, 13, 21, 0x4e0811a1);
    MD5_I(a, b, c, d, 4, 6, 0xf7537e82);
    MD5_I(d, a, b, c, 11, 10, 0xbd3af235);
    MD5_I(c, d, a, b, 2, 15, 0x2ad7d2bb);
    MD5_I(b, c, d, a, 9, 21, 0xeb86d391);

    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

#undef MD5_F
#undef MD5_G
#undef MD5_H
#undef MD5_I

}  // namespace

Md5::Md5() : m_state{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476}, m_buffer{} {}

void Md5::Update(const void* data, size_t size) {
  const unsigned char* in = static_cast<const unsigned char*>(data);
  size_t used = static_cast<size_t>(m_nBytes % 64);
  m_nBytes += size;
  if (used > 0) {
    size_t take = std::min(size, 64 - used);
    memcpy(m_buffer + used, in, take);
    in += take;
    size -= take;
    if (used + take < 64) return;
    Md5Blocks(m_state, m_buffer, 1);
  }
  Md5Blocks(m_state, in, size / 64);
  in += size - size % 64;
  if (size % 64 > 0) memcpy(m_buffer, in, size % 64);
}

void Md5::Final(unsigned char digest[16]) {
  uint64_t bits = m_nBytes * 8;
  unsigned char padding[72] = {0x80};
  size_t used = static_cast<size_t>(m_nBytes % 64);
  // Pad to 56 bytes modulo 64, then the length in bits, least significant first.
  size_t padLength = used < 56 ? 56 - used : 120 - used;
  for (int i = 0; i < 8; ++i) padding[padLength + i] = static_cast<unsigned char>(bits >> (8 * i));
  Update(padding, padLength + 8);
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j)
      digest[4 * i + j] = static_cast<unsigned char>(m_state[i] >> (8 * j));
  }
}

std::string Md5::FinalHex() {
  static const char kHex[] = "0123456789abcdef";
  unsigned char digest[16];
  Final(digest);
  std::string text(32, '0');
  for (int i = 0; i < 16; ++i) {
    text[2 * i] = kHex[digest[i] >> 4];
    text[2 * i + 1] = kHex[digest[i] & 0x0f];
  }
  return text;
}

std::string FileMd5Hex(const std::string& path) {
  Md5 md5;
  if (!ReadFileBlocks(path,
                      [&md5](const unsigned char* data, size_t size) { md5.Update(data, size); })) {
    return std::string();
  }
  return md5.FinalHex();
}

bool Md5Matches(const std::string& digest, const std::string& md5) {
  return !digest.empty() && MbsEqualNoCase(digest, md5);
}

bool IsHexDigest(const std::string& text, size_t digits) {
  if (text.size() != digits) return false;
  for (char c : text) {
    bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!hex) return false;
  }
  return true;
}
