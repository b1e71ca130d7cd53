// "registry": writes a string, a number or binary data into a registry value,
// patches bytes inside an existing value, or deletes a value or a whole key.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "actions/action.h"
#include "platform/registry_store.h"

class RegistryKey;

class RegistryAction : public Action {
 public:
  RegistryAction();

  void InitDefaults() override;
  // "key", "valuename", "value" and "valuetype" set their string as passed;
  // "startpos" is read as atoi reads it.
  int SetParam(const std::string& name, const std::string& value) override;
  // A "-" before the key deletes the key with everything below it; otherwise
  // a "-" before the value name deletes the value; otherwise the value is
  // written as "BINARY", "DWORD" or (any other type) a string. Non-zero when
  // the registry did what was asked.
  int Execute() override;
  std::unique_ptr<Action> Clone() const override;

 private:
  // The bytes a "BINARY" value will hold: the parsed bytes, or the existing
  // value patched at "startpos". False when nothing is to be written.
  bool BinaryValue(RegistryKey& key, std::string* data) const;

  std::string m_szKey;
  std::string m_szValueName;
  std::string m_szValue;
  std::string m_szValueType;
  int32_t m_nStartPos = -1;
};

// The delete marker before a key text or a value name. Only one counts: with
// one on the key, a "-" starting the value name is part of the name.
inline constexpr char kRegistryDeleteMarker = '-';

// A key text without its delete marker, split as the action splits it: the
// root name before the first backslash and the sub key after it; without a
// backslash, or with one in first place, "HKEY_LOCAL_MACHINE" and the whole
// text.
void SplitRegistryKey(const std::string& key, std::string* rootName, std::string* subKey);
// The root key of a root name, long or short form in any letter case: true for
// the five roots; false, with HKEY_LOCAL_MACHINE, for any other text.
bool RootKeyOfName(const std::string& name, platform::RootKey* root);
// The names RootKeyOfName knows, long and short.
std::vector<std::string> RegistryRootNames();

enum class RegistryValueType { kString, kDword, kBinary };
// What a "valuetype" text writes, compared ignoring case: true for "STRING",
// "DWORD" and "BINARY"; false, with kString, for any other text.
bool ValueTypeOfName(const std::string& name, RegistryValueType* type);
std::vector<std::string> RegistryValueTypeNames();

// Reads the "hex:" notation of registry export files ("hex:0a,0b,ff", lines
// joined by a trailing backslash). Returns the number of bytes (above 0) and
// puts them, followed by one zero byte, into `bytes`; 0 when the text does not
// start with "hex:" (any case); -1 when no memory could be had.
int ParseHexBytes(const std::string& text, std::unique_ptr<unsigned char[]>& bytes);
