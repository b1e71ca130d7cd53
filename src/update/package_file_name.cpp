#include "update/package_file_name.h"

#include "env/config.h"
#include "platform/separators.h"

std::string PackageFileName(const std::string& url) {
  std::string name = UrlFileName(url);
  // Refused on every platform alike, so a manifest saves the same files on each.
  if (platform::NextSeparator(name, 0, '\\') != std::string::npos ||
      name.find('/') != std::string::npos || platform::IsClimbingSegment(name)) {
    return std::string();
  }
  return name;
}
