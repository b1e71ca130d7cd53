// Where the system and the updater itself live.
#pragma once

#include <string>

namespace platform {

class SystemPaths {
 public:
  virtual ~SystemPaths() = default;
  // The Windows directory (POSIX: /usr).
  virtual std::string WindowsDirectory() = 0;
  // The system directory (POSIX: /usr/lib).
  virtual std::string SystemDirectory() = 0;
  // Full path of the running executable, in the platform's separator form;
  // empty when it has no form in the system's text.
  virtual std::string ThisExecutable() = 0;
  // The debugger output channel (POSIX: standard error, only when
  // UPDATER_DEBUG is set).
  virtual void DebugOutput(const std::string& text) = 0;
};

}  // namespace platform
