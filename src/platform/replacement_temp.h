// The temporary that stands beside a file while a new one is written to take
// its place: one name per destination, so the next write of the same file
// clears what a killed process left.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

std::string ReplacementTempPath(const std::string& path);
// The second name a replaced file may keep beside the new one until it is
// deleted; like the temporary, one per destination.
std::string ReplacedAsidePath(const std::string& path);
// FNV-1a: a short, stable hash of a text (also the temporary's name).
uint32_t Fnv1a(const std::string& text);
// The folder the file system sees the path in: "/" for a name at the root,
// "." for a bare name.
std::string FolderOfPath(const std::string& path);

}  // namespace platform
