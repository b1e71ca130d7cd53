#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "actions/action_registry.h"
#include "actions/copy_action.h"
#include "actions/mkdir_action.h"
#include "actions/remove_action.h"
#include "actions/unzip_action.h"
#include "env/texts.h"
#include "platform/env.h"
#include "support/recording_main_window.h"
#include "support/scoped_this_file.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using ::testing::ElementsAre;

namespace {

class FileActionTest : public ::testing::Test {
 protected:
  FileActionTest() { m_dir.Enter(); }

  std::string File(const std::string& name, const std::string& bytes) {
    std::string path = m_dir.Sub(name);
    fs::create_directories(fs::path(path).parent_path());
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return path;
  }

  static int Copy(const std::string& from, const std::string& to, const char* move = nullptr,
                  const char* overwrite = nullptr) {
    CopyAction action;
    action.SetParam("from", from);
    action.SetParam("to", to);
    if (move) action.SetParam("move", move);
    if (overwrite) action.SetParam("overwrite", overwrite);
    return action.Execute();
  }
  static int Mkdir(const std::string& dir) {
    MkdirAction action;
    action.SetParam("dir", dir);
    return action.Execute();
  }
  static int Remove(const std::string& path) {
    RemoveAction action;
    action.SetParam("path", path);
    return action.Execute();
  }

  // The names in a folder, sorted.
  static std::vector<std::string> Tree(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir m_dir;
  RecordingMainWindow m_window;
};

using CopyActionTest = FileActionTest;

TEST_F(CopyActionTest, IntoAnExistingFolderUnderTheSourceName) {
  std::string from = File("src/data.bin", "data");
  fs::create_directories(m_dir.Sub("dest"));

  EXPECT_TRUE(Copy(from, m_dir.Sub("dest"), "false"));
  // A missing folder is no folder: a file name ending in a separator fails.
  EXPECT_FALSE(Copy(from, m_dir.Sub("dest2/"), "false"));
  fs::create_directories(m_dir.Sub("dest3"));
  EXPECT_TRUE(Copy(from, m_dir.Sub("dest3/")));

  EXPECT_EQ(ReadFileBytes(m_dir.Sub("dest/data.bin")), "data");
  EXPECT_FALSE(fs::exists(m_dir.Sub("dest2")));
  EXPECT_EQ(ReadFileBytes(m_dir.Sub("dest3/data.bin")), "data");
  EXPECT_FALSE(fs::exists(from));
}

TEST_F(CopyActionTest, OntoTheRunningUpdaterWritesTheSideName) {
  std::string self = File("bin/Updater", "running");
  ScopedThisFile guard(self);
  std::string update = File("pkg/Updater", "v2");

  EXPECT_TRUE(Copy(update, m_dir.Sub("bin/UPDATER"), "false"));
  EXPECT_EQ(ReadFileBytes(m_dir.Sub("bin/_Updater")), "v2");
  ASSERT_TRUE(fs::remove(m_dir.Sub("bin/_Updater")));
  // The folder, with and without its trailing separator, and a source of the
  // same name.
  EXPECT_TRUE(Copy(update, m_dir.Sub("bin"), "false"));
  ASSERT_TRUE(fs::remove(m_dir.Sub("bin/_Updater")));
  EXPECT_TRUE(Copy(update, m_dir.Sub("bin/")));

  EXPECT_EQ(ReadFileBytes(m_dir.Sub("bin/_Updater")), "v2");
  EXPECT_EQ(ReadFileBytes(self), "running");
}

TEST_F(CopyActionTest, OnlyFalseMeansCopy) {
  for (const char* move : {"FALSE", "False", "false"}) {
    std::string from = File("a", "a");
    EXPECT_TRUE(Copy(from, m_dir.Sub("b"), move)) << move;
    EXPECT_TRUE(fs::exists(from)) << move;
    fs::remove(m_dir.Sub("b"));
  }
  for (const char* move : {"", "true", "no", "0", " false"}) {
    std::string from = File("a", "a");
    EXPECT_TRUE(Copy(from, m_dir.Sub("b"), move)) << move;
    EXPECT_FALSE(fs::exists(from)) << move;
    EXPECT_EQ(ReadFileBytes(m_dir.Sub("b")), "a");
    fs::remove(m_dir.Sub("b"));
  }
  std::string from = File("a", "a");
  EXPECT_TRUE(Copy(from, m_dir.Sub("b")));  // absent: a move
  EXPECT_FALSE(fs::exists(from));
}

TEST_F(CopyActionTest, ExistingDestinationIsReplacedOnlyByACopyThatMayOverwrite) {
  std::string from = File("new", "new");
  std::string to = File("old", "old");

  EXPECT_FALSE(Copy(from, to, "false", "false"));
  EXPECT_EQ(ReadFileBytes(to), "old");
  // A move never replaces, whatever "overwrite" says.
  EXPECT_FALSE(Copy(from, to, "true", "true"));
  EXPECT_FALSE(Copy(from, to, nullptr, nullptr));
  EXPECT_EQ(ReadFileBytes(to), "old");
  EXPECT_EQ(ReadFileBytes(from), "new");

  EXPECT_TRUE(Copy(from, to, "false", "true"));
  EXPECT_EQ(ReadFileBytes(to), "new");
  EXPECT_TRUE(ReadLogLines().empty());
}

// Every name of the source itself: the copy fails and the file keeps its bytes.
TEST_F(CopyActionTest, CopyOntoItselfIsRefusedAndTheFileKeepsItsBytes) {
  std::string from = File("dir/f.bin", "bytes");
  fs::create_symlink(from, m_dir.Sub("link"));
  for (const std::string& to : {from, m_dir.Sub("dir/./f.bin"), m_dir.Sub("dir//f.bin"),
                                m_dir.Sub("dir"), m_dir.Sub("dir/"), m_dir.Sub("link")}) {
    for (const char* move : {"false", "true"}) {
      EXPECT_FALSE(Copy(from, to, move)) << to << " move=" << move;
      EXPECT_EQ(ReadFileBytes(from), "bytes") << to;
    }
  }
  EXPECT_EQ(Tree(m_dir.Sub("dir")), (std::vector<std::string>{"f.bin"}));
}

// A copy that fails midway leaves the destination as it was.
TEST_F(CopyActionTest, CopyThatFailsLeavesTheOldDestinationAndNoTemporary) {
  class HalfCopyFs : public platform::FsWrapper {
   public:
    HalfCopyFs() : FsWrapper(platform::DefaultFs()), m_guard(&platform::Env::SetFs, this) {}
    platform::Error CopyFile(const std::string&, const std::string& to, bool) override {
      WriteFileBytes(to, "ha");
      return platform::kErrorDiskFull;
    }

   private:
    platform::ScopedService<platform::Fs> m_guard;
  };
  std::string from = File("new", "new bytes");
  std::string to = File("out/old", "old bytes");
  {
    HalfCopyFs full;
    EXPECT_FALSE(Copy(from, to, "false"));
  }
  EXPECT_EQ(ReadFileBytes(to), "old bytes");
  EXPECT_EQ(Tree(m_dir.Sub("out")), (std::vector<std::string>{"old"}));
  EXPECT_TRUE(Copy(from, to, "false"));
  EXPECT_EQ(ReadFileBytes(to), "new bytes");
  EXPECT_EQ(Tree(m_dir.Sub("out")), (std::vector<std::string>{"old"}));
}

TEST_F(CopyActionTest, MissingSourceIsReportedAndNothingElseHappens) {
  EXPECT_FALSE(Copy(m_dir.Sub("nothing"), m_dir.Sub("to")));
  EXPECT_THAT(ReadLogLines(), ElementsAre(texts::kFileNotFound + m_dir.Sub("nothing")));
  EXPECT_EQ(m_window.m_szStatus, texts::kFileNotFound + m_dir.Sub("nothing"));
  EXPECT_FALSE(fs::exists(m_dir.Sub("to")));
}

TEST_F(CopyActionTest, MoveToAnotherFileSystemCopiesThenDeletes) {
  struct stat here, shm;
  if (stat(m_dir.path().c_str(), &here) != 0 || stat("/dev/shm", &shm) != 0 ||
      here.st_dev == shm.st_dev) {
    GTEST_SKIP() << "/dev/shm is not another file system here";
  }
  std::string from = "/dev/shm/updater-move-" + std::to_string(getpid());
  ASSERT_TRUE(WriteFileBytes(from, "across"));

  EXPECT_TRUE(Copy(from, m_dir.Sub("moved")));
  EXPECT_FALSE(fs::exists(from));
  EXPECT_EQ(ReadFileBytes(m_dir.Sub("moved")), "across");

  // Onto an existing file it fails there too, and both stay.
  ASSERT_TRUE(WriteFileBytes(from, "again"));
  EXPECT_FALSE(Copy(from, m_dir.Sub("moved")));
  EXPECT_EQ(ReadFileBytes(from), "again");
  EXPECT_EQ(ReadFileBytes(m_dir.Sub("moved")), "across");
  fs::remove(from);
}

// Counts directory creations.
class CountingFs : public platform::FsWrapper {
 public:
  CountingFs() : FsWrapper(platform::DefaultFs()) {}
  platform::Error CreateDir(const std::string& p) override {
    ++m_nCreated;
    return FsWrapper::CreateDir(p);
  }
  int m_nCreated = 0;
};

using MkdirActionTest = FileActionTest;

TEST_F(MkdirActionTest, CreatesMissingLevelsOnceAndThenTouchesNothing) {
  CountingFs counting;
  platform::ScopedService<platform::Fs> guard(&platform::Env::SetFs, &counting);

  EXPECT_TRUE(Mkdir(m_dir.Sub("a/b/c")));
  EXPECT_TRUE(fs::is_directory(m_dir.Sub("a/b/c")));
  int created = counting.m_nCreated;
  EXPECT_TRUE(Mkdir(m_dir.Sub("a/b/c")));
  EXPECT_EQ(counting.m_nCreated, created);

  EXPECT_TRUE(Mkdir(m_dir.Sub("x/y/z/")));
  EXPECT_TRUE(fs::is_directory(m_dir.Sub("x/y/z")));
}

TEST_F(MkdirActionTest, ExistingFileCountsAsDoneAndStaysAFile) {
  std::string file = File("f", "x");
  EXPECT_TRUE(Mkdir(file));
  EXPECT_TRUE(fs::is_regular_file(file));
  EXPECT_FALSE(Mkdir(m_dir.Sub("f/sub")));
}

using RemoveActionTest = FileActionTest;

TEST_F(RemoveActionTest, TreeWithReadOnlyFileAndSubFolderGoesWhole) {
  File("tree/ro.txt", "r");
  fs::permissions(m_dir.Sub("tree/ro.txt"), fs::perms::owner_read);
  File("tree/sub/deeper/f", "f");
  File("tree/sub/g", "g");

  EXPECT_TRUE(Remove(m_dir.Sub("tree")));
  EXPECT_FALSE(fs::exists(m_dir.Sub("tree")));
}

TEST_F(RemoveActionTest, ReadOnlyFileFailsAndStays) {
  std::string file = File("ro", "r");
  fs::permissions(file, fs::perms::owner_read);
  EXPECT_FALSE(Remove(file));
  EXPECT_EQ(ReadFileBytes(file), "r");
}

TEST_F(RemoveActionTest, RunningUpdaterIsReportedRemovedButStays) {
  std::string self = File("bin/updater", "running");
  ScopedThisFile guard(self);
  EXPECT_TRUE(Remove(self));
  EXPECT_EQ(ReadFileBytes(self), "running");
}

TEST_F(RemoveActionTest, MissingPathFailsWithoutAMessage) {
  RemoveAction action;
  action.SetParam("path", m_dir.Sub("missing"));
  EXPECT_FALSE(action.Execute());
  EXPECT_TRUE(ReadLogLines().empty());
  EXPECT_TRUE(m_window.m_aCalls.empty());
}

TEST_F(RemoveActionTest, LinksGoThemselvesAndTheirTargetsStay) {
  std::string target = File("outside/keep/inner.txt", "keep");
  std::string file = File("outside/file.txt", "file");
  fs::create_directories(m_dir.Sub("app"));
  fs::create_directory_symlink(m_dir.Sub("outside/keep"), m_dir.Sub("app/dirlink"));
  fs::create_directory_symlink(m_dir.Sub("outside/keep"), m_dir.Sub("app/dirlink2"));
  fs::create_symlink(file, m_dir.Sub("app/filelink"));
  fs::create_symlink(m_dir.Sub("gone"), m_dir.Sub("app/dangling"));

  EXPECT_TRUE(Remove(m_dir.Sub("app/dirlink")));
  EXPECT_TRUE(Remove(m_dir.Sub("app/dirlink2/")));
  EXPECT_TRUE(Remove(m_dir.Sub("app/filelink")));
  EXPECT_TRUE(Remove(m_dir.Sub("app/dangling")));

  EXPECT_TRUE(fs::is_empty(m_dir.Sub("app")));
  EXPECT_EQ(ReadFileBytes(target), "keep");
  EXPECT_EQ(ReadFileBytes(file), "file");
}

TEST(FileActionTypes, RegisteredUnderTheirNamesWithTheirDefaults) {
  RegisterActionTypes();
  std::unique_ptr<Action> copy = CreateAction(" Copy ");
  std::unique_ptr<Action> mkdir = CreateAction("mkdir");
  std::unique_ptr<Action> remove = CreateAction("remove");
  std::unique_ptr<Action> unzip = CreateAction("unzip");
  ClearActionTypes();

  ASSERT_NE(dynamic_cast<CopyAction*>(copy.get()), nullptr);
  ASSERT_NE(dynamic_cast<MkdirAction*>(mkdir.get()), nullptr);
  ASSERT_NE(dynamic_cast<RemoveAction*>(remove.get()), nullptr);
  ASSERT_NE(dynamic_cast<UnzipAction*>(unzip.get()), nullptr);
  EXPECT_THAT(copy->GetParamNames(), ElementsAre("description", "from", "to", "move", "overwrite"));
  EXPECT_THAT(copy->GetParamValues(), ElementsAre("", "", "", "true", "true"));
  EXPECT_THAT(mkdir->GetParamNames(), ElementsAre("description", "dir"));
  EXPECT_THAT(remove->GetParamNames(), ElementsAre("description", "path"));
  EXPECT_THAT(unzip->GetParamNames(), ElementsAre("description", "file", "where"));
  EXPECT_EQ(copy->GetType(), "copy");
  EXPECT_EQ(unzip->GetType(), "unzip");
}

}  // namespace
