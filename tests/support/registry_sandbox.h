// A private registry for one test: VELMAR_REGISTRY_DIR points at a fresh
// temporary folder for the object's life, and back to its old value after.
#pragma once

#include <string>

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
  TempDir m_dir;
  bool m_bHadOld;
  std::string m_szOld;
};
