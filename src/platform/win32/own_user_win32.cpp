// Windows back-end: the process user's SID and the DACL rule of a folder only
// that user, the administrators and the system may write.
#include "platform/win32/own_user_win32.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

namespace platform {
namespace win32 {
namespace {

// Rights that let a holder change what is in a folder or file.
constexpr DWORD kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                               FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC |
                               WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// The token's user, copied out.
bool CurrentUserSid(std::vector<BYTE>* sid) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD size = 0;
  ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  bool ok = size > 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
  ::CloseHandle(token);
  if (!ok) return false;
  PSID user = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  sid->assign(static_cast<BYTE*>(user), static_cast<BYTE*>(user) + ::GetLengthSid(user));
  return true;
}

bool IsTrusted(PSID sid, PSID user) {
  return (user && ::EqualSid(sid, user)) || ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
         ::IsWellKnownSid(sid, WinLocalSystemSid);
}

}  // namespace

std::string CurrentUserSidText() {
  std::vector<BYTE> sid;
  char* text = nullptr;
  if (!CurrentUserSid(&sid) || !::ConvertSidToStringSidA(sid.data(), &text)) return std::string();
  std::string result = text;
  ::LocalFree(text);
  return result;
}

PSECURITY_DESCRIPTOR NewOwnFolderDescriptor() {
  std::string user = CurrentUserSidText();
  if (user.empty()) return nullptr;
  // P: protected, nothing inherited from the parent; OICI: passed on to files
  // and folders inside; FA: full control.
  std::string sddl = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + user + ")";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
    return nullptr;
  }
  return descriptor;
}

bool OnlyOwnersMayWrite(PSID owner, PACL dacl) {
  std::vector<BYTE> user;
  PSID self = CurrentUserSid(&user) ? user.data() : nullptr;
  if (!owner || !IsTrusted(owner, self) || !dacl) return false;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!::GetAce(dacl, i, reinterpret_cast<void**>(&header))) return false;
    // Rights only handed on to what is made inside do not apply here.
    if ((header->AceFlags & INHERIT_ONLY_ACE) || header->AceType == ACCESS_DENIED_ACE_TYPE) {
      continue;
    }
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
    auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    if ((ace->Mask & kWriteRights) && !IsTrusted(reinterpret_cast<PSID>(&ace->SidStart), self)) {
      return false;
    }
  }
  return true;
}

bool OnlyOwnersMayWrite(HANDLE object) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(object, SE_FILE_OBJECT,
                        OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr,
                        &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  bool ok = OnlyOwnersMayWrite(owner, dacl);
  ::LocalFree(descriptor);
  return ok;
}

}  // namespace win32
}  // namespace platform
