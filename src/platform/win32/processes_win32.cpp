// Windows back-end of Processes: CreateProcessA with the first window hidden
// (STARTF_USESHOWWINDOW, SW_HIDE), no handle inheritance, normal priority.
#include <exception>
#include <memory>
#include <new>
#include <vector>

#include "platform/env.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

class Win32ProcessHandle : public ProcessHandle {
 public:
  explicit Win32ProcessHandle(const PROCESS_INFORMATION& pi) : m_pi(pi) {}
  ~Win32ProcessHandle() override {
    ::CloseHandle(m_pi.hThread);
    ::CloseHandle(m_pi.hProcess);
  }
  void Wait() override { ::WaitForSingleObject(m_pi.hProcess, INFINITE); }
  uint32_t Id() const override { return m_pi.dwProcessId; }
  uint32_t ExitCode() const override {
    DWORD code = 0;
    return ::GetExitCodeProcess(m_pi.hProcess, &code) ? static_cast<uint32_t>(code) : 0;
  }

 private:
  PROCESS_INFORMATION m_pi;
};

class Win32Processes : public Processes {
 public:
  bool Launch(const std::string& commandLine, std::unique_ptr<ProcessHandle>* process) override {
    try {
      return Start(commandLine, process);
    } catch (const std::exception&) {
      // Out of memory before a program was started.
      return false;
    }
  }

 private:
  static bool Start(const std::string& commandLine, std::unique_ptr<ProcessHandle>* process) {
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi;
    ZeroMemory(&pi, sizeof pi);
    // CreateProcessA may write into the command line.
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                          nullptr, nullptr, &si, &pi)) {
      return false;
    }
    // The handles are owned before anything else may throw.
    std::unique_ptr<Win32ProcessHandle> handle(new (std::nothrow) Win32ProcessHandle(pi));
    if (!handle) {
      ::CloseHandle(pi.hThread);
      ::CloseHandle(pi.hProcess);
      return true;
    }
    if (process) *process = std::move(handle);
    return true;
  }
};

}  // namespace

Processes* DefaultProcesses() {
  static Win32Processes processes;
  return &processes;
}

}  // namespace platform
