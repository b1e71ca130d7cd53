// Message digests of package files, computed by the system's cryptographic
// library with the processor's instructions where it has them: OpenSSL's
// libcrypto on POSIX, CNG (bcrypt) on Windows.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace platform {

enum class DigestKind { kMd5, kSha256 };

class Digest {
 public:
  virtual ~Digest() = default;
  virtual void Update(const void* data, size_t size) = 0;
  // The digest as lower-case hex digits; no text when the library failed at
  // any step. The object is spent afterwards.
  virtual std::string FinalHex() = 0;
};

// Null when the library cannot give this digest.
std::unique_ptr<Digest> NewDigest(DigestKind kind);

// Lower-case hex digits of the bytes.
std::string HexOf(const unsigned char* bytes, size_t size);

}  // namespace platform
