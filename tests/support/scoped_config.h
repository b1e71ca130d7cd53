// The nine configuration values emptied for one test, as before LoadConfig,
// and put back afterwards.
#pragma once

#include <array>
#include <string>

class ScopedConfig {
 public:
  ScopedConfig();
  ~ScopedConfig();
  ScopedConfig(const ScopedConfig&) = delete;
  ScopedConfig& operator=(const ScopedConfig&) = delete;

 private:
  std::array<std::string, 9> m_aSaved;
};
