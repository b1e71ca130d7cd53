// POSIX back-end of Processes (Linux). The command line is read as CreateProcess
// reads it (platform/command_line.h) and the program is started directly with
// posix_spawnp, without a shell, looked up on PATH when its name has no slash.
// Windows' "first window hidden" has no POSIX counterpart: a program shows
// its windows as it creates them. The child keeps only the standard streams
// (Windows starts it without handle inheritance) and starts with default
// signal handling and an empty signal mask.
//
// Collecting children: a process whose handle goes without Wait() (every
// program started without waiting) is collected by a detached thread blocked
// in waitpid on that one child. No SIGCHLD handler is installed, so waitpid
// users elsewhere in the process are not disturbed, and no zombies pile up.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <thread>
#include <vector>

#include "platform/command_line.h"
#include "platform/env.h"

extern char** environ;

namespace platform {
namespace {

// The wait status; 0 when it was collected already (ECHILD): either way it
// has ended.
int WaitForChild(pid_t pid) {
  int status = 0;
  pid_t got;
  while ((got = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
  }
  return got == pid ? status : 0;
}

void CollectLater(pid_t pid) {
  try {
    std::thread([pid] { WaitForChild(pid); }).detach();
  } catch (const std::exception&) {
    // No thread to spare: collect it if it has already ended; otherwise it
    // stays a zombie until the updater exits.
    int status = 0;
    waitpid(pid, &status, WNOHANG);
  }
}

class PosixProcessHandle : public ProcessHandle {
 public:
  PosixProcessHandle() = default;
  ~PosixProcessHandle() override {
    if (m_pid > 0 && !m_bCollected) CollectLater(m_pid);
  }
  PosixProcessHandle(const PosixProcessHandle&) = delete;
  PosixProcessHandle& operator=(const PosixProcessHandle&) = delete;

  // Made before the child, so that nothing can fail once it runs.
  void SetPid(pid_t pid) { m_pid = pid; }

  void Wait() override {
    if (m_pid <= 0 || m_bCollected) return;
    int status = WaitForChild(m_pid);
    m_bCollected = true;
    // A program ended by a signal did not end well either.
    if (WIFEXITED(status)) {
      m_dwExitCode = static_cast<uint32_t>(WEXITSTATUS(status));
    } else if (WIFSIGNALED(status)) {
      m_dwExitCode = 128u + static_cast<uint32_t>(WTERMSIG(status));
    }
  }
  uint32_t Id() const override { return static_cast<uint32_t>(m_pid); }
  uint32_t ExitCode() const override { return m_dwExitCode; }

 private:
  pid_t m_pid = 0;
  bool m_bCollected = false;
  uint32_t m_dwExitCode = 0;
};

// posix_spawnp's result: 0, or the errno of the failed start (glibc reports
// a failed exec here, so a missing program is ENOENT).
int Spawn(const std::string& program, const std::vector<std::string>& args, pid_t* pid) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (posix_spawn_file_actions_init(&actions) != 0) return ENOMEM;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return ENOMEM;
  }
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  int result = posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  if (result == 0) result = posix_spawnattr_setsigmask(&attributes, &none);
  if (result == 0) result = posix_spawnattr_setsigdefault(&attributes, &all);
  if (result == 0) {
    result = posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  if (result == 0) {
    result = posix_spawnp(pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  }
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return result;
}

class PosixProcesses : public Processes {
 public:
  bool Launch(const std::string& commandLine, std::unique_ptr<ProcessHandle>* process) override {
    try {
      // As CreateProcess does, the first reading whose program starts wins.
      for (const ProgramChoice& choice : ProgramChoices(commandLine)) {
        std::vector<std::string> args = SplitArguments(choice.arguments);
        auto handle = std::make_unique<PosixProcessHandle>();
        pid_t pid = 0;
        if (Spawn(choice.program, args, &pid) != 0) continue;
        handle->SetPid(pid);
        if (process) *process = std::move(handle);
        return true;
      }
    } catch (const std::exception&) {
      // Out of memory before a child was started.
    }
    return false;
  }
};

}  // namespace

Processes* DefaultProcesses() {
  static PosixProcesses processes;
  return &processes;
}

}  // namespace platform
