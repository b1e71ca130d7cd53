#include "support/scoped_config.h"

#include "env/config.h"

namespace {

std::array<std::string*, 9> Values() {
  return {&g_szVersion,   &g_szAppPath,  &g_szDownloadPath, &g_szUpdateUrl, &g_szWinPath,
          &g_szSys32Path, &g_szThisFile, &g_szThisDir,      &g_szThisName};
}

}  // namespace

ScopedConfig::ScopedConfig() {
  std::array<std::string*, 9> values = Values();
  for (size_t i = 0; i < values.size(); ++i) {
    m_aSaved[i] = *values[i];
    values[i]->clear();
  }
}

ScopedConfig::~ScopedConfig() {
  std::array<std::string*, 9> values = Values();
  for (size_t i = 0; i < values.size(); ++i) *values[i] = m_aSaved[i];
}
