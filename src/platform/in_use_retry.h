// Files another program holds for a moment: the product on its way out, a
// virus scanner looking at every new exe. Renaming, moving or deleting such a
// file fails until it is let go, so those operations are tried again with a
// growing pause (50 ms, doubling, at most 1 s), for at most 10 s per operation
// and 30 s per update run in all: a folder that is simply not writable still
// fails soon. This is the one place of that rule; each back-end applies it to
// its Fs (InUseRetryFs) and to any other operation of that kind.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/fs.h"

namespace platform {

constexpr uint32_t kInUseFirstPauseMs = 50;
constexpr uint32_t kInUseLongestPauseMs = 1000;
constexpr uint32_t kInUseOperationMs = 10000;
constexpr uint32_t kInUseRunMs = 30000;

// Runs `attempt`, and again after a pause while `inUse` says its error is one
// of a file in use, until it succeeds, fails otherwise, or the time allowed to
// this operation or left to the run is spent. The last attempt's result.
Error RetryWhileInUse(const std::function<Error()>& attempt,
                      const std::function<bool(Error)>& inUse);

// 32 and 33: the errors of a file in use on every platform.
bool IsSharingError(Error error);

// The next update run has its whole 30 s again.
void ResetInUseBudget();

// How the rule pauses; tests count the pauses instead of sleeping. Returns the
// previous one; null puts the real sleep back.
using InUsePause = void (*)(uint32_t milliseconds);
InUsePause SetInUsePause(InUsePause pause);

// The rule over a back-end's RenameOver, MoveFile, DeleteFile and RemoveDir.
// Windows also answers 5 for a file held open without FILE_SHARE_DELETE or
// mapped as a running program's image (`accessDeniedMayBeInUse`); a 5 that a
// read-only attribute gives, or a file operation on a directory, fails at once.
class InUseRetryFs : public FsWrapper {
 public:
  InUseRetryFs(Fs* target, bool accessDeniedMayBeInUse)
      : FsWrapper(target), m_bAccessDeniedMayBeInUse(accessDeniedMayBeInUse) {}

  Error RemoveDir(const std::string& path) override;
  Error DeleteFile(const std::string& path) override;
  Error MoveFile(const std::string& from, const std::string& to) override;
  Error RenameOver(const std::string& from, const std::string& to) override;

 private:
  // True when `error` may mean that another program holds `path`.
  bool MayBeInUse(Error error, const std::string& path, bool fileOperation);

  bool m_bAccessDeniedMayBeInUse;
};

}  // namespace platform
