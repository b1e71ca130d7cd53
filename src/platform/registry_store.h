// The registry as the system uses it: the ANSI Reg* functions on Windows, an
// SQLite store elsewhere. Results are Windows error numbers (0 is success).
#pragma once

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

// Access masks.
constexpr uint32_t kKeySetValue = 0x0002;
constexpr uint32_t kKeyEnumerateSubKeys = 0x0008;
constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kKeyWrite = 0x20006;
constexpr uint32_t kKeyAllAccess = 0xF003F;

// Value types.
constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

// An open key. Destroying it closes it.
class RegistryHandle {
 public:
  virtual ~RegistryHandle() = default;
};

class RegistryStore {
 public:
  virtual ~RegistryStore() = default;

  // RegOpenKeyExA: the key must exist. An empty path opens the root itself.
  virtual Error OpenKey(RootKey root, const std::string& subKey, uint32_t access,
                        std::unique_ptr<RegistryHandle>* key) = 0;
  // RegCreateKeyExA: every missing key on the path is created.
  virtual Error CreateKey(RootKey root, const std::string& subKey, uint32_t access,
                          std::unique_ptr<RegistryHandle>* key) = 0;
  // RegQueryValueExA: the value's type and its bytes.
  virtual Error QueryValue(RegistryHandle* key, const std::string& name, uint32_t* type,
                           std::string* data) = 0;
  // RegSetValueExA.
  virtual Error SetValue(RegistryHandle* key, const std::string& name, uint32_t type,
                         const void* data, size_t size) = 0;
  // RegEnumKeyExA: the name of the sub key at index; 259 past the end.
  virtual Error EnumKey(RegistryHandle* key, uint32_t index, std::string* name) = 0;
  // RegEnumValueA: the value at index; 259 past the end.
  virtual Error EnumValue(RegistryHandle* key, uint32_t index, std::string* name, uint32_t* type,
                          std::string* data) = 0;
  // RegDeleteKeyA: a key that has sub keys is refused (5).
  virtual Error DeleteKey(RootKey root, const std::string& subKey) = 0;
  // RegDeleteValueA.
  virtual Error DeleteValue(RegistryHandle* key, const std::string& name) = 0;
};

}  // namespace platform
