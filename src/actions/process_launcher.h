// Starting the programs of the run and open actions, waited for or not.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/processes.h"

// What LaunchProcess hands back when asked: the process and its identifier.
// (A Windows process also comes with its first thread; nothing here uses it.)
struct ProcessInformation {
  std::unique_ptr<platform::ProcessHandle> m_hProcess;
  uint32_t m_dwProcessId = 0;
};

// The "async" parameter of "run" and "open": only "true", in any letter case
// and without blanks, means not waiting.
bool WaitFromAsync(const std::string& async);

// A program's path as the first token of a command line: in double quotes when
// it holds a blank and is not quoted already. Unquoted, "D:\Program Files\acc.exe"
// would start a "D:\Program.exe" first, if anyone had put one there.
std::string QuotedProgramPath(const std::string& path);

// Creates the process for `commandLine` (its first window hidden, no handle
// inheritance, the caller's environment and current directory). True when it
// was created.
bool LaunchProcess(const std::string& commandLine, ProcessInformation* info = nullptr);

// RunAndWait when waiting, else LaunchProcess without process information.
bool StartProgram(const std::string& commandLine, bool bWait);

// Starts the program on a worker thread and blocks the caller until it has
// ended, or returns at once when it cannot be started. True, except when the
// worker itself could not be started (then nothing was started either).
// *endedWell tells whether the program started and ended with code 0.
bool RunAndWait(const std::string& commandLine, bool* endedWell = nullptr);
