#include "support/registry_sandbox.h"

#include <algorithm>
#include <cstdlib>

#include "env/registry_key.h"

namespace {
const char kVariable[] = "VELMAR_REGISTRY_DIR";

// Where tests and the system add keys.
const struct {
  platform::RootKey root;
  const char* path;
} kWatched[] = {
    {platform::kHkeyLocalMachine, "Software"},
    {platform::kHkeyCurrentUser, "Software"},
    {platform::kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
};

std::vector<std::string> SubKeys(platform::RootKey root, const std::string& path) {
  RegistryKey key;
  key.SetRootKey(root);
  key.SetSubKey(path.c_str());
  std::vector<std::string> names;
  key.EnumSubKeys(names, path);
  return names;
}
}  // namespace

RegistrySandbox::RegistrySandbox() {
  const char* old = getenv(kVariable);
  m_bHadOld = old != nullptr;
  if (old) m_szOld = old;
  setenv(kVariable, m_dir.path().c_str(), 1);
  for (const auto& w : kWatched) m_aKnown.push_back({w.root, w.path, SubKeys(w.root, w.path)});
}

RegistrySandbox::~RegistrySandbox() {
  for (const KnownKeys& known : m_aKnown) {
    for (const std::string& name : SubKeys(known.root, known.path)) {
      if (std::find(known.names.begin(), known.names.end(), name) != known.names.end()) continue;
      RegistryKey key;
      key.SetRootKey(known.root);
      key.DeleteKey(known.path + "\\" + name);
    }
  }
  if (m_bHadOld)
    setenv(kVariable, m_szOld.c_str(), 1);
  else
    unsetenv(kVariable);
}
