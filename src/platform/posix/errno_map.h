// POSIX back-end: errno values as the Windows error numbers of errors.h.
#pragma once

#include "platform/errors.h"

namespace platform {
namespace posix {

Error ErrorFromErrno(int err);

}  // namespace posix
}  // namespace platform
