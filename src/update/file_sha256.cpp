#include "update/file_sha256.h"

#include <sodium.h>

#include "update/file_blocks.h"

std::string FileSha256Hex(const std::string& path) {
  if (sodium_init() < 0) return std::string();
  crypto_hash_sha256_state state;
  crypto_hash_sha256_init(&state);
  if (!ReadFileBlocks(path, [&state](const unsigned char* data, size_t size) {
        crypto_hash_sha256_update(&state, data, size);
      })) {
    return std::string();
  }
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256_final(&state, digest);
  char hex[crypto_hash_sha256_BYTES * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
  return hex;
}
