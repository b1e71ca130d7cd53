#include "platform/replacement_temp.h"

#include <cstdint>
#include <cstdio>

#include "platform/separators.h"

namespace platform {
namespace {

// The last separator the file system itself sees: Windows also separates at
// "/", which is never part of a double-byte character.
size_t LastFileSystemSeparator(const std::string& path) {
  size_t sep = LastSeparator(path);
  size_t slash = LastSeparator(path, '/');
  if (sep == std::string::npos || (slash != std::string::npos && slash > sep)) sep = slash;
  return sep;
}

}  // namespace

uint32_t Fnv1a(const std::string& text) {
  uint32_t hash = 2166136261u;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 16777619u;
  }
  return hash;
}

std::string FolderOfPath(const std::string& path) {
  size_t sep = LastFileSystemSeparator(path);
  if (sep == std::string::npos) return ".";
  // The root: "/" or, on Windows, "C:\".
  bool root = sep == 0 || (sep == 2 && path[1] == ':');
  return path.substr(0, root ? sep + 1 : sep);
}

namespace {

std::string BesidePath(const std::string& path, const char* suffix) {
  size_t sep = LastFileSystemSeparator(path);
  size_t nameStart = sep == std::string::npos ? 0 : sep + 1;
  char name[32];
  std::snprintf(name, sizeof name, ".~vu%08x.%s",
                static_cast<unsigned>(Fnv1a(path.substr(nameStart))), suffix);
  return path.substr(0, nameStart) + name;
}

}  // namespace

std::string ReplacementTempPath(const std::string& path) { return BesidePath(path, "tmp"); }

std::string ReplacedAsidePath(const std::string& path) { return BesidePath(path, "old"); }

}  // namespace platform
