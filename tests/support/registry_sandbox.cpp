#include "support/registry_sandbox.h"

#include <cstdlib>

namespace {
const char kVariable[] = "VELMAR_REGISTRY_DIR";
}

RegistrySandbox::RegistrySandbox() {
  const char* old = getenv(kVariable);
  m_bHadOld = old != nullptr;
  if (old) m_szOld = old;
  setenv(kVariable, m_dir.path().c_str(), 1);
}

RegistrySandbox::~RegistrySandbox() {
  if (m_bHadOld)
    setenv(kVariable, m_szOld.c_str(), 1);
  else
    unsetenv(kVariable);
}
