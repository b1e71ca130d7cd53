// A private registry for one test: VELMAR_REGISTRY_DIR points at a fresh
// temporary folder for the object's life, and back to its old value after.
// Where the registry cannot be redirected (Windows, one registry per Wine
// prefix), the keys a test adds below the roots' Software keys and the
// uninstall key are deleted again when the object goes.
#pragma once

#include <string>
#include <vector>

#include "support/temp_dir.h"

class RegistrySandbox {
 public:
  RegistrySandbox();
  ~RegistrySandbox();
  RegistrySandbox(const RegistrySandbox&) = delete;
  RegistrySandbox& operator=(const RegistrySandbox&) = delete;

  const std::string& dir() const { return m_dir.path(); }
  std::string MachineHive() const { return m_dir.Sub("machine.db"); }
  std::string UserHive() const { return m_dir.Sub("user.db"); }

 private:
  struct KnownKeys {
    unsigned root;
    std::string path;
    std::vector<std::string> names;
  };
  std::vector<KnownKeys> m_aKnown;
  TempDir m_dir;
  bool m_bHadOld;
  std::string m_szOld;
};
