#include "update/file_sha256.h"

#include "update/file_blocks.h"

std::string FileSha256Hex(const std::string& path) {
  return FileDigestHex(path, platform::DigestKind::kSha256);
}
