// For Windows: the user the process runs as, and the rule of what only that
// user, the administrators and the system may write.
#pragma once

#include <string>

#include "platform/win32/windows_api.h"

namespace platform {
namespace win32 {

// The process user's SID as text ("S-1-5-21-..."); empty when it cannot be read.
std::string CurrentUserSidText();
// A security descriptor whose DACL, not inherited, grants full control to the
// process user, the administrators and the system alone, and passes it on to
// what is made inside. Freed with LocalFree; null when it cannot be made.
PSECURITY_DESCRIPTOR NewOwnFolderDescriptor();
// True when the object is owned by the process user, the administrators or
// the system, and its DACL lets nobody else write, delete or change it.
bool OnlyOwnersMayWrite(HANDLE object);
// The same rule over an owner and a DACL (null: no DACL, everyone may).
bool OnlyOwnersMayWrite(PSID owner, PACL dacl);

}  // namespace win32
}  // namespace platform
