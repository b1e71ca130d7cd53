#include "env/replacing_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/env.h"
#include "support/temp_dir.h"

namespace {

// The rename that would put the new file in place fails.
class NoRenameFs : public platform::FsWrapper {
 public:
  NoRenameFs() : FsWrapper(platform::DefaultFs()), m_guard(&platform::Env::SetFs, this) {}
  platform::Error RenameOver(const std::string&, const std::string&) override {
    return platform::kErrorAccessDenied;
  }

 private:
  platform::ScopedService<platform::Fs> m_guard;
};

size_t Entries(const std::string& folder) {
  size_t n = 0;
  for (auto it = std::filesystem::directory_iterator(folder);
       it != std::filesystem::directory_iterator(); ++it) {
    ++n;
  }
  return n;
}

}  // namespace

// Whatever stops a write before its rename leaves the old file and nothing else.
TEST(ReplacingFile, OnlyACommittedWriteReplacesTheOldFile) {
  TempDir dir;
  std::string target = dir.Sub("f.bin");
  enum Ending { kAbandoned, kRenameFails, kCommitted };
  for (Ending ending : {kAbandoned, kRenameFails, kCommitted}) {
    SCOPED_TRACE(ending);
    ASSERT_TRUE(WriteFileBytes(target, "old bytes"));
    {
      ReplacingFile file;
      ASSERT_EQ(file.Prepare(target), platform::kErrorSuccess);
      ASSERT_EQ(file.Create(), platform::kErrorSuccess);
      size_t written = 0;
      ASSERT_TRUE(file.Write("new", 3, &written));
      if (ending == kRenameFails) {
        NoRenameFs broken;
        EXPECT_NE(file.Commit(), platform::kErrorSuccess);
      } else if (ending == kCommitted) {
        EXPECT_EQ(file.Commit(), platform::kErrorSuccess);
      }
      EXPECT_EQ(ReadFileBytes(target), ending == kCommitted ? "new" : "old bytes");
    }
    EXPECT_EQ(ReadFileBytes(target), ending == kCommitted ? "new" : "old bytes");
    EXPECT_EQ(Entries(dir.path()), 1u);
  }
}

TEST(ReplacingFile, RefusesFoldersAndReadOnlyFilesAndClearsAKilledWritesTemporary) {
  TempDir dir;
  std::filesystem::create_directories(dir.Sub("folder"));
  ASSERT_TRUE(WriteFileBytes(dir.Sub("locked"), "keep"));
  ASSERT_EQ(platform::Env::Get().fs().SetAttributes(dir.Sub("locked"), platform::kAttrReadOnly),
            platform::kErrorSuccess);
  for (const char* name : {"folder", "locked"}) {
    ReplacingFile file;
    EXPECT_EQ(file.Prepare(dir.Sub(name)), platform::kErrorAccessDenied) << name;
  }
  EXPECT_EQ(ReadFileBytes(dir.Sub("locked")), "keep");

  // A process killed while writing left its temporary; the next write of the
  // same file clears it.
  std::string target = dir.Sub("new.bin");
  ASSERT_TRUE(WriteFileBytes(ReplacementTempPath(target), "half"));
  ReplacingFile file;
  ASSERT_EQ(file.Prepare(target), platform::kErrorSuccess);
  EXPECT_FALSE(std::filesystem::exists(ReplacementTempPath(target)));
  platform::Env::Get().fs().SetAttributes(dir.Sub("locked"), platform::kAttrNormal);
}
