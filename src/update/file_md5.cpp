#include "update/file_md5.h"

#include "env/mbstring.h"
#include "update/file_blocks.h"

std::string FileMd5Hex(const std::string& path) {
  return FileDigestHex(path, platform::DigestKind::kMd5);
}

bool Md5Matches(const std::string& digest, const std::string& md5) {
  return !digest.empty() && MbsEqualNoCase(digest, md5);
}
