#include "update/file_blocks.h"

#include <memory>
#include <vector>

#include "platform/env.h"

namespace {

constexpr size_t kReadBlock = 102400;

}  // namespace

bool ReadFileBlocks(const std::string& path,
                    const std::function<void(const unsigned char*, size_t)>& add) {
  std::unique_ptr<platform::ReadableFile> file;
  if (platform::Env::Get().fs().OpenForRead(path, &file) != platform::kErrorSuccess) return false;
  std::vector<unsigned char> block(kReadBlock);
  for (;;) {
    size_t got = 0;
    if (!file->Read(block.data(), block.size(), &got)) return false;
    if (got == 0) return true;
    add(block.data(), got);
  }
}

std::string FileDigestHex(const std::string& path, platform::DigestKind kind) {
  std::unique_ptr<platform::Digest> digest = platform::NewDigest(kind);
  if (!digest || !ReadFileBlocks(path, [&digest](const unsigned char* data, size_t size) {
        digest->Update(data, size);
      })) {
    return std::string();
  }
  return digest->FinalHex();
}
