// The registry as the system uses it: the ANSI Reg* functions on Windows, an
// SQLite store elsewhere. Results are Windows error numbers (0 is success).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/errors.h"

namespace platform {

// Predefined root keys, with the numeric values of the Windows handles.
using RootKey = uint32_t;
constexpr RootKey kHkeyClassesRoot = 0x80000000u;
constexpr RootKey kHkeyCurrentUser = 0x80000001u;
constexpr RootKey kHkeyLocalMachine = 0x80000002u;
constexpr RootKey kHkeyUsers = 0x80000003u;
constexpr RootKey kHkeyCurrentConfig = 0x80000005u;

// Access rights of an open key, and the masks made of them.
constexpr uint32_t kKeyQueryValue = 0x0001;
constexpr uint32_t kKeySetValue = 0x0002;
constexpr uint32_t kKeyCreateSubKey = 0x0004;
constexpr uint32_t kKeyEnumerateSubKeys = 0x0008;
constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kKeyWrite = 0x20006;
constexpr uint32_t kKeyAllAccess = 0xF003F;
// The rights that change the registry: a key of a hive that cannot be
// written does not open with any of them (5).
constexpr uint32_t kKeyModifyingRights = 0xD0026;

// Value types.
constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;
constexpr uint32_t kRegQword = 11;

// Error numbers only the registry answers.
constexpr Error kErrorInvalidHandle = 6;  // not a predefined root, not an open key
constexpr Error kErrorBusy = 170;         // the hive stayed locked by another process
constexpr Error kErrorMoreData = 234;     // the data does not fit the buffer given
constexpr Error kErrorKeyDeleted = 1018;  // the open key was deleted meanwhile

// An open key. Destroying it closes it.
class RegistryHandle {
 public:
  virtual ~RegistryHandle() = default;
};

// Key and value names compare ignoring ASCII letter case and keep the case
// they were first written with. Sub key paths are backslash-separated; empty
// parts are skipped, so an empty path names the root itself.
class RegistryStore {
 public:
  virtual ~RegistryStore() = default;

  // RegOpenKeyExA: the key must exist (2). Rights that modify the registry are
  // refused with 5 where the hive cannot be written.
  virtual Error OpenKey(RootKey root, const std::string& subKey, uint32_t access,
                        std::unique_ptr<RegistryHandle>* key) = 0;
  // RegCreateKeyExA: every missing key on the path is created, in one step.
  virtual Error CreateKey(RootKey root, const std::string& subKey, uint32_t access,
                          std::unique_ptr<RegistryHandle>* key) = 0;
  // RegQueryValueExA: with data null, *size receives the data's byte count;
  // otherwise *size is the buffer's capacity on entry (234 and the needed
  // count when it is too small) and the count copied on return. type may be
  // null. Needs kKeyQueryValue.
  virtual Error QueryValue(RegistryHandle* key, const std::string& name, uint32_t* type, void* data,
                           uint32_t* size) = 0;
  // RegSetValueExA. Needs kKeySetValue.
  virtual Error SetValue(RegistryHandle* key, const std::string& name, uint32_t type,
                         const void* data, size_t size) = 0;
  // RegEnumKeyExA: the name of the direct sub key at index, in ascending order
  // ignoring case; 259 past the end. Needs kKeyEnumerateSubKeys.
  virtual Error EnumKey(RegistryHandle* key, uint32_t index, std::string* name) = 0;
  // RegEnumValueA: the value at index, in the order first written; 259 past
  // the end. Needs kKeyQueryValue.
  virtual Error EnumValue(RegistryHandle* key, uint32_t index, std::string* name, uint32_t* type,
                          std::string* data) = 0;
  // RegDeleteKeyA: the key and its values. A key that has sub keys, and a
  // root, are refused (5).
  virtual Error DeleteKey(RootKey root, const std::string& subKey) = 0;
  // RegDeleteValueA: 2 when there is no such value. Needs kKeySetValue.
  virtual Error DeleteValue(RegistryHandle* key, const std::string& name) = 0;

  // From BeginChanges to EndChanges, the writes of this process reach each
  // hive file as one change, made by EndChanges (0, or why it could not be);
  // reads in between see them, and a write that fails takes back only its
  // own part. For long series of writes, such as an import: a store that
  // commits every write then commits once. Where the registry has no such
  // thing both do nothing. For one thread at a time.
  virtual void BeginChanges() {}
  virtual Error EndChanges() { return kErrorSuccess; }

  // Whose HKEY_CURRENT_USER this process sees: the user's SID (Windows), the
  // uid (POSIX).
  virtual std::string CurrentUser() = 0;
};

// Forwards everything; tests derive from it and override the one call they break.
class RegistryStoreWrapper : public RegistryStore {
 public:
  explicit RegistryStoreWrapper(RegistryStore* target) : m_pTarget(target) {}
  RegistryStore* target() const { return m_pTarget; }

  Error OpenKey(RootKey r, const std::string& s, uint32_t a,
                std::unique_ptr<RegistryHandle>* k) override {
    return m_pTarget->OpenKey(r, s, a, k);
  }
  Error CreateKey(RootKey r, const std::string& s, uint32_t a,
                  std::unique_ptr<RegistryHandle>* k) override {
    return m_pTarget->CreateKey(r, s, a, k);
  }
  Error QueryValue(RegistryHandle* k, const std::string& n, uint32_t* t, void* d,
                   uint32_t* s) override {
    return m_pTarget->QueryValue(k, n, t, d, s);
  }
  Error SetValue(RegistryHandle* k, const std::string& n, uint32_t t, const void* d,
                 size_t s) override {
    return m_pTarget->SetValue(k, n, t, d, s);
  }
  Error EnumKey(RegistryHandle* k, uint32_t i, std::string* n) override {
    return m_pTarget->EnumKey(k, i, n);
  }
  Error EnumValue(RegistryHandle* k, uint32_t i, std::string* n, uint32_t* t,
                  std::string* d) override {
    return m_pTarget->EnumValue(k, i, n, t, d);
  }
  Error DeleteKey(RootKey r, const std::string& s) override { return m_pTarget->DeleteKey(r, s); }
  Error DeleteValue(RegistryHandle* k, const std::string& n) override {
    return m_pTarget->DeleteValue(k, n);
  }
  void BeginChanges() override { m_pTarget->BeginChanges(); }
  Error EndChanges() override { return m_pTarget->EndChanges(); }
  std::string CurrentUser() override { return m_pTarget->CurrentUser(); }

 private:
  RegistryStore* m_pTarget;
};

}  // namespace platform
