// The rule for files in use, over a file system that answers an injected
// error for the first calls of one operation; the pauses are counted, not
// slept.
#include "platform/in_use_retry.h"

#include <gtest/gtest.h>

#include <numeric>

#include "platform/env.h"
#include "support/temp_dir.h"

namespace {

std::vector<uint32_t> g_aPauses;
void CountPause(uint32_t ms) { g_aPauses.push_back(ms); }

enum class Op { kRenameOver, kMoveFile, kDeleteFile, kRemoveDir };

class BusyFs : public platform::FsWrapper {
 public:
  BusyFs() : FsWrapper(platform::DefaultFs()) {}
  platform::Error RenameOver(const std::string& f, const std::string& t) override {
    return Busy(Op::kRenameOver) ? m_error : FsWrapper::RenameOver(f, t);
  }
  platform::Error MoveFile(const std::string& f, const std::string& t) override {
    return Busy(Op::kMoveFile) ? m_error : FsWrapper::MoveFile(f, t);
  }
  platform::Error DeleteFile(const std::string& p) override {
    return Busy(Op::kDeleteFile) ? m_error : FsWrapper::DeleteFile(p);
  }
  platform::Error RemoveDir(const std::string& p) override {
    return Busy(Op::kRemoveDir) ? m_error : FsWrapper::RemoveDir(p);
  }
  bool Busy(Op op) {
    if (op != m_op) return false;
    ++m_nCalls;
    return m_nFailures < 0 || m_nCalls <= m_nFailures;
  }

  Op m_op = Op::kRenameOver;
  platform::Error m_error = 32;
  int m_nFailures = 0;  // negative: for good
  int m_nCalls = 0;
};

class InUseRetryTest : public testing::Test {
 protected:
  void SetUp() override {
    m_pOldPause = platform::SetInUsePause(CountPause);
    Fresh();
  }
  void Fresh() {
    platform::ResetInUseBudget();
    g_aPauses.clear();
    ASSERT_TRUE(WriteFileBytes(m_dir.Sub("a"), "old"));
    ASSERT_TRUE(WriteFileBytes(m_dir.Sub("b"), "new"));
  }
  void TearDown() override {
    platform::SetInUsePause(m_pOldPause);
    platform::ResetInUseBudget();
  }
  platform::Error Do(platform::Fs& fs, Op op) {
    switch (op) {
      case Op::kRenameOver:
        return fs.RenameOver(m_dir.Sub("b"), m_dir.Sub("a"));
      case Op::kMoveFile:
        return fs.MoveFile(m_dir.Sub("a"), m_dir.Sub("c"));
      case Op::kDeleteFile:
        return fs.DeleteFile(m_dir.Sub("a"));
      case Op::kRemoveDir:
        return fs.RemoveDir(m_dir.path());
    }
    return 0;
  }
  static uint32_t Paused() { return std::accumulate(g_aPauses.begin(), g_aPauses.end(), 0u); }

  TempDir m_dir;
  platform::InUsePause m_pOldPause = nullptr;
};

TEST_F(InUseRetryTest, FilesInUseAreTriedAgainWithGrowingPauses) {
  struct Case {
    Op op;
    platform::Error error;
    bool accessDeniedMayBeInUse;
    bool readOnly;
    int failures;
    platform::Error result;
    std::vector<uint32_t> pauses;
  } cases[] = {
      {Op::kRenameOver, 32, false, false, 3, 0, {50, 100, 200}},
      {Op::kMoveFile, 33, false, false, 1, 0, {50}},
      {Op::kDeleteFile, 5, true, false, 2, 0, {50, 100}},
      {Op::kRemoveDir, 32, true, false, 1, 145, {50}},  // the folder is not empty
      // POSIX: 5 is a refusal, never a file in use.
      {Op::kDeleteFile, 5, false, false, 2, 5, {}},
      // Windows: a read-only file refuses at once.
      {Op::kDeleteFile, 5, true, true, 2, 5, {}},
      {Op::kRenameOver, 5, true, true, 2, 5, {}},
      {Op::kMoveFile, 2, true, false, 2, 2, {}},
      // Held for good: 10 s, then the error.
      {Op::kRenameOver,
       32,
       true,
       false,
       -1,
       32,
       {50, 100, 200, 400, 800, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 450}},
  };
  for (const Case& c : cases) {
    Fresh();
    if (c.readOnly) platform::DefaultFs()->SetAttributes(m_dir.Sub("a"), platform::kAttrReadOnly);
    BusyFs busy;
    busy.m_op = c.op;
    busy.m_error = c.error;
    busy.m_nFailures = c.failures;
    platform::InUseRetryFs fs(&busy, c.accessDeniedMayBeInUse);
    const int line = static_cast<int>(&c - cases);
    EXPECT_EQ(Do(fs, c.op), c.result) << line;
    EXPECT_EQ(g_aPauses, c.pauses) << line;
    EXPECT_EQ(busy.m_nCalls, static_cast<int>(c.pauses.size()) + 1) << line;
    platform::DefaultFs()->SetAttributes(m_dir.Sub("a"), platform::kAttrNormal);
  }
}

TEST_F(InUseRetryTest, ARunSpendsAtMostThirtySecondsWaitingAndTheNextRunHasThemAgain) {
  BusyFs busy;
  busy.m_nFailures = -1;
  platform::InUseRetryFs fs(&busy, true);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Do(fs, Op::kRenameOver), 32u);
  EXPECT_EQ(Paused(), 30000u);
  busy.m_nCalls = 0;
  EXPECT_EQ(Do(fs, Op::kRenameOver), 32u);
  EXPECT_EQ(busy.m_nCalls, 1) << "nothing left to wait with";

  platform::ResetInUseBudget();
  busy.m_nFailures = busy.m_nCalls + 2;
  EXPECT_EQ(Do(fs, Op::kRenameOver), 0u);
  EXPECT_EQ(ReadFileBytes(m_dir.Sub("a")), "new");
}

}  // namespace
