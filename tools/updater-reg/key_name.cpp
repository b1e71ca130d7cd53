#include "key_name.h"

#include "env/mbstring.h"

namespace {

struct RootNames {
  platform::RootKey root;
  const char* shortName;
  const char* longName;
};

const RootNames kRoots[] = {
    {platform::kHkeyLocalMachine, "HKLM", "HKEY_LOCAL_MACHINE"},
    {platform::kHkeyCurrentUser, "HKCU", "HKEY_CURRENT_USER"},
    {platform::kHkeyClassesRoot, "HKCR", "HKEY_CLASSES_ROOT"},
    {platform::kHkeyUsers, "HKU", "HKEY_USERS"},
    {platform::kHkeyCurrentConfig, "HKCC", "HKEY_CURRENT_CONFIG"},
};

}  // namespace

bool ParseKeyName(const std::string& text, KeyName* key) {
  size_t slash = text.find('\\');
  std::string root = text.substr(0, slash);
  std::string sub = slash == std::string::npos ? std::string() : text.substr(slash + 1);
  sub = TrimChars(sub, "\\");
  for (const RootNames& names : kRoots) {
    if (MbsEqualNoCase(root, names.shortName) || MbsEqualNoCase(root, names.longName)) {
      key->root = names.root;
      key->subKey = sub;
      key->display = sub.empty() ? names.longName : std::string(names.longName) + "\\" + sub;
      return true;
    }
  }
  return false;
}

const char* LongRootName(platform::RootKey root) {
  for (const RootNames& names : kRoots) {
    if (names.root == root) return names.longName;
  }
  return "";
}

KeyName ChildKey(const KeyName& parent, const std::string& name) {
  KeyName child = parent;
  child.subKey = parent.subKey.empty() ? name : parent.subKey + "\\" + name;
  child.display = parent.display + "\\" + name;
  return child;
}
