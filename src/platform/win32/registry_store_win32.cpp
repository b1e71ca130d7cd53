// Windows back-end of RegistryStore: the ANSI Reg* functions of advapi32 on the
// machine's own registry. Their results are already the numbers of errors.h.
#include <vector>

#include "platform/env.h"
#include "platform/win32/own_user_win32.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

// The registry counts name lengths in characters; an ANSI name takes up to
// two bytes a character in a double-byte code page (four covers any).
constexpr DWORD kMaxBytesPerChar = 4;
// A key name has at most 255 characters.
constexpr DWORD kMaxKeyNameChars = 255;

// The predefined handles are the sign-extended 32-bit values.
HKEY RootHandle(RootKey root) {
  return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
}

bool IsPredefinedRoot(RootKey root) {
  return root == kHkeyClassesRoot || root == kHkeyCurrentUser || root == kHkeyLocalMachine ||
         root == kHkeyUsers || root == kHkeyCurrentConfig;
}

// The sub key path without empty parts. A GBK trail byte may equal the
// backslash, so the scan steps over double-byte characters whole.
std::string NormalPath(const std::string& path) {
  std::string result;
  std::string part;
  for (size_t i = 0; i < path.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (::IsDBCSLeadByte(c) && i + 1 < path.size()) {
      part += path[i];
      part += path[++i];
      continue;
    }
    if (c == '\\') {
      if (!part.empty()) result += (result.empty() ? "" : "\\") + part;
      part.clear();
      continue;
    }
    part += path[i];
  }
  if (!part.empty()) result += (result.empty() ? "" : "\\") + part;
  return result;
}

class Win32RegistryHandle : public RegistryHandle {
 public:
  explicit Win32RegistryHandle(HKEY h) : m_hKey(h) {}
  ~Win32RegistryHandle() override { ::RegCloseKey(m_hKey); }
  HKEY get() const { return m_hKey; }

 private:
  HKEY m_hKey;
};

HKEY KeyOf(RegistryHandle* key) {
  auto* k = dynamic_cast<Win32RegistryHandle*>(key);
  return k ? k->get() : nullptr;
}

class Win32RegistryStore : public RegistryStore {
 public:
  Error OpenKey(RootKey root, const std::string& subKey, uint32_t access,
                std::unique_ptr<RegistryHandle>* key) override {
    if (!IsPredefinedRoot(root)) return kErrorInvalidHandle;
    HKEY h = nullptr;
    LONG rc = ::RegOpenKeyExA(RootHandle(root), NormalPath(subKey).c_str(), 0, access, &h);
    if (rc != ERROR_SUCCESS) return static_cast<Error>(rc);
    key->reset(new Win32RegistryHandle(h));
    return kErrorSuccess;
  }

  Error CreateKey(RootKey root, const std::string& subKey, uint32_t access,
                  std::unique_ptr<RegistryHandle>* key) override {
    if (!IsPredefinedRoot(root)) return kErrorInvalidHandle;
    HKEY h = nullptr;
    LONG rc = ::RegCreateKeyExA(RootHandle(root), NormalPath(subKey).c_str(), 0, nullptr,
                                REG_OPTION_NON_VOLATILE, access, nullptr, &h, nullptr);
    if (rc != ERROR_SUCCESS) return static_cast<Error>(rc);
    key->reset(new Win32RegistryHandle(h));
    return kErrorSuccess;
  }

  Error QueryValue(RegistryHandle* key, const std::string& name, uint32_t* type, void* data,
                   uint32_t* size) override {
    HKEY h = KeyOf(key);
    if (!h) return kErrorInvalidHandle;
    DWORD t = 0;
    DWORD n = *size;
    LONG rc = ::RegQueryValueExA(h, name.c_str(), nullptr, &t, static_cast<BYTE*>(data), &n);
    if (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) *size = n;
    if (rc == ERROR_SUCCESS && type) *type = t;
    return static_cast<Error>(rc);
  }

  Error SetValue(RegistryHandle* key, const std::string& name, uint32_t type, const void* data,
                 size_t size) override {
    HKEY h = KeyOf(key);
    if (!h) return kErrorInvalidHandle;
    if (size > 0xFFFFFFFFu) return kErrorInvalidParameter;
    LONG rc = ::RegSetValueExA(h, name.c_str(), 0, type, static_cast<const BYTE*>(data),
                               static_cast<DWORD>(size));
    return static_cast<Error>(rc);
  }

  Error EnumKey(RegistryHandle* key, uint32_t index, std::string* name) override {
    HKEY h = KeyOf(key);
    if (!h) return kErrorInvalidHandle;
    char buffer[kMaxKeyNameChars * kMaxBytesPerChar + 1];
    DWORD n = sizeof buffer;
    LONG rc = ::RegEnumKeyExA(h, index, buffer, &n, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_SUCCESS) name->assign(buffer, n);
    return static_cast<Error>(rc);
  }

  Error EnumValue(RegistryHandle* key, uint32_t index, std::string* name, uint32_t* type,
                  std::string* data) override {
    HKEY h = KeyOf(key);
    if (!h) return kErrorInvalidHandle;
    DWORD maxName = 0;
    DWORD maxData = 0;
    LONG rc = ::RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 &maxName, &maxData, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) return static_cast<Error>(rc);
    std::vector<char> nameBuffer(maxName * kMaxBytesPerChar + 1);
    std::vector<BYTE> dataBuffer(maxData + 1);
    DWORD nameSize = static_cast<DWORD>(nameBuffer.size());
    DWORD dataSize = static_cast<DWORD>(dataBuffer.size());
    DWORD t = 0;
    rc = ::RegEnumValueA(h, index, nameBuffer.data(), &nameSize, nullptr, &t, dataBuffer.data(),
                         &dataSize);
    if (rc != ERROR_SUCCESS) return static_cast<Error>(rc);
    name->assign(nameBuffer.data(), nameSize);
    if (type) *type = t;
    data->assign(reinterpret_cast<const char*>(dataBuffer.data()), dataSize);
    return kErrorSuccess;
  }

  Error DeleteKey(RootKey root, const std::string& subKey) override {
    if (!IsPredefinedRoot(root)) return kErrorInvalidHandle;
    std::string path = NormalPath(subKey);
    if (path.empty()) return kErrorAccessDenied;
    return static_cast<Error>(::RegDeleteKeyA(RootHandle(root), path.c_str()));
  }

  Error DeleteValue(RegistryHandle* key, const std::string& name) override {
    HKEY h = KeyOf(key);
    if (!h) return kErrorInvalidHandle;
    return static_cast<Error>(::RegDeleteValueA(h, name.c_str()));
  }

  std::string CurrentUser() override { return win32::CurrentUserSidText(); }
};

}  // namespace

RegistryStore* DefaultRegistryStore() {
  static Win32RegistryStore store;
  return &store;
}

}  // namespace platform
