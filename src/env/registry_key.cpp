#include "env/registry_key.h"

#include <memory>
#include <new>

#include "env/config.h"
#include "env/mbstring.h"
#include "platform/env.h"

using platform::Error;
using platform::RegistryHandle;

namespace {

// RegEnumKeyExA's name buffer, in characters with the terminating NUL.
constexpr size_t kNameBufferSize = 260;

// The executable's name without its extension, as the application object
// reports it; "updater" before the configuration is loaded.
std::string ApplicationName() {
  std::string name = g_szThisName;
  size_t dot = MbsFindLast(name, '.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name.empty() ? "updater" : name;
}

void Trace(const char* label, const std::string& text) {
  platform::SystemPaths& paths = platform::Env::Get().paths();
  paths.DebugOutput(label);
  paths.DebugOutput(text);
  paths.DebugOutput("\n");
}

platform::RegistryStore& Store() { return platform::Env::Get().registry(); }

}  // namespace

RegistryKey::RegistryKey() : m_hRootKey(platform::kHkeyLocalMachine) {
  SetSubKey(("Software\\" + ApplicationName()).c_str());
}

RegistryKey::~RegistryKey() = default;

int RegistryKey::SetRootKey(platform::RootKey root) {
  m_hRootKey = root;
  return 1;
}

int RegistryKey::SetSubKey(const char* subKey) {
  if (!subKey) return 0;
  std::string path = subKey;
  size_t first = path.find_first_not_of('\\');
  path.erase(0, first == std::string::npos ? path.size() : first);
  m_szSubKey = path;
  Trace("m_szSubKey set to ", m_szSubKey);
  return 1;
}

int RegistryKey::SetValueName(const char* valueName) {
  if (!valueName) return 0;
  m_szValueName = valueName;
  Trace("m_szValueName set to ", m_szValueName);
  return 1;
}

int RegistryKey::KeyExists(const std::string& subKey, platform::RootKey root) {
  std::unique_ptr<RegistryHandle> key;
  Error err = Store().OpenKey(root ? root : m_hRootKey, subKey, platform::kKeyAllAccess, &key);
  return err == platform::kErrorSuccess;
}

Error RegistryKey::ReadString(std::string& out) {
  platform::RegistryStore& store = Store();
  std::unique_ptr<RegistryHandle> key;
  Error err = store.OpenKey(m_hRootKey, m_szSubKey, platform::kKeyRead, &key);
  if (err != platform::kErrorSuccess) return err;
  uint32_t size = 0;
  err = store.QueryValue(key.get(), m_szValueName, nullptr, nullptr, &size);
  if (err != platform::kErrorSuccess) return err;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<size_t>(size) + 1]);
  if (!buffer) return platform::kErrorNotEnoughMemory;
  err = store.QueryValue(key.get(), m_szValueName, nullptr, buffer.get(), &size);
  if (err == platform::kErrorSuccess) {
    buffer[size] = '\0';
    out = buffer.get();
  }
  return err;
}

Error RegistryKey::ReadBinary(unsigned char** data, uint32_t* size) {
  if (!data || !size) return platform::kErrorInvalidParameter;
  platform::RegistryStore& store = Store();
  std::unique_ptr<RegistryHandle> key;
  Error err = store.OpenKey(m_hRootKey, m_szSubKey, platform::kKeyRead, &key);
  if (err != platform::kErrorSuccess) return err;
  err = store.QueryValue(key.get(), m_szValueName, nullptr, nullptr, size);
  if (err != platform::kErrorSuccess) return err;
  *data = new (std::nothrow) unsigned char[static_cast<size_t>(*size) + 1];
  if (!*data) return platform::kErrorNotEnoughMemory;
  err = store.QueryValue(key.get(), m_szValueName, nullptr, *data, size);
  if (err == platform::kErrorSuccess) (*data)[*size] = '\0';
  return err;
}

Error RegistryKey::WriteValue(const void* data, uint32_t size, uint32_t type) {
  platform::RegistryStore& store = Store();
  std::unique_ptr<RegistryHandle> key;
  Error err = store.CreateKey(m_hRootKey, m_szSubKey, platform::kKeyWrite, &key);
  if (err != platform::kErrorSuccess) return err;
  return store.SetValue(key.get(), m_szValueName, type, data, size);
}

Error RegistryKey::WriteDWORD(uint32_t value) {
  unsigned char bytes[4] = {
      static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
      static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  return WriteValue(bytes, sizeof bytes, platform::kRegDword);
}

Error RegistryKey::WriteString(const char* text) {
  if (!text) return platform::kErrorInvalidParameter;
  std::string s = text;
  return WriteValue(s.c_str(), static_cast<uint32_t>(s.size() + 1), platform::kRegSz);
}

Error RegistryKey::WriteBinary(const void* data, uint32_t size) {
  return WriteValue(data, size, platform::kRegBinary);
}

int RegistryKey::EnumSubKeys(std::vector<std::string>& names, const std::string& subKey) {
  names.clear();
  platform::RegistryStore& store = Store();
  std::unique_ptr<RegistryHandle> key;
  const std::string& path = subKey.empty() ? m_szSubKey : subKey;
  if (store.OpenKey(m_hRootKey, path, platform::kKeyEnumerateSubKeys, &key) !=
      platform::kErrorSuccess) {
    return 0;
  }
  std::string name;
  for (uint32_t index = 0; store.EnumKey(key.get(), index, &name) == platform::kErrorSuccess;
       ++index) {
    // RegEnumKeyExA answers 234 for a name that does not fit its buffer.
    if (name.size() + 1 > kNameBufferSize) break;
    names.push_back(name);
  }
  return static_cast<int>(names.size());
}

int RegistryKey::DeleteKey(const std::string& subKey) {
  platform::RegistryStore& store = Store();
  if (!KeyExists(subKey, 0)) {
    // Nothing to delete only when the key is really missing. One that exists
    // but cannot be written, or a hive that cannot be read, is no success.
    std::unique_ptr<RegistryHandle> key;
    Error err = store.OpenKey(m_hRootKey, subKey, platform::kKeyRead, &key);
    if (err == platform::kErrorFileNotFound) return 1;
    if (err != platform::kErrorSuccess) return 0;
  }
  // A root is never deleted, also when written as backslashes alone: the store
  // skips empty path parts, so "\\" would name the root.
  if (subKey.find_first_not_of('\\') == std::string::npos) return 0;
  std::vector<std::string> names;
  EnumSubKeys(names, subKey);
  for (const std::string& name : names) DeleteKey(subKey + "\\" + name);
  return store.DeleteKey(m_hRootKey, subKey) == platform::kErrorSuccess;
}

int RegistryKey::DeleteValue(const std::string& valueName) {
  platform::RegistryStore& store = Store();
  std::unique_ptr<RegistryHandle> key;
  if (store.OpenKey(m_hRootKey, m_szSubKey, platform::kKeySetValue, &key) !=
      platform::kErrorSuccess) {
    return 0;
  }
  return store.DeleteValue(key.get(), valueName) == platform::kErrorSuccess;
}
