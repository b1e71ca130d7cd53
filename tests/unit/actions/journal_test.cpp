// The journal put back by a later start: every moment at which a kill can cut
// a change short, and the rule that it never reaches through a link.
#include "actions/journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "env/config.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

class JournalTest : public ::testing::Test {
 public:
  JournalTest() : m_savedAppPath(g_szAppPath) {
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
  EXPECT_FALSE(journal.WillWrite(g_szAppPath + "/link"));
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
