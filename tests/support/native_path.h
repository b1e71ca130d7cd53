// Test paths written with "/" and read with the platform's separator, so one
// table of cases serves both back-ends.
#pragma once

#include <algorithm>
#include <string>

#include "platform/path_sep.h"

inline std::string NativePath(std::string path) {
  std::replace(path.begin(), path.end(), '/', platform::kPathSep);
  return path;
}
