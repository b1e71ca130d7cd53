// One registry value, named by root key, sub key path and value name. Every
// operation opens and closes its own key handle, so an object can be
// retargeted freely. Results are the platform's registry error numbers (0 is
// success) or BOOL-style ints (non-zero is TRUE).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry_store.h"

class RegistryKey {
 public:
  // HKEY_LOCAL_MACHINE, "Software\\" + the application's name, empty value name.
  RegistryKey();
  virtual ~RegistryKey();

  int SetRootKey(platform::RootKey root);
  // Null: FALSE, nothing changes. Leading backslashes are dropped. Both setters
  // trace the stored text on the debug channel.
  int SetSubKey(const char* subKey);
  int SetValueName(const char* valueName);

  platform::RootKey GetRootKey() const { return m_hRootKey; }
  const std::string& GetSubKey() const { return m_szSubKey; }
  const std::string& GetValueName() const { return m_szValueName; }

  // TRUE when the key opens with full access; root 0 means m_hRootKey. A key
  // that exists but cannot be written counts as absent.
  int KeyExists(const std::string& subKey, platform::RootKey root = 0);
  // The value's bytes up to the first zero byte, whatever its type. On
  // failure out keeps what it held.
  platform::Error ReadString(std::string& out);
  // Null data or size: 87. Otherwise *data receives a new[]-allocated buffer
  // of *size + 1 bytes (a NUL after the data) that the caller frees with
  // delete[], also when the code is not 0; *data is null when the buffer could
  // not be had (8) or the key did not open.
  platform::Error ReadBinary(unsigned char** data, uint32_t* size);
  // Creates every missing key on the path, then sets the value.
  platform::Error WriteValue(const void* data, uint32_t size, uint32_t type);
  platform::Error WriteDWORD(uint32_t value);
  // The text and its terminating NUL, as REG_SZ.
  platform::Error WriteString(const char* text);
  platform::Error WriteBinary(const void* data, uint32_t size);
  // The names of the direct sub keys; an empty path means m_szSubKey. A name
  // that would not fit 260 characters ends the list. Returns the count.
  int EnumSubKeys(std::vector<std::string>& names, const std::string& subKey);
  // The key and everything below it, deepest first. TRUE when the key is gone
  // or never existed; FALSE for a root and for a key that could not be deleted.
  int DeleteKey(const std::string& subKey);
  // The named value of m_szSubKey (not m_szValueName). TRUE when deleted.
  int DeleteValue(const std::string& valueName);

 private:
  platform::RootKey m_hRootKey;
  std::string m_szSubKey;
  std::string m_szValueName;
};
