#include "platform/in_use_retry.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace platform {
namespace {

void Sleep(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::atomic<uint32_t> g_nRunBudgetMs{kInUseRunMs};
std::atomic<InUsePause> g_pPause{Sleep};

// Takes up to `wanted` from the run's budget; what was granted.
uint32_t TakeFromBudget(uint32_t wanted) {
  uint32_t left = g_nRunBudgetMs.load();
  uint32_t granted;
  do {
    granted = std::min(left, wanted);
  } while (!g_nRunBudgetMs.compare_exchange_weak(left, left - granted));
  return granted;
}

}  // namespace

Error RetryWhileInUse(const std::function<Error()>& attempt,
                      const std::function<bool(Error)>& inUse) {
  uint32_t spent = 0;
  uint32_t pause = kInUseFirstPauseMs;
  for (;;) {
    Error err = attempt();
    if (err == kErrorSuccess || !inUse(err)) return err;
    uint32_t granted = TakeFromBudget(std::min(pause, kInUseOperationMs - spent));
    if (granted == 0) return err;
    g_pPause.load()(granted);
    spent += granted;
    pause = std::min(pause * 2, kInUseLongestPauseMs);
  }
}

bool IsSharingError(Error error) {
  return error == kErrorSharingViolation || error == kErrorLockViolation;
}

void ResetInUseBudget() { g_nRunBudgetMs = kInUseRunMs; }

InUsePause SetInUsePause(InUsePause pause) { return g_pPause.exchange(pause ? pause : Sleep); }

bool InUseRetryFs::MayBeInUse(Error error, const std::string& path, bool fileOperation) {
  if (IsSharingError(error)) return true;
  if (error != kErrorAccessDenied || !m_bAccessDeniedMayBeInUse) return false;
  uint32_t attributes = 0;
  if (target()->GetAttributes(path, &attributes) != kErrorSuccess) return true;
  if (attributes & kAttrReadOnly) return false;
  return !(fileOperation && (attributes & kAttrDirectory) && !(attributes & kAttrReparsePoint));
}

Error InUseRetryFs::RemoveDir(const std::string& path) {
  return RetryWhileInUse([&] { return target()->RemoveDir(path); },
                         [&](Error e) { return MayBeInUse(e, path, false); });
}

Error InUseRetryFs::DeleteFile(const std::string& path) {
  return RetryWhileInUse([&] { return target()->DeleteFile(path); },
                         [&](Error e) { return MayBeInUse(e, path, true); });
}

// Windows moves a read-only file; a 5 that still comes for one is its attribute's.
Error InUseRetryFs::MoveFile(const std::string& from, const std::string& to) {
  return RetryWhileInUse([&] { return target()->MoveFile(from, to); },
                         [&](Error e) { return MayBeInUse(e, from, false); });
}

// The target is what a read-only attribute or a directory protects.
Error InUseRetryFs::RenameOver(const std::string& from, const std::string& to) {
  return RetryWhileInUse([&] { return target()->RenameOver(from, to); },
                         [&](Error e) { return MayBeInUse(e, to, true); });
}

}  // namespace platform
