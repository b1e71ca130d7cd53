// Starting programs.
#pragma once

#include <memory>
#include <string>

namespace platform {

class ProcessHandle {
 public:
  virtual ~ProcessHandle() = default;
  // Blocks until the process has ended.
  virtual void Wait() = 0;
};

class Processes {
 public:
  virtual ~Processes() = default;
  // Starts a Windows-style command line with its first window hidden, in the
  // caller's environment and current directory. When `process` is given it
  // receives a handle to wait on. False when the process could not be created.
  virtual bool Launch(const std::string& commandLine, std::unique_ptr<ProcessHandle>* process) = 0;
};

}  // namespace platform
