// The journal put back by a later start: every moment at which a kill can cut
// a change short, and the rule that it never reaches through a link.
#include "actions/journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "actions/journal_format.h"
#include "actions/registry_tree.h"
#include "env/config.h"
#include "env/texts.h"
#include "platform/env.h"
#include "support/registry_sandbox.h"
#include "support/temp_dir.h"
#include "support/update_checks.h"

namespace fs = std::filesystem;

namespace {

class JournalTest : public ::testing::Test {
 public:
  JournalTest() : m_savedAppPath(g_szAppPath) {
    // updater.log lands here.
    m_dir.Enter();
    g_szAppPath = m_dir.Sub("app");
    fs::create_directories(g_szAppPath);
    m_szFolder = RollbackPathOf(g_szAppPath);
    m_szFile = JoinPath(g_szAppPath, "f.txt");
  }
  ~JournalTest() override { g_szAppPath = m_savedAppPath; }

  // The one file kept aside so far (the journal aside).
  std::string Aside() const {
    for (const auto& e : fs::directory_iterator(m_szFolder)) {
      if (e.path().filename() != "journal") return e.path().string();
    }
    return std::string();
  }

  TempDir m_dir;
  std::string m_savedAppPath;
  std::string m_szFolder;
  std::string m_szFile;
};

}  // namespace

TEST_F(JournalTest, EveryMomentAKillCanCutAChangeShortIsPutBack) {
  struct Case {
    const char* name;
    std::function<void(JournalTest*, Journal*)> cut;
  };
  const Case cases[] = {
      {"written over after the copy was kept",
       [](JournalTest* t, Journal* j) {
         ASSERT_TRUE(j->WillWrite(t->m_szFile));
         WriteFileBytes(t->m_szFile, "new bytes");
         j->Leaves(t->m_szFile);
       }},
      {"replaced by a rename after a second name was kept",
       [](JournalTest* t, Journal* j) {
         ASSERT_TRUE(j->WillReplace(t->m_szFile));
         WriteFileBytes(t->m_szFile + ".new", "new bytes");
         j->Leaves(t->m_szFile, t->m_szFile + ".new");
         fs::rename(t->m_szFile + ".new", t->m_szFile);
       }},
      {"killed while the copy was being made",
       [](JournalTest* t, Journal* j) {
         ASSERT_TRUE(j->WillWrite(t->m_szFile));
         std::string aside = t->Aside();
         fs::rename(aside, aside + ".part");
         WriteFileBytes(aside + ".part", "ol");
       }},
      {"killed after the record, before anything else",
       [](JournalTest* t, Journal* j) {
         ASSERT_TRUE(j->WillWrite(t->m_szFile));
         fs::remove(t->Aside());
       }},
      {"removed aside",
       [](JournalTest* t, Journal* j) {
         ASSERT_TRUE(j->RemoveAside(t->m_szFile));
         ASSERT_FALSE(fs::exists(t->m_szFile));
       }},
      {"killed between the two renames of a removal",
       [](JournalTest* t, Journal* j) {
         ASSERT_TRUE(j->RemoveAside(t->m_szFile));
         std::string aside = t->Aside();
         fs::rename(aside, aside + ".part");
       }},
      {"a record cut short at the end",
       [](JournalTest* t, Journal* j) {
         ASSERT_TRUE(j->WillWrite(t->m_szFile));
         WriteFileBytes(t->m_szFile, "new bytes");
         j->Leaves(t->m_szFile);
         std::string journal = ReadFileBytes(t->m_szFolder + "/journal");
         WriteFileBytes(t->m_szFolder + "/journal", journal + "s2\n12\n/some/path/");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFileBytes(m_szFile, "old");
    chmod(m_szFile.c_str(), 0751);
    // What the file system keeps of that mode (Windows: the write bit).
    const fs::perms mode = fs::status(m_szFile).permissions();
    auto time = fs::last_write_time(m_szFile) - std::chrono::hours(30);
    fs::last_write_time(m_szFile, time);
    {
      Journal journal(m_szFolder);
      ASSERT_EQ(journal.Begin(g_szAppPath, "1.0.0.0"), Journal::Status::kOk);
      c.cut(this, &journal);
    }
    // The next start.
    Journal left(m_szFolder);
    EXPECT_EQ(left.Undo(g_szAppPath), Journal::Status::kOk);
    EXPECT_EQ(ReadFileBytes(m_szFile), "old");
    EXPECT_EQ(fs::status(m_szFile).permissions(), mode);
    EXPECT_EQ(fs::last_write_time(m_szFile), time);
    EXPECT_FALSE(fs::exists(m_szFolder));
  }
}

TEST_F(JournalTest, WhatDidNotExistGoesAgainDeepestFirst) {
  Journal journal(m_szFolder);
  ASSERT_EQ(journal.Begin(g_szAppPath, "1.0.0.0"), Journal::Status::kOk);
  std::string top = JoinPath(g_szAppPath, "a");
  std::string deep = JoinPath(JoinPath(top, "b"), "c");
  ASSERT_TRUE(journal.WillCreateDirs(deep));
  fs::create_directories(deep);
  ASSERT_TRUE(journal.WillWrite(JoinPath(deep, "new.txt")));
  WriteFileBytes(JoinPath(deep, "new.txt"), "made");
  journal.Leaves(JoinPath(deep, "new.txt"));
  ASSERT_TRUE(journal.WillMove(m_szFile + ".absent", JoinPath(top, "m")));
  std::vector<Journal::Record> records;
  ASSERT_EQ(journal.Read(&records), Journal::Status::kOk);
  EXPECT_EQ(records.size(), 6u);  // the header first
  EXPECT_EQ(journal.Undo(g_szAppPath), Journal::Status::kOk);
  EXPECT_FALSE(fs::exists(top));
  EXPECT_TRUE(fs::exists(g_szAppPath));
}

TEST_F(JournalTest, NothingIsReachedThroughALink) {
  std::string outside = m_dir.Sub("outside");
  fs::create_directories(outside);
  WriteFileBytes(outside + "/f", "outside");
  fs::create_directory_symlink(outside, g_szAppPath + "/through");
  fs::create_symlink(outside + "/f", g_szAppPath + "/link");
  Journal journal(m_szFolder);
  ASSERT_EQ(journal.Begin(g_szAppPath, "1.0.0.0"), Journal::Status::kOk);
  EXPECT_FALSE(journal.WillWrite(g_szAppPath + "/through/f"));
  EXPECT_FALSE(journal.RemoveAside(g_szAppPath + "/through/f"));
  // Refused however often it is asked.
  EXPECT_FALSE(journal.WillWrite(g_szAppPath + "/link"));
  EXPECT_FALSE(journal.WillReplace(g_szAppPath + "/link"));
  // A link removed is the link itself, kept aside and put back as a link.
  EXPECT_TRUE(journal.RemoveAside(g_szAppPath + "/link"));
  EXPECT_EQ(journal.Undo(g_szAppPath), Journal::Status::kOk);
  EXPECT_TRUE(fs::is_symlink(g_szAppPath + "/link"));
  EXPECT_EQ(ReadFileBytes(outside + "/f"), "outside");
  EXPECT_EQ(fs::read_symlink(g_szAppPath + "/link"), outside + "/f");
}

TEST_F(JournalTest, AReadOnlyFileStaysAsARemovalWouldLeaveIt) {
  fs::create_directories(g_szAppPath + "/tree/sub");
  WriteFileBytes(g_szAppPath + "/tree/sub/ro", "ro");
  chmod((g_szAppPath + "/tree/sub/ro").c_str(), 0444);
  Journal journal(m_szFolder);
  ASSERT_EQ(journal.Begin(g_szAppPath, "1.0.0.0"), Journal::Status::kOk);
  EXPECT_FALSE(journal.RemoveAside(g_szAppPath + "/tree/sub/ro"));
  EXPECT_FALSE(journal.RemoveAside(g_szAppPath + "/tree"));
  EXPECT_EQ(ReadFileBytes(g_szAppPath + "/tree/sub/ro"), "ro");
  EXPECT_TRUE(journal.Commit());
}

// A removal left its file's only copy aside; whatever is wrong with the
// journal before its end, nothing is undone, deleted or rewritten.
TEST_F(JournalTest, BadBytesBeforeTheEndStopTheUndoAndKeepEverything) {
  std::string made = JoinPath(g_szAppPath, "made");
  auto header = [](const std::string& app) {
    return EncodeRecord('h', {"velmar-journal-1", app, "1.0.0.0"});
  };
  auto removal = [this](const std::string& aside) {
    return EncodeRecord('s', {m_szFile, aside, "f 1 2 3 4"}) + EncodeRecord('i', {m_szFile, "-"});
  };
  std::string whole = header(g_szAppPath) + removal("0") + EncodeRecord('d', {made});
  std::string second = removal("0");
  std::string flipped = second;
  flipped[flipped.find("f.txt")] = 'g';
  const std::pair<std::string, bool> cases[] = {
      {whole, true},
      {whole.substr(0, whole.size() - 3), true},  // the last record cut short
      {whole.substr(0, whole.size() - 9) + std::string(9, '\0'), true},
      {header(g_szAppPath) + std::string(second.size(), '\0') + EncodeRecord('d', {made}), false},
      {header(g_szAppPath) + flipped, false},
      {header(g_szAppPath) + removal("../f.txt"), false},
      {header(m_dir.Sub("other")) + second, false},
      {second, false},
      {header(g_szAppPath) + "s3\n99999999999\n", false},
  };
  for (const auto& [bytes, undone] : cases) {
    SCOPED_TRACE(bytes);
    fs::create_directories(made);
    {
      Journal journal(m_szFolder);
      ASSERT_EQ(journal.Begin(g_szAppPath, "1.0.0.0"), Journal::Status::kOk);
    }
    WriteFileBytes(m_szFolder + "/journal", bytes);
    WriteFileBytes(m_szFolder + "/0", "the only copy");
    EXPECT_EQ(Journal(m_szFolder).Undo(g_szAppPath),
              undone ? Journal::Status::kOk : Journal::Status::kBad);
    EXPECT_EQ(ReadFileBytes(m_szFile), undone ? "the only copy" : "");
    if (!undone) {
      EXPECT_EQ(ReadFileBytes(m_szFolder + "/0"), "the only copy");
      EXPECT_EQ(ReadFileBytes(m_szFolder + "/journal"), bytes);
      EXPECT_TRUE(fs::exists(made));
    }
    fs::remove_all(m_szFolder);
    fs::remove(m_szFile);
  }
}

// Since the update left them, the file was changed, made anew or put back by
// someone else: the undo keeps that aside and names it, and puts back what
// was there before the update.
TEST_F(JournalTest, AnUndoPutsBackOnlyOverWhatTheUpdateLeft) {
  std::string made = JoinPath(g_szAppPath, "made.txt");
  const std::function<void(Journal*)> changes[] = {
      [&](Journal* j) {
        ASSERT_TRUE(j->WillReplace(m_szFile));
        WriteFileBytes(m_szFile + ".new", "update");
        j->Leaves(m_szFile, m_szFile + ".new");
        fs::rename(m_szFile + ".new", m_szFile);
      },
      [&](Journal* j) {
        ASSERT_TRUE(j->WillWrite(made));
        WriteFileBytes(made, "update");
        j->Leaves(made);
      },
      [&](Journal* j) { ASSERT_TRUE(j->RemoveAside(m_szFile)); },
  };
  for (const auto& change : changes) {
    WriteFileBytes(m_szFile, "old");
    {
      Journal journal(m_szFolder);
      ASSERT_EQ(journal.Begin(g_szAppPath, "1.0.0.0"), Journal::Status::kOk);
      change(&journal);
    }
    std::string changed = fs::exists(made) ? made : m_szFile;
    fs::remove(changed);
    WriteFileBytes(changed, "the user's");
    EXPECT_EQ(Journal(m_szFolder).Undo(g_szAppPath), Journal::Status::kOk);
    EXPECT_EQ(ReadFileBytes(m_szFile), "old");
    EXPECT_FALSE(fs::exists(made));
    std::string kept = JoinPath(m_szFolder, "kept-0");
    EXPECT_EQ(ReadFileBytes(kept), "the user's");
    EXPECT_EQ(LogLines("updater.log").back(),
              std::string(texts::kChangedFileKept) + changed + " -> " + kept);
    fs::remove_all(m_szFolder);
  }
}

namespace {

// Fails moving the aside of one path back.
class NoMoveBackFs : public platform::FsWrapper {
 public:
  explicit NoMoveBackFs(std::string path)
      : FsWrapper(&platform::Env::Get().fs()), m_szPath(std::move(path)) {}
  platform::Error MoveOut(platform::Folder* f, const std::string& n,
                          const std::string& p) override {
    return p == m_szPath ? platform::kErrorAccessDenied : FsWrapper::MoveOut(f, n, p);
  }
  std::string m_szPath;
};

}  // namespace

// An undo that fails keeps what it did not undo, and a later one goes on from
// there; a read-only file kept by a second name keeps its bit.
TEST_F(JournalTest, AnUndoThatFailsIsGoneOnWithLater) {
  std::string second = JoinPath(g_szAppPath, "g.txt");
  std::string locked = JoinPath(g_szAppPath, "locked.txt");
  WriteFileBytes(m_szFile, "f");
  WriteFileBytes(second, "g");
  WriteFileBytes(locked, "ro");
  platform::Fs& real = platform::Env::Get().fs();
  ASSERT_EQ(real.SetAttributes(locked, platform::kAttrReadOnly), platform::kErrorSuccess);
  {
    Journal journal(m_szFolder);
    ASSERT_EQ(journal.Begin(g_szAppPath, "1.0.0.0"), Journal::Status::kOk);
    ASSERT_TRUE(journal.WillReplace(locked));
    ASSERT_TRUE(journal.RemoveAside(m_szFile));
    ASSERT_TRUE(journal.RemoveAside(second));
  }
  {
    NoMoveBackFs broken(m_szFile);
    platform::ScopedService<platform::Fs> guard(&platform::Env::SetFs, &broken);
    Journal journal(m_szFolder);
    EXPECT_EQ(journal.Undo(g_szAppPath), Journal::Status::kFailed);
  }
  EXPECT_EQ(ReadFileBytes(second), "g");
  EXPECT_FALSE(fs::exists(m_szFile));
  Journal journal(m_szFolder);
  std::vector<Journal::Record> records;
  ASSERT_EQ(journal.Read(&records), Journal::Status::kOk);
  ASSERT_EQ(records.size(), 3u);  // the header, the kept file, the removal of f.txt
  EXPECT_EQ(records[2].fields[0], m_szFile);
  EXPECT_EQ(journal.Undo(g_szAppPath), Journal::Status::kOk);
  EXPECT_EQ(ReadFileBytes(m_szFile), "f");
  uint32_t attributes = 0;
  ASSERT_EQ(real.GetAttributes(locked, &attributes), platform::kErrorSuccess);
  EXPECT_TRUE(attributes & platform::kAttrReadOnly);
  real.SetAttributes(locked, platform::kAttrNormal);
}

namespace {

// HKEY_CURRENT_USER as another user sees it.
class OtherUserRegistry : public platform::RegistryStoreWrapper {
 public:
  OtherUserRegistry() : RegistryStoreWrapper(&platform::Env::Get().registry()) {}
  std::string CurrentUser() override { return "someone else"; }
};

}  // namespace

// A value changed since the update wrote it stays as it is now; a value of
// another user's HKEY_CURRENT_USER waits in the journal for that user.
TEST_F(JournalTest, RegistryValuesChangedSinceOrOfAnotherUserAreLeftAlone) {
  RegistrySandbox sandbox;
  const char kKey[] = "Software\\Velmar Test";
  const std::string kNew("new\0", 4), kOld("old\0", 4), kUser("user's\0", 7);
  for (platform::RootKey root : {platform::kHkeyLocalMachine, platform::kHkeyCurrentUser}) {
    ASSERT_TRUE(PutRegistryValue(root, kKey, "v", {true, platform::kRegSz, kOld}));
  }
  {
    Journal journal(m_szFolder);
    ASSERT_EQ(journal.Begin(g_szAppPath, "1.0.0.0"), Journal::Status::kOk);
    for (platform::RootKey root : {platform::kHkeyLocalMachine, platform::kHkeyCurrentUser}) {
      ASSERT_TRUE(journal.WillChangeValue(root, kKey, "v", &kNew, platform::kRegSz));
      ASSERT_TRUE(PutRegistryValue(root, kKey, "v", {true, platform::kRegSz, kNew}));
    }
  }
  ASSERT_TRUE(
      PutRegistryValue(platform::kHkeyLocalMachine, kKey, "v", {true, platform::kRegSz, kUser}));
  auto value = [&](platform::RootKey root) {
    RegistryValue v;
    EXPECT_TRUE(QueryRegistryValue(root, kKey, "v", &v));
    return v.data;
  };
  {
    OtherUserRegistry other;
    platform::ScopedService<platform::RegistryStore> guard(&platform::Env::SetRegistry, &other);
    Journal journal(m_szFolder);
    EXPECT_EQ(journal.Undo(g_szAppPath), Journal::Status::kFailed);
  }
  EXPECT_EQ(value(platform::kHkeyLocalMachine), kUser);
  EXPECT_EQ(value(platform::kHkeyCurrentUser), kNew);
  Journal journal(m_szFolder);
  EXPECT_EQ(journal.Undo(g_szAppPath), Journal::Status::kOk);
  EXPECT_EQ(value(platform::kHkeyCurrentUser), kOld);
  EXPECT_EQ(value(platform::kHkeyLocalMachine), kUser);
}
