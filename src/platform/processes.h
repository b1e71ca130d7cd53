// Starting programs from a Windows-style command line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// A started process. Destroying a handle never ends the process; a process
// nobody waited for is still collected when it ends.
class ProcessHandle {
 public:
  virtual ~ProcessHandle() = default;
  // Blocks until the process has ended.
  virtual void Wait() = 0;
  // After Wait: the code the process ended with; 0 when it cannot be told.
  virtual uint32_t ExitCode() const { return 0; }
  // The process identifier.
  virtual uint32_t Id() const = 0;
};

class Processes {
 public:
  virtual ~Processes() = default;
  // Starts a command line as CreateProcess reads it: the first token is the
  // program (an unquoted path with blanks is tried at each blank in turn), the
  // rest are its arguments. The program's first window is hidden where windows
  // have a start-up show state; it runs in the caller's environment and current
  // directory and inherits nothing but the standard streams. When `process` is
  // given it receives a handle to wait on. False when no process was created.
  virtual bool Launch(const std::string& commandLine, std::unique_ptr<ProcessHandle>* process) = 0;
};

}  // namespace platform
