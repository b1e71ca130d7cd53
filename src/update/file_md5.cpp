#include "update/file_md5.h"

#include "env/mbstring.h"
#include "update/file_blocks.h"

std::string FileMd5Hex(const std::string& path) {
  return FileDigestHex(path, platform::DigestKind::kMd5);
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
