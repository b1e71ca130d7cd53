// POSIX back-end: errno to Windows error numbers.
#include "platform/posix/errno_map.h"

#include <cerrno>

namespace platform {
namespace posix {

Error ErrorFromErrno(int err) {
  switch (err) {
    case 0:
      return kErrorSuccess;
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return kErrorAccessDenied;
    case ETXTBSY:
    case EBUSY:
      return kErrorSharingViolation;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case ENOTEMPTY:
      return kErrorDirNotEmpty;
    case EEXIST:
      return kErrorAlreadyExists;
    case ENOSPC:
    case EDQUOT:
      return kErrorDiskFull;
    case EINVAL:
      return kErrorInvalidParameter;
    default:
      return kErrorGenFailure;
  }
}

}  // namespace posix
}  // namespace platform
