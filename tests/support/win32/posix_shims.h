// For Windows: the few POSIX calls the portable tests use to set up their
// sandboxes, over the C runtime. Force-included into the Windows test
// executables only.
#pragma once

#include <direct.h>
#include <io.h>
#include <stdlib.h>

#include <cstring>

inline int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && getenv(name)) return 0;
  return _putenv_s(name, value) == 0 ? 0 : -1;
}

// An empty value removes the variable.
inline int unsetenv(const char* name) { return _putenv_s(name, "") == 0 ? 0 : -1; }

// The mode is POSIX's business; Windows folders have none.
inline int mkdir(const char* path, int) { return _mkdir(path); }

inline char* mkdtemp(char* pattern) {
  size_t n = std::strlen(pattern) + 1;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char* name = static_cast<char*>(_alloca(n));
    std::memcpy(name, pattern, n);
    if (_mktemp_s(name, n) != 0) return nullptr;
    if (_mkdir(name) == 0) {
      std::memcpy(pattern, name, n);
      return pattern;
    }
  }
  return nullptr;
}
