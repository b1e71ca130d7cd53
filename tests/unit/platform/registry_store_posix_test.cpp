#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/env.h"
#include "support/registry_sandbox.h"
#include "support/temp_dir.h"

using namespace platform;

namespace {

RegistryStore& Store() { return *DefaultRegistryStore(); }

std::unique_ptr<RegistryHandle> Create(RootKey root, const std::string& path) {
  std::unique_ptr<RegistryHandle> key;
  EXPECT_EQ(Store().CreateKey(root, path, kKeyAllAccess, &key), kErrorSuccess) << path;
  return key;
}

Error Open(RootKey root, const std::string& path, uint32_t access,
           std::unique_ptr<RegistryHandle>* key = nullptr) {
  std::unique_ptr<RegistryHandle> local;
  return Store().OpenKey(root, path, access, key ? key : &local);
}

Error Set(RegistryHandle* key, const std::string& name, const std::string& data,
          uint32_t type = kRegBinary) {
  return Store().SetValue(key, name, type, data.data(), data.size());
}

// The value's bytes through the two-step query; *err gets the code.
std::string Get(RegistryHandle* key, const std::string& name, Error* err,
                uint32_t* type = nullptr) {
  uint32_t size = 0;
  *err = Store().QueryValue(key, name, type, nullptr, &size);
  if (*err != kErrorSuccess) return std::string();
  std::string data(size, '\0');
  *err = Store().QueryValue(key, name, type, data.data(), &size);
  data.resize(size);
  return data;
}

std::vector<std::string> SubKeys(RegistryHandle* key) {
  std::vector<std::string> names;
  std::string name;
  for (uint32_t i = 0; Store().EnumKey(key, i, &name) == kErrorSuccess; ++i) names.push_back(name);
  return names;
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

std::string IntegrityCheck(const std::string& path) {
  sqlite3* db = nullptr;
  std::string result = "cannot open";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW) {
      result = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    }
    sqlite3_finalize(s);
  }
  sqlite3_close(db);
  return result;
}

class RegistryStorePosix : public ::testing::Test {
 protected:
  RegistrySandbox m_sandbox;
};

TEST_F(RegistryStorePosix, MissingHiveHasOnlyItsRootsAndIsNotCreatedByReading) {
  std::unique_ptr<RegistryHandle> root;
  ASSERT_EQ(Open(kHkeyLocalMachine, "", kKeyAllAccess, &root), kErrorSuccess);
  Error err;
  Get(root.get(), "", &err);
  EXPECT_EQ(err, kErrorFileNotFound);
  std::string name;
  EXPECT_EQ(Store().EnumKey(root.get(), 0, &name), kErrorNoMoreItems);
  EXPECT_EQ(Open(kHkeyLocalMachine, "Software", kKeyRead), kErrorFileNotFound);
  EXPECT_EQ(Store().DeleteKey(kHkeyLocalMachine, "Software"), kErrorFileNotFound);
  EXPECT_FALSE(Exists(m_sandbox.MachineHive()));
  EXPECT_FALSE(Exists(m_sandbox.UserHive()));
}

TEST_F(RegistryStorePosix, FirstWriteMakesTheHiveAndItsFoldersAndEachRootFindsItsFile) {
  std::string nested = m_sandbox.dir() + "/a/b";
  setenv("VELMAR_REGISTRY_DIR", nested.c_str(), 1);
  auto lm = Create(kHkeyLocalMachine, "Software\\Velmar\\Acc");
  EXPECT_TRUE(Exists(nested + "/machine.db"));
  EXPECT_FALSE(Exists(nested + "/user.db"));
  auto cu = Create(kHkeyCurrentUser, "Software\\Velmar\\Acc");
  EXPECT_TRUE(Exists(nested + "/user.db"));
  ASSERT_EQ(Set(lm.get(), "where", "machine"), kErrorSuccess);
  ASSERT_EQ(Set(cu.get(), "where", "user"), kErrorSuccess);

  // The machine roots share one file but are separate trees.
  for (RootKey other : {kHkeyClassesRoot, kHkeyUsers, kHkeyCurrentConfig}) {
    EXPECT_EQ(Open(other, "Software\\Velmar\\Acc", kKeyRead), kErrorFileNotFound);
    Create(other, "Own");
  }
  std::unique_ptr<RegistryHandle> key;
  ASSERT_EQ(Open(kHkeyCurrentUser, "Software\\Velmar\\Acc", kKeyRead, &key), kErrorSuccess);
  Error err;
  EXPECT_EQ(Get(key.get(), "where", &err), "user");
  ASSERT_EQ(Open(kHkeyLocalMachine, "Software\\Velmar\\Acc", kKeyRead, &key), kErrorSuccess);
  EXPECT_EQ(Get(key.get(), "where", &err), "machine");
}

TEST_F(RegistryStorePosix, LocationIsReadAgainForEveryOperation) {
  Create(kHkeyLocalMachine, "First");
  TempDir other;
  setenv("VELMAR_REGISTRY_DIR", other.path().c_str(), 1);
  EXPECT_EQ(Open(kHkeyLocalMachine, "First", kKeyRead), kErrorFileNotFound);
  Create(kHkeyLocalMachine, "Second");
  EXPECT_TRUE(Exists(other.Sub("machine.db")));
  setenv("VELMAR_REGISTRY_DIR", m_sandbox.dir().c_str(), 1);
  EXPECT_EQ(Open(kHkeyLocalMachine, "First", kKeyRead), kErrorSuccess);
  EXPECT_EQ(Open(kHkeyLocalMachine, "Second", kKeyRead), kErrorFileNotFound);
}

TEST_F(RegistryStorePosix, UserHiveFollowsXdgConfigHomeThenHome) {
  unsetenv("VELMAR_REGISTRY_DIR");
  std::string oldXdg = getenv("XDG_CONFIG_HOME") ? getenv("XDG_CONFIG_HOME") : "";
  std::string oldHome = getenv("HOME") ? getenv("HOME") : "";
  TempDir xdg, home;
  setenv("XDG_CONFIG_HOME", xdg.path().c_str(), 1);
  Create(kHkeyCurrentUser, "A");
  EXPECT_TRUE(Exists(xdg.path() + "/velmar/registry/user.db"));
  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", home.path().c_str(), 1);
  Create(kHkeyCurrentUser, "B");
  EXPECT_TRUE(Exists(home.path() + "/.config/velmar/registry/user.db"));
  if (oldXdg.empty())
    unsetenv("XDG_CONFIG_HOME");
  else
    setenv("XDG_CONFIG_HOME", oldXdg.c_str(), 1);
  setenv("HOME", oldHome.c_str(), 1);
}

TEST_F(RegistryStorePosix, NamesIgnoreLetterCaseAndKeepTheCaseFirstWritten) {
  auto key = Create(kHkeyLocalMachine, "SOFTWARE\\Velmar\\Velmar Acc");
  ASSERT_EQ(Set(key.get(), "DisplayName", "one", kRegSz), kErrorSuccess);
  ASSERT_EQ(Set(key.get(), "DISPLAYNAME", "two", kRegExpandSz), kErrorSuccess);

  std::unique_ptr<RegistryHandle> again;
  ASSERT_EQ(Open(kHkeyLocalMachine, "software\\VELMAR\\velmar acc", kKeyRead, &again),
            kErrorSuccess);
  Error err;
  uint32_t type = 0;
  EXPECT_EQ(Get(again.get(), "displayname", &err, &type), "two");
  EXPECT_EQ(type, kRegExpandSz);
  std::string name, data;
  ASSERT_EQ(Store().EnumValue(again.get(), 0, &name, &type, &data), kErrorSuccess);
  EXPECT_EQ(name, "DisplayName");
  EXPECT_EQ(Store().EnumValue(again.get(), 1, &name, &type, &data), kErrorNoMoreItems);

  Create(kHkeyLocalMachine, "software\\velmar\\VELMAR ACC\\Sub");
  std::unique_ptr<RegistryHandle> parent;
  ASSERT_EQ(Open(kHkeyLocalMachine, "Software", kKeyRead, &parent), kErrorSuccess);
  EXPECT_EQ(SubKeys(parent.get()), std::vector<std::string>{"Velmar"});
}

TEST_F(RegistryStorePosix, SubKeysComeInOrderIgnoringCaseAndValuesInWrittenOrder) {
  for (const char* name : {"beta", "Alpha", "gamma", "ALPHA2"})
    Create(kHkeyLocalMachine, std::string("K\\") + name);
  auto key = Create(kHkeyLocalMachine, "K");
  EXPECT_EQ(SubKeys(key.get()), (std::vector<std::string>{"Alpha", "ALPHA2", "beta", "gamma"}));
  for (const char* name : {"z", "a", "m"}) Set(key.get(), name, name);
  Set(key.get(), "A", "again");
  std::vector<std::string> names;
  std::string name;
  for (uint32_t i = 0; Store().EnumValue(key.get(), i, &name, nullptr, nullptr) == kErrorSuccess;
       ++i)
    names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"z", "a", "m"}));
}

TEST_F(RegistryStorePosix, QueryTellsTheSizeAndRefusesASmallBuffer) {
  auto key = Create(kHkeyLocalMachine, "Q");
  ASSERT_EQ(Set(key.get(), "bin", std::string("\x01\x00\x02", 3)), kErrorSuccess);
  ASSERT_EQ(Set(key.get(), "empty", ""), kErrorSuccess);
  uint32_t size = 0, type = 0;
  ASSERT_EQ(Store().QueryValue(key.get(), "bin", &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(type, kRegBinary);
  char buffer[3] = {'x', 'x', 'x'};
  size = 2;
  EXPECT_EQ(Store().QueryValue(key.get(), "bin", nullptr, buffer, &size), kErrorMoreData);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(buffer[0], 'x');
  Error err;
  EXPECT_EQ(Get(key.get(), "bin", &err), std::string("\x01\x00\x02", 3));
  EXPECT_EQ(Get(key.get(), "empty", &err), "");
  EXPECT_EQ(err, kErrorSuccess);
  Get(key.get(), "none", &err);
  EXPECT_EQ(err, kErrorFileNotFound);
}

TEST_F(RegistryStorePosix, KeyDeletionRefusesRootsAndKeysWithSubKeysAndTakesValuesAlong) {
  auto a = Create(kHkeyLocalMachine, "A\\B");
  std::unique_ptr<RegistryHandle> parent;
  ASSERT_EQ(Open(kHkeyLocalMachine, "A", kKeyAllAccess, &parent), kErrorSuccess);
  Set(parent.get(), "v", "old");
  EXPECT_EQ(Store().DeleteKey(kHkeyLocalMachine, ""), kErrorAccessDenied);
  EXPECT_EQ(Store().DeleteKey(kHkeyLocalMachine, "A"), kErrorAccessDenied);
  EXPECT_EQ(Store().DeleteKey(kHkeyLocalMachine, "a\\b"), kErrorSuccess);
  EXPECT_EQ(Store().DeleteKey(kHkeyLocalMachine, "A\\B"), kErrorFileNotFound);
  EXPECT_EQ(Store().DeleteKey(kHkeyLocalMachine, "A"), kErrorSuccess);
  auto again = Create(kHkeyLocalMachine, "A");
  Error err;
  Get(again.get(), "v", &err);
  EXPECT_EQ(err, kErrorFileNotFound);
  // The handle opened before the deletion no longer reaches a key.
  EXPECT_EQ(Set(parent.get(), "v", "lost"), kErrorKeyDeleted);
}

TEST_F(RegistryStorePosix, HandleRightsAreEnforcedAndUnknownRootsRefused) {
  Create(kHkeyLocalMachine, "R");
  std::unique_ptr<RegistryHandle> reader, setter;
  ASSERT_EQ(Open(kHkeyLocalMachine, "R", kKeyRead, &reader), kErrorSuccess);
  EXPECT_EQ(Set(reader.get(), "v", "x"), kErrorAccessDenied);
  EXPECT_EQ(Store().DeleteValue(reader.get(), "v"), kErrorAccessDenied);
  ASSERT_EQ(Open(kHkeyLocalMachine, "R", kKeySetValue, &setter), kErrorSuccess);
  EXPECT_EQ(Set(setter.get(), "v", "x"), kErrorSuccess);
  Error err;
  Get(setter.get(), "v", &err);
  EXPECT_EQ(err, kErrorAccessDenied);
  std::string name;
  EXPECT_EQ(Store().EnumKey(setter.get(), 0, &name), kErrorAccessDenied);

  std::unique_ptr<RegistryHandle> key;
  EXPECT_EQ(Store().OpenKey(0x80000004u, "", kKeyRead, &key), kErrorInvalidHandle);
  EXPECT_EQ(Store().CreateKey(0, "X", kKeyWrite, &key), kErrorInvalidHandle);
  EXPECT_EQ(Store().DeleteKey(0x12345678u, "X"), kErrorInvalidHandle);
  EXPECT_FALSE(key);
}

TEST_F(RegistryStorePosix, RootOfAHiveNotYetMadeTakesValues) {
  std::unique_ptr<RegistryHandle> root;
  ASSERT_EQ(Open(kHkeyCurrentUser, "", kKeyAllAccess, &root), kErrorSuccess);
  EXPECT_FALSE(Exists(m_sandbox.UserHive()));
  ASSERT_EQ(Set(root.get(), "top", "1"), kErrorSuccess);
  std::unique_ptr<RegistryHandle> again;
  ASSERT_EQ(Open(kHkeyCurrentUser, "", kKeyRead, &again), kErrorSuccess);
  Error err;
  EXPECT_EQ(Get(again.get(), "top", &err), "1");
}

TEST_F(RegistryStorePosix, EmptyFileIsAnEmptyHive) {
  ASSERT_TRUE(WriteFileBytes(m_sandbox.MachineHive(), ""));
  EXPECT_EQ(Open(kHkeyLocalMachine, "A", kKeyRead), kErrorFileNotFound);
  auto key = Create(kHkeyLocalMachine, "A");
  EXPECT_EQ(Set(key.get(), "v", "1"), kErrorSuccess);
}

// Every operation of the store on one hive; each must answer `expected`.
void ExpectEveryOperationAnswers(RootKey root, Error expected) {
  std::unique_ptr<RegistryHandle> key;
  EXPECT_EQ(Store().OpenKey(root, "", kKeyRead, &key), expected);
  EXPECT_EQ(Store().OpenKey(root, "Software\\Velmar", kKeyRead, &key), expected);
  EXPECT_EQ(Store().CreateKey(root, "Software\\Velmar", kKeyWrite, &key), expected);
  EXPECT_EQ(Store().CreateKey(root, "New\\Key", kKeyWrite, &key), expected);
  EXPECT_EQ(Store().DeleteKey(root, "Software\\Velmar"), expected);
  EXPECT_FALSE(key);
}

TEST_F(RegistryStorePosix, FileThatIsNotAHiveAnswers1009AndIsNeverWritten) {
  std::string junk;
  for (int i = 0; i < 200; ++i) junk += "this is not a registry hive\n";
  ASSERT_TRUE(WriteFileBytes(m_sandbox.MachineHive(), junk));
  ExpectEveryOperationAnswers(kHkeyLocalMachine, kErrorBadDatabase);
  EXPECT_EQ(ReadFileBytes(m_sandbox.MachineHive()), junk);
  EXPECT_FALSE(Exists(m_sandbox.MachineHive() + "-journal"));
  // The other hive is not affected.
  Create(kHkeyCurrentUser, "Software");
}

TEST_F(RegistryStorePosix, ForeignDatabaseAnswers1009AndIsNeverWritten) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(m_sandbox.MachineHive().c_str(), &db), SQLITE_OK);
  ASSERT_EQ(
      sqlite3_exec(db, "CREATE TABLE t(x); INSERT INTO t VALUES(1);", nullptr, nullptr, nullptr),
      SQLITE_OK);
  sqlite3_close(db);
  std::string before = ReadFileBytes(m_sandbox.MachineHive());
  ExpectEveryOperationAnswers(kHkeyLocalMachine, kErrorBadDatabase);
  EXPECT_EQ(ReadFileBytes(m_sandbox.MachineHive()), before);
}

TEST_F(RegistryStorePosix, DamagedHiveAnswers1009AndIsNeverWritten) {
  {
    auto key = Create(kHkeyLocalMachine, "Software\\Velmar");
    for (int i = 0; i < 50; ++i) Set(key.get(), "v" + std::to_string(i), std::string(100, 'x'));
  }
  std::string bytes = ReadFileBytes(m_sandbox.MachineHive());
  ASSERT_GT(bytes.size(), 3 * 4096u);
  // Scribble over the second page, the top of one of the tables.
  for (size_t i = 4096; i < 2 * 4096; ++i) bytes[i] = static_cast<char>(0xA5 ^ i);
  ASSERT_TRUE(WriteFileBytes(m_sandbox.MachineHive(), bytes));
  ExpectEveryOperationAnswers(kHkeyLocalMachine, kErrorBadDatabase);
  EXPECT_EQ(ReadFileBytes(m_sandbox.MachineHive()), bytes);
}

// A hive is checked once, then trusted while it stays the same file, unchanged
// but by this process's writes: a damaged file put in its place afterwards, by
// any of these means, is still found out.
TEST_F(RegistryStorePosix, DamagedFileReplacingAHiveAlreadyCheckedAnswers1009) {
  enum Way { kRewrite, kRewriteKeepingTimes, kRenameOver };
  for (Way way : {kRewrite, kRewriteKeepingTimes, kRenameOver}) {
    RegistrySandbox sandbox;
    const std::string hive = sandbox.MachineHive();
    {
      auto key = Create(kHkeyLocalMachine, "Software\\Velmar");
      for (int i = 0; i < 10; ++i) Set(key.get(), "v" + std::to_string(i), std::string(1000, 'x'));
    }
    ASSERT_EQ(Open(kHkeyLocalMachine, "Software\\Velmar", kKeyRead), kErrorSuccess);
    struct stat before;
    ASSERT_EQ(stat(hive.c_str(), &before), 0);
    std::string bytes = ReadFileBytes(hive);
    for (size_t i = 4096; i < 2 * 4096; ++i) bytes[i] = static_cast<char>(0xA5 ^ i);
    if (way == kRenameOver) {
      ASSERT_TRUE(WriteFileBytes(hive + ".new", bytes));
      ASSERT_EQ(rename((hive + ".new").c_str(), hive.c_str()), 0);
    } else {
      ASSERT_TRUE(WriteFileBytes(hive, bytes));
    }
    if (way == kRewriteKeepingTimes) {
      timespec times[2] = {before.st_atim, before.st_mtim};
      ASSERT_EQ(utimensat(AT_FDCWD, hive.c_str(), times, 0), 0);
    }
    SCOPED_TRACE(way);
    ExpectEveryOperationAnswers(kHkeyLocalMachine, kErrorBadDatabase);
    EXPECT_EQ(ReadFileBytes(hive), bytes);
  }
}

// How many keys of that name the hive file holds, read past the store.
int64_t KeysNamedOnDisk(const std::string& hive, const std::string& name) {
  sqlite3* db = nullptr;
  int64_t count = -1;
  if (sqlite3_open_v2(hive.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT count(*) FROM keys WHERE name = ?", -1, &s, nullptr) ==
        SQLITE_OK) {
      sqlite3_bind_text(s, 1, name.c_str(), -1, SQLITE_TRANSIENT);
      if (sqlite3_step(s) == SQLITE_ROW) count = sqlite3_column_int64(s, 0);
    }
    sqlite3_finalize(s);
  }
  sqlite3_close(db);
  return count;
}

TEST_F(RegistryStorePosix, ChangesBetweenBeginAndEndReachTheFileAtOnce) {
  Create(kHkeyLocalMachine, "Software\\A");
  std::string junk(8192, 'j');
  ASSERT_TRUE(WriteFileBytes(m_sandbox.UserHive(), junk));
  Store().BeginChanges();
  {
    auto key = Create(kHkeyLocalMachine, "Software\\A\\B");
    EXPECT_EQ(Set(key.get(), "x", "1"), kErrorSuccess);
  }
  // Seen by the process's own reads, not yet in the file.
  std::unique_ptr<RegistryHandle> read;
  ASSERT_EQ(Open(kHkeyLocalMachine, "Software\\A\\B", kKeyRead, &read), kErrorSuccess);
  Error err;
  EXPECT_EQ(Get(read.get(), "x", &err), "1");
  EXPECT_EQ(KeysNamedOnDisk(m_sandbox.MachineHive(), "B"), 0);
  // A refused change leaves the others; a damaged hive is still never written.
  EXPECT_EQ(Store().DeleteKey(kHkeyLocalMachine, "Software\\A"), kErrorAccessDenied);
  Create(kHkeyLocalMachine, "Software\\C");
  ExpectEveryOperationAnswers(kHkeyCurrentUser, kErrorBadDatabase);
  EXPECT_EQ(Store().EndChanges(), kErrorSuccess);
  EXPECT_EQ(KeysNamedOnDisk(m_sandbox.MachineHive(), "B"), 1);
  EXPECT_EQ(KeysNamedOnDisk(m_sandbox.MachineHive(), "C"), 1);
  EXPECT_EQ(IntegrityCheck(m_sandbox.MachineHive()), "ok");
  EXPECT_EQ(ReadFileBytes(m_sandbox.UserHive()), junk);
  // The key opened in the series still works after it.
  EXPECT_EQ(Get(read.get(), "x", &err), "1");
}

TEST_F(RegistryStorePosix, HiveWithoutOwnerWriteBitIsReadOnlyEvenForRoot) {
  {
    auto key = Create(kHkeyLocalMachine, "Software\\Velmar");
    Set(key.get(), "v", "kept");
  }
  ASSERT_EQ(chmod(m_sandbox.MachineHive().c_str(), 0444), 0);
  std::string before = ReadFileBytes(m_sandbox.MachineHive());

  std::unique_ptr<RegistryHandle> key;
  ASSERT_EQ(Open(kHkeyLocalMachine, "software\\velmar", kKeyRead, &key), kErrorSuccess);
  Error err;
  EXPECT_EQ(Get(key.get(), "v", &err), "kept");
  EXPECT_EQ(Open(kHkeyLocalMachine, "Software\\Velmar", kKeyAllAccess), kErrorAccessDenied);
  EXPECT_EQ(Open(kHkeyLocalMachine, "Software\\Velmar", kKeySetValue), kErrorAccessDenied);
  EXPECT_EQ(Open(kHkeyLocalMachine, "Missing", kKeyAllAccess), kErrorFileNotFound);
  // An existing key still "creates" for reading; nothing new can be made.
  EXPECT_EQ(Store().CreateKey(kHkeyLocalMachine, "Software\\Velmar", kKeyRead, &key),
            kErrorSuccess);
  EXPECT_EQ(Store().CreateKey(kHkeyLocalMachine, "Software\\Velmar", kKeyWrite, &key),
            kErrorAccessDenied);
  EXPECT_EQ(Store().CreateKey(kHkeyLocalMachine, "Software\\New", kKeyRead, &key),
            kErrorAccessDenied);
  EXPECT_EQ(Store().DeleteKey(kHkeyLocalMachine, "Software\\Velmar"), kErrorAccessDenied);
  EXPECT_EQ(ReadFileBytes(m_sandbox.MachineHive()), before);
}

// Writes `count` values under a shared key and one key of its own per value.
// Returns the number of failed writes and reports the first one.
int Writer(int id, int count) {
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    std::unique_ptr<RegistryHandle> shared, own;
    std::string tag = std::to_string(id) + "-" + std::to_string(i);
    std::string ownPath = "Race\\Writer" + std::to_string(id) + "\\K" + std::to_string(i);
    Error err = Store().CreateKey(kHkeyLocalMachine, "Race\\Shared", kKeyWrite, &shared);
    if (err == kErrorSuccess) err = Set(shared.get(), "w" + tag, tag);
    if (err == kErrorSuccess) err = Store().CreateKey(kHkeyLocalMachine, ownPath, kKeyWrite, &own);
    if (err != kErrorSuccess && failures++ == 0) {
      fprintf(stderr, "writer %d, write %d: error %u\n", id, i, static_cast<unsigned>(err));
    }
  }
  return failures;
}

TEST_F(RegistryStorePosix, ProcessesWritingTheSameHiveAtOnceLoseNothing) {
  constexpr int kWriters = 3;
  constexpr int kCount = 200;
  std::vector<pid_t> children;
  for (int id = 1; id < kWriters; ++id) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) _exit(Writer(id, kCount) == 0 ? 0 : 1);
    children.push_back(pid);
  }
  EXPECT_EQ(Writer(0, kCount), 0);
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "writer process failed";
  }

  std::unique_ptr<RegistryHandle> shared;
  ASSERT_EQ(Open(kHkeyLocalMachine, "Race\\Shared", kKeyRead, &shared), kErrorSuccess);
  for (int id = 0; id < kWriters; ++id) {
    for (int i = 0; i < kCount; ++i) {
      std::string tag = std::to_string(id) + "-" + std::to_string(i);
      Error err;
      ASSERT_EQ(Get(shared.get(), "w" + tag, &err), tag);
    }
    std::unique_ptr<RegistryHandle> own;
    ASSERT_EQ(Open(kHkeyLocalMachine, "Race\\Writer" + std::to_string(id), kKeyRead, &own),
              kErrorSuccess);
    EXPECT_EQ(SubKeys(own.get()).size(), static_cast<size_t>(kCount));
  }
  EXPECT_EQ(IntegrityCheck(m_sandbox.MachineHive()), "ok");
}

TEST_F(RegistryStorePosix, WriteWaitsForAnotherProcessHoldingTheHive) {
  auto key = Create(kHkeyLocalMachine, "Held");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    sqlite3* db = nullptr;
    sqlite3_open(m_sandbox.MachineHive().c_str(), &db);
    int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    (void)!write(ready[1], "x", 1);
    usleep(300 * 1000);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    _exit(rc == SQLITE_OK ? 0 : 1);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Set(key.get(), "v", "after"), kErrorSuccess);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  close(ready[0]);
  close(ready[1]);
}

TEST_F(RegistryStorePosix, WriterKilledMidWayLeavesASoundHive) {
  Create(kHkeyLocalMachine, "Killed");
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    Writer(7, 1000000);
    _exit(0);
  }
  usleep(150 * 1000);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  auto key = Create(kHkeyLocalMachine, "Race\\Shared");
  EXPECT_EQ(Set(key.get(), "after", "1"), kErrorSuccess);
  EXPECT_EQ(IntegrityCheck(m_sandbox.MachineHive()), "ok");
}

}  // namespace
