#include "actions/registry_action.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

#include "actions/journal.h"
#include "actions/split_string.h"
#include "env/mbstring.h"
#include "env/registry_key.h"

namespace {

// strtol of the target's 32-bit long (which atoi and atol also are): optional
// white space and sign, digits of `base` (for 16 an optional "0x"), the rest
// ignored, no digits 0, and a number out of range clamped to the nearest end.
int32_t StrToLong32(const std::string& text, int base) {
  long long value = std::strtoll(text.c_str(), nullptr, base);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

struct RootName {
  const char* szLong;
  const char* szShort;
  platform::RootKey hRoot;
};

constexpr RootName kRootNames[] = {
    {"HKEY_LOCAL_MACHINE", "HKLM", platform::kHkeyLocalMachine},
    {"HKEY_CLASSES_ROOT", "HKCR", platform::kHkeyClassesRoot},
    {"HKEY_CURRENT_USER", "HKCU", platform::kHkeyCurrentUser},
    {"HKEY_CURRENT_CONFIG", "HKCC", platform::kHkeyCurrentConfig},
    {"HKEY_USERS", "HKU", platform::kHkeyUsers},
};

struct ValueTypeName {
  const char* szName;
  RegistryValueType type;
};

constexpr ValueTypeName kValueTypeNames[] = {
    {"STRING", RegistryValueType::kString},
    {"DWORD", RegistryValueType::kDword},
    {"BINARY", RegistryValueType::kBinary},
};

}  // namespace

void SplitRegistryKey(const std::string& key, std::string* rootName, std::string* subKey) {
  *rootName = "HKEY_LOCAL_MACHINE";
  *subKey = key;
  size_t separator = MbsFind(key, '\\');
  if (separator != std::string::npos && separator > 0) {
    *rootName = key.substr(0, separator);
    *subKey = key.substr(separator + 1);
  }
}

bool RootKeyOfName(const std::string& name, platform::RootKey* root) {
  for (const RootName& entry : kRootNames) {
    if (MbsEqualNoCase(name, entry.szLong) || MbsEqualNoCase(name, entry.szShort)) {
      *root = entry.hRoot;
      return true;
    }
  }
  *root = platform::kHkeyLocalMachine;
  return false;
}

std::vector<std::string> RegistryRootNames() {
  std::vector<std::string> names;
  for (const RootName& entry : kRootNames) names.push_back(entry.szLong);
  for (const RootName& entry : kRootNames) names.push_back(entry.szShort);
  return names;
}

bool ValueTypeOfName(const std::string& name, RegistryValueType* type) {
  for (const ValueTypeName& entry : kValueTypeNames) {
    if (MbsEqualNoCase(name, entry.szName)) {
      *type = entry.type;
      return true;
    }
  }
  *type = RegistryValueType::kString;
  return false;
}

std::vector<std::string> RegistryValueTypeNames() {
  std::vector<std::string> names;
  for (const ValueTypeName& entry : kValueTypeNames) names.push_back(entry.szName);
  return names;
}

int ParseHexBytes(const std::string& text, std::unique_ptr<unsigned char[]>& bytes) {
  // The test comes before the blanks go, so " hex:01" is not the notation.
  if (text.size() < 4 || !MbsEqualNoCase(text.substr(0, 4), "hex:")) return 0;
  std::string list;
  for (char c : text) {
    if (c != '\\' && c != '\r' && c != '\n' && c != '\t' && c != ' ') list += c;
  }
  list.erase(0, 4);
  std::vector<std::string> pieces;
  int count = SplitString(pieces, list, ",", " \t");
  bytes.reset(new (std::nothrow) unsigned char[static_cast<size_t>(count) + 1]);
  if (!bytes) return -1;
  for (int i = 0; i < count; ++i) {
    bytes[i] = static_cast<unsigned char>(StrToLong32(pieces[i], 16) & 0xFF);
  }
  bytes[count] = 0;
  return count;
}

RegistryAction::RegistryAction() : Action("registry") { InitDefaults(); }

void RegistryAction::InitDefaults() {
  m_szKey.clear();
  m_szValueName.clear();
  m_szValue.clear();
  m_szValueType = "STRING";
  m_nStartPos = -1;
  DefineParams("description,key,valuetype,valuename,value,startpos",
               ",HKEY_LOCAL_MACHINE,STRING,,,-1");
}

int RegistryAction::SetParam(const std::string& name, const std::string& value) {
  std::string key = ParamKey(name);
  if (key == "key") {
    m_szKey = value;
  } else if (key == "valuename") {
    m_szValueName = value;
  } else if (key == "value") {
    m_szValue = value;
  } else if (key == "valuetype") {
    m_szValueType = value;
  } else if (key == "startpos") {
    m_nStartPos = StrToLong32(value, 10);
  }
  return Action::SetParam(name, value);
}

int RegistryAction::Execute() {
  LogDescription();
  RegistryKey key;

  // Only one delete marker counts: with one on the key, a "-" starting the
  // value name is part of the name.
  bool bDeleteKey = false;
  bool bDeleteValue = false;
  if (!m_szKey.empty() && m_szKey[0] == kRegistryDeleteMarker) {
    bDeleteKey = true;
    m_szKey.erase(0, 1);
  } else if (!m_szValueName.empty() && m_szValueName[0] == kRegistryDeleteMarker) {
    bDeleteValue = true;
    m_szValueName.erase(0, 1);
  }

  std::string szRoot;
  std::string szSubKey;
  SplitRegistryKey(m_szKey, &szRoot, &szSubKey);
  platform::RootKey hRoot;
  RootKeyOfName(szRoot, &hRoot);
  key.SetRootKey(hRoot);
  key.SetSubKey(szSubKey.c_str());
  key.SetValueName(m_szValueName.c_str());

  if (bDeleteKey) {
    // A key name never starts with a backslash (Windows refuses it), and a
    // root is never deleted: "-HKCU\\" must not be read as all of HKCU.
    if (szSubKey.empty() || szSubKey[0] == '\\') return 0;
    if (!JournalWillDeleteKey(hRoot, szSubKey)) return 0;
    return key.DeleteKey(szSubKey);
  }
  if (bDeleteValue) {
    if (!JournalWillChangeValue(hRoot, key.GetSubKey(), m_szValueName, nullptr, 0)) return 0;
    return key.DeleteValue(m_szValueName);
  }
  // The bytes as the value will hold them, known before anything changes.
  RegistryValueType type;
  ValueTypeOfName(m_szValueType, &type);
  std::string data;
  uint32_t regType = platform::kRegSz;
  if (type == RegistryValueType::kBinary) {
    if (!BinaryValue(key, &data)) return 0;
    regType = platform::kRegBinary;
  } else if (type == RegistryValueType::kDword) {
    // The 32 bits of the number: "-1" writes 4294967295.
    uint32_t value = static_cast<uint32_t>(StrToLong32(m_szValue, 10));
    for (int i = 0; i < 4; ++i) data += static_cast<char>((value >> (8 * i)) & 0xFF);
    regType = platform::kRegDword;
  } else {
    data = std::string(m_szValue.c_str()) + '\0';
  }
  if (!JournalWillChangeValue(hRoot, key.GetSubKey(), m_szValueName, &data, regType)) return 0;
  return key.WriteValue(data.data(), static_cast<uint32_t>(data.size()), regType) ==
         platform::kErrorSuccess;
}

bool RegistryAction::BinaryValue(RegistryKey& key, std::string* data) const {
  std::unique_ptr<unsigned char[]> bytes;
  int n = ParseHexBytes(m_szValue, bytes);
  if (n <= 0) return false;
  uint32_t count = static_cast<uint32_t>(n);

  if (m_nStartPos >= 0) {
    unsigned char* pExisting = nullptr;
    uint32_t size = 0;
    platform::Error read = key.ReadBinary(&pExisting, &size);
    std::unique_ptr<unsigned char[]> existing(pExisting);
    if (read == platform::kErrorSuccess && existing) {
      // A patch as long as the value or longer leaves the bytes as they are
      // (they are still written back, as binary); a shorter one must lie
      // wholly inside them, or nothing is written at all.
      if (count < size) {
        uint64_t end = static_cast<uint64_t>(m_nStartPos) + count;
        if (end > size) return false;
        std::copy(bytes.get(), bytes.get() + count, existing.get() + m_nStartPos);
      }
      data->assign(reinterpret_cast<const char*>(existing.get()), size);
      return true;
    }
  }
  data->assign(reinterpret_cast<const char*>(bytes.get()), count);
  return true;
}

std::unique_ptr<Action> RegistryAction::Clone() const { return std::make_unique<RegistryAction>(); }
