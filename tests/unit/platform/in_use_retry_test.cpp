// The rule for files in use, over a file system whose one operation answers an
// injected error for its first calls; the pauses are counted, not slept.
#include "platform/in_use_retry.h"

#include <gtest/gtest.h>

#include "platform/env.h"
#include "support/temp_dir.h"

namespace {

std::vector<uint32_t> g_aPauses;

// RenameOver, MoveFile or DeleteFile (by `m_op`) fails `m_nFailures` times
// (for good when negative) with `m_error`, then reaches the disk.
struct BusyFs : platform::FsWrapper {
  BusyFs() : FsWrapper(platform::DefaultFs()) {}
  platform::Error RenameOver(const std::string& f, const std::string& t) override {
    return Busy('R') ? m_error : FsWrapper::RenameOver(f, t);
  }
  platform::Error MoveFile(const std::string& f, const std::string& t) override {
    return Busy('M') ? m_error : FsWrapper::MoveFile(f, t);
  }
  platform::Error DeleteFile(const std::string& p) override {
    return Busy('D') ? m_error : FsWrapper::DeleteFile(p);
  }
  bool Busy(char op) { return op == m_op && (++m_nCalls <= m_nFailures || m_nFailures < 0); }
  char m_op = 'R';
  platform::Error m_error = 32;
  int m_nFailures = -1;
  int m_nCalls = 0;
};

class InUseRetryTest : public testing::Test {
 protected:
  void SetUp() override { m_pOldPause = platform::SetInUsePause(Count); }
  void TearDown() override {
    platform::SetInUsePause(m_pOldPause);
    platform::ResetInUseBudget();
  }
  static void Count(uint32_t ms) { g_aPauses.push_back(ms); }
  platform::Error Do(platform::Fs& fs, char op) {
    g_aPauses.clear();
    platform::ResetInUseBudget();
    WriteFileBytes(m_dir.Sub("a"), "old");
    WriteFileBytes(m_dir.Sub("b"), "new");
    if (op == 'R') return fs.RenameOver(m_dir.Sub("b"), m_dir.Sub("a"));
    if (op == 'M') return fs.MoveFile(m_dir.Sub("a"), m_dir.Sub("c"));
    return fs.DeleteFile(m_dir.Sub("a"));
  }

  TempDir m_dir;
  platform::InUsePause m_pOldPause = nullptr;
};

TEST_F(InUseRetryTest, FilesInUseAreTriedAgainWithGrowingPausesForAtMostTenSeconds) {
  const std::vector<uint32_t> tenSeconds = {50,   100,  200,  400,  800,  1000, 1000,
                                            1000, 1000, 1000, 1000, 1000, 1000, 450};
  struct Case {
    char op;
    platform::Error error;
    bool windows;  // 5 may be a file in use
    bool readOnly;
    int failures;
    platform::Error result;
    std::vector<uint32_t> pauses;
  } cases[] = {
      {'R', 32, false, false, 3, 0, {50, 100, 200}},
      {'M', 33, false, false, 1, 0, {50}},
      {'D', 5, true, false, 2, 0, {50, 100}},
      {'D', 5, false, false, 2, 5, {}},  // POSIX: a refusal
      {'D', 5, true, true, 2, 5, {}},    // the read-only attribute refuses
      {'R', 5, true, true, 2, 5, {}},
      {'M', 2, true, false, 2, 2, {}},
      {'R', 32, true, false, -1, 32, tenSeconds},
  };
  for (const Case& c : cases) {
    BusyFs busy;
    busy.m_op = c.op;
    busy.m_error = c.error;
    busy.m_nFailures = c.failures;
    platform::InUseRetryFs fs(&busy, c.windows);
    if (c.readOnly) platform::DefaultFs()->SetAttributes(m_dir.Sub("a"), platform::kAttrReadOnly);
    const int line = static_cast<int>(&c - cases);
    EXPECT_EQ(Do(fs, c.op), c.result) << line;
    EXPECT_EQ(g_aPauses, c.pauses) << line;
    platform::DefaultFs()->SetAttributes(m_dir.Sub("a"), platform::kAttrNormal);
  }
}

TEST_F(InUseRetryTest, ARunWaitsThirtySecondsInAllAndTheNextRunHasThemAgain) {
  BusyFs busy;
  platform::InUseRetryFs fs(&busy, true);
  EXPECT_EQ(Do(fs, 'R'), 32u);
  for (int i = 0; i < 3; ++i) fs.RenameOver(m_dir.Sub("b"), m_dir.Sub("a"));
  EXPECT_EQ(g_aPauses.size(), 14u * 3) << "the fourth file failed at once";
  busy.m_nFailures = busy.m_nCalls + 1;
  EXPECT_EQ(Do(fs, 'R'), 0u);
  EXPECT_EQ(ReadFileBytes(m_dir.Sub("a")), "new");
}

}  // namespace
