#include "actions/process_launcher.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "env/mbstring.h"
#include "platform/env.h"

namespace {

// An unnamed manual-reset event: once set it stays set, and every wait returns.
class ManualResetEvent {
 public:
  void Set() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bSignalled = true;
    m_changed.notify_all();
  }
  void Wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_bSignalled; });
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_bSignalled = false;
};

// What the caller and the worker share. The caller lets go of it only after
// the worker has set the event, its last use of the block.
struct RunBlock {
  std::string m_szCommandLine;
  bool m_bEndedWell = false;
  ManualResetEvent m_event;
};

void RunWorker(RunBlock* block) {
  // Nothing may end the worker before the event is set: the caller waits on it.
  try {
    ProcessInformation info;
    if (LaunchProcess(block->m_szCommandLine, &info) && info.m_hProcess) {
      info.m_hProcess->Wait();
      block->m_bEndedWell = info.m_hProcess->ExitCode() == 0;
    }
  } catch (const std::exception&) {
  }
  block->m_event.Set();
}

}  // namespace

std::string QuotedProgramPath(const std::string& path) {
  if (path.find_first_of(" \t") == std::string::npos || (!path.empty() && path[0] == '"')) {
    return path;
  }
  return "\"" + path + "\"";
}

bool WaitFromAsync(const std::string& async) { return !MbsEqualNoCase(async, "true"); }

bool LaunchProcess(const std::string& commandLine, ProcessInformation* info) {
  std::unique_ptr<platform::ProcessHandle> process;
  if (!platform::Env::Get().processes().Launch(commandLine, info ? &process : nullptr)) {
    return false;
  }
  if (info && process) {
    info->m_dwProcessId = process->Id();
    info->m_hProcess = std::move(process);
  }
  return true;
}

bool StartProgram(const std::string& commandLine, bool bWait) {
  if (bWait) return RunAndWait(commandLine);
  return LaunchProcess(commandLine);
}

bool RunAndWait(const std::string& commandLine, bool* endedWell) {
  if (endedWell) *endedWell = false;
  try {
    RunBlock block;
    block.m_szCommandLine = commandLine;
    std::thread worker(RunWorker, &block);
    // The calling thread (the user-interface thread) handles nothing else
    // while the program runs.
    block.m_event.Wait();
    worker.join();
    if (endedWell) *endedWell = block.m_bEndedWell;
    return true;
  } catch (const std::exception&) {
    // The worker could not be started (or the block not made): nothing runs,
    // so nobody is waited for.
    return false;
  }
}
