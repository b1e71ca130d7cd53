// The Windows error numbers the system's algorithms depend on. Every back-end
// answers with these same numbers, so the code above the seam is written once.
#pragma once

#include <cstdint>

namespace platform {

using Error = uint32_t;

constexpr Error kErrorSuccess = 0;
constexpr Error kErrorFileNotFound = 2;
constexpr Error kErrorPathNotFound = 3;
constexpr Error kErrorAccessDenied = 5;
constexpr Error kErrorNotEnoughMemory = 8;
constexpr Error kErrorNoMoreFiles = 18;
constexpr Error kErrorGenFailure = 31;
// Another program holds the file open (POSIX: EBUSY, ETXTBSY).
constexpr Error kErrorSharingViolation = 32;
constexpr Error kErrorLockViolation = 33;
constexpr Error kErrorHandleDiskFull = 39;
constexpr Error kErrorFileExists = 80;
constexpr Error kErrorInvalidParameter = 87;
constexpr Error kErrorDiskFull = 112;
constexpr Error kErrorDirNotEmpty = 145;
constexpr Error kErrorAlreadyExists = 183;
constexpr Error kErrorNoMoreItems = 259;
constexpr Error kErrorBadDatabase = 1009;
// A name with characters the system code page cannot hold.
constexpr Error kErrorNoUnicodeTranslation = 1113;

}  // namespace platform
