// The platform's path separator. Manifest text escaping (doubled backslashes in
// "file", "cmd" and "where", the "hex:" continuations) is not a separator and
// stays a backslash everywhere.
#pragma once

namespace platform {

#ifdef _WIN32
constexpr char kPathSep = '\\';
#else
constexpr char kPathSep = '/';
#endif

}  // namespace platform
