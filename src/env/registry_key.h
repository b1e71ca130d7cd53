// One registry value, named by root key, sub key path and value name. Every
// operation opens and closes its own key handle.
#pragma once

#include <string>
#include <vector>

#include "platform/registry_store.h"

class RegistryKey {
 public:
  RegistryKey();
  virtual ~RegistryKey();

  int SetRootKey(platform::RootKey root);
  // Null: FALSE. Leading backslashes are dropped.
  int SetSubKey(const char* subKey);
  int SetValueName(const char* valueName);

  platform::RootKey GetRootKey() const { return m_hRootKey; }
  const std::string& GetSubKey() const { return m_szSubKey; }
  const std::string& GetValueName() const { return m_szValueName; }

  // root 0 means m_hRootKey.
  int KeyExists(const std::string& subKey, platform::RootKey root = 0);
  // Status codes: the platform's registry error number, 0 on success.
  platform::Error ReadString(std::string& out);
  // *data receives a new[]-allocated buffer of *size + 1 bytes (NUL after the
  // data) that the caller frees with delete[], also when the code is not 0.
  platform::Error ReadBinary(unsigned char** data, uint32_t* size);
  platform::Error WriteValue(const void* data, uint32_t size, uint32_t type);
  platform::Error WriteDWORD(uint32_t value);
  platform::Error WriteString(const char* text);
  platform::Error WriteBinary(const void* data, uint32_t size);
  // Empty path means m_szSubKey. Returns the number of names.
  int EnumSubKeys(std::vector<std::string>& names, const std::string& subKey);
  int DeleteKey(const std::string& subKey);
  int DeleteValue(const std::string& valueName);

 private:
  platform::RootKey m_hRootKey;
  std::string m_szSubKey;
  std::string m_szValueName;
};
