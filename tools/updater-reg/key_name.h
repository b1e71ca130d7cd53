// Full key names as reg.exe takes them: ROOT\Sub\Key with a short or long root
// name in any letter case.
#pragma once

#include <string>

#include "platform/registry_store.h"

struct KeyName {
  platform::RootKey root = 0;
  std::string subKey;   // below the root, without leading or trailing backslashes
  std::string display;  // the long root name, then "\" and subKey when there is one
};

// False for an unknown root (and for remote names such as \\host\HKLM).
bool ParseKeyName(const std::string& text, KeyName* key);

// "HKEY_LOCAL_MACHINE" and so on.
const char* LongRootName(platform::RootKey root);

// The name of a sub key of `parent`.
KeyName ChildKey(const KeyName& parent, const std::string& name);
