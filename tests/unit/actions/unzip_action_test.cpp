#include "actions/unzip_action.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <time.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "env/config.h"
#include "env/texts.h"
#include "platform/env.h"
#include "support/native_path.h"
#include "support/recording_main_window.h"
#include "support/scoped_this_file.h"
#include "support/short_write_fs.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const std::string kUnzipping = texts::kUnzipping;
const std::string kUnzipError = texts::kUnzipError;
const std::string kUnzipDone = texts::kUnzipDone;

// Every file and folder below `root`, relative, with the files' bytes.
std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string relative = fs::relative(entry.path(), root).generic_string();
    tree[relative] = entry.is_directory() ? "<dir>" : ReadFileBytes(entry.path().string());
  }
  return tree;
}

// The time zone for one test; local time then differs from UTC by 8 hours.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    const char* old = std::getenv("TZ");
    m_bHad = old != nullptr;
    if (old) m_szOld = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (m_bHad) {
      setenv("TZ", m_szOld.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool m_bHad = false;
  std::string m_szOld;
};

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7) % 26);
  return s;
}

// Records the paths handed to the file system for writing and creating.
class RecordingFs : public platform::FsWrapper {
 public:
  RecordingFs() : FsWrapper(platform::DefaultFs()) {}
  platform::Error CreateDir(const std::string& p) override {
    m_aPaths.push_back(p);
    return FsWrapper::CreateDir(p);
  }
  platform::Error OpenForWrite(const std::string& p, platform::WriteMode m,
                               std::unique_ptr<platform::WritableFile>* f) override {
    m_aPaths.push_back(p);
    return FsWrapper::OpenForWrite(p, m, f);
  }
  std::vector<std::string> m_aPaths;
};

class UnzipActionTest : public ::testing::Test {
 protected:
  UnzipActionTest() { m_dir.Enter(); }

  int Unzip(const std::string& archive, const std::string& where,
            const std::string& description = "") {
    UnzipAction action;
    action.SetParam("description", description);
    action.SetParam("file", archive);
    action.SetParam("where", where);
    return action.Execute();
  }
  // Builds the archive into the temporary folder and returns its path.
  std::string Archive(const ZipBuilder& builder, const std::string& name = "package.zip") {
    std::string path = m_dir.Sub(name);
    EXPECT_TRUE(builder.Write(path));
    return path;
  }

  TempDir m_dir;
  RecordingMainWindow m_window;
};

TEST_F(UnzipActionTest, SlashAndBackslashNamesGiveTheSameFilesAndTheBarEndsAtTheCount) {
  std::string slashes = Archive(ZipBuilder()
                                    .Directory("sub/empty/")
                                    .File("sub/inner/a.txt", "alpha")
                                    .File("b.txt", "beta", ZipBuilder::kDefaultDosTime, true),
                                "slashes.zip");
  std::string backslashes = Archive(ZipBuilder()
                                        .Directory("sub\\empty\\")
                                        .File("sub\\inner\\a.txt", "alpha")
                                        .File("b.txt", "beta", ZipBuilder::kDefaultDosTime, true),
                                    "backslashes.zip");

  EXPECT_TRUE(Unzip(slashes, m_dir.Sub("one")));
  EXPECT_EQ(m_window.m_fileBar.Range(), 3);
  EXPECT_EQ(m_window.m_fileBar.Position(), 3);
  EXPECT_THAT(m_window.CallsOf("file:"),
              ElementsAre("file:0/3", "file:1/-1", "file:2/-1", "file:3/-1"));
  EXPECT_TRUE(Unzip(backslashes, m_dir.Sub("two")));

  std::map<std::string, std::string> expected = {{"sub", "<dir>"},
                                                 {"sub/empty", "<dir>"},
                                                 {"sub/inner", "<dir>"},
                                                 {"sub/inner/a.txt", "alpha"},
                                                 {"b.txt", "beta"}};
  EXPECT_EQ(Tree(m_dir.Sub("one")), expected);
  EXPECT_EQ(Tree(m_dir.Sub("two")), expected);
  EXPECT_THAT(ReadLogLines(), ElementsAre(kUnzipping + m_dir.Sub("one/sub/empty/"),
                                          kUnzipping + m_dir.Sub("one/sub/inner/a.txt"),
                                          kUnzipping + m_dir.Sub("one/b.txt"), kUnzipDone,
                                          kUnzipping + m_dir.Sub("two/sub/empty/"),
                                          kUnzipping + m_dir.Sub("two/sub/inner/a.txt"),
                                          kUnzipping + m_dir.Sub("two/b.txt"), kUnzipDone));
  EXPECT_EQ(m_window.m_szStatus, kUnzipDone);
}

TEST_F(UnzipActionTest, ExistingFileIsReplacedAndTakesTheEntryTimeAsLocalTime) {
  ScopedTimeZone china("CST-8");
  std::string out = m_dir.Sub("out");
  fs::create_directories(out);
  std::string target = out + NativePath("/a.txt");
  ASSERT_TRUE(WriteFileBytes(target, "an older and longer text"));
  platform::Fs& files = platform::Env::Get().fs();
  platform::FileTimes before;
  ASSERT_EQ(files.GetFileTimes(target, &before), 0u);
  before.lastAccess = 116444736000000000ull + 1000000000ull * 10000000ull;  // 2001-09-09
  ASSERT_EQ(files.SetFileTimes(target, before), 0u);

  EXPECT_TRUE(Unzip(Archive(ZipBuilder().File("a.txt", "new")), out));

  // Before the file is read again, which may move its access time.
  platform::FileTimes after;
  ASSERT_EQ(files.GetFileTimes(target, &after), 0u);
  // 2021-06-15 10:20:30 in UTC+8 is 02:20:30 UTC.
  EXPECT_EQ(after.lastWrite, 116444736000000000ull + 1623723630ull * 10000000ull);
  EXPECT_EQ(after.lastAccess, before.lastAccess);
  EXPECT_EQ(ReadFileBytes(target), "new");
}

TEST_F(UnzipActionTest, EntryNamingTheUpdaterInAnyCaseGoesToTheSideName) {
  std::string app = m_dir.Sub("app");
  fs::create_directories(app);
  ScopedThisFile self(app + NativePath("/Updater"));
  ASSERT_TRUE(WriteFileBytes(app + NativePath("/Updater"), "running"));

  EXPECT_TRUE(Unzip(Archive(ZipBuilder().File("UPDATER", "new updater").File("readme", "r")), app));

  EXPECT_EQ(ReadFileBytes(app + NativePath("/Updater")), "running");
  EXPECT_EQ(ReadFileBytes(app + NativePath("/_Updater")), "new updater");
  EXPECT_EQ(ReadFileBytes(app + NativePath("/readme")), "r");
  // No "UPDATER" beside them (a test of existence would find "Updater" on a
  // file system that ignores case).
  std::map<std::string, std::string> files = {
      {"Updater", "running"}, {"_Updater", "new updater"}, {"readme", "r"}};
  EXPECT_EQ(Tree(app), files);
  EXPECT_THAT(ReadLogLines(), ElementsAre(kUnzipping + app + NativePath("/UPDATER"),
                                          kUnzipping + app + NativePath("/readme"), kUnzipDone));
}

TEST_F(UnzipActionTest, SideNameThatCannotBeWrittenIsNamedInTheError) {
  std::string app = m_dir.Sub("app");
  // A folder stands where the side copy would go: no file can be made there.
  fs::create_directories(m_dir.Sub("app/_Updater/kept"));
  ScopedThisFile self(app + NativePath("/Updater"));

  EXPECT_FALSE(Unzip(Archive(ZipBuilder().File("updater", "new").File("later", "x")),
                     app + NativePath("/")));

  EXPECT_THAT(ReadLogLines(), ElementsAre(kUnzipping + app + NativePath("/updater"),
                                          kUnzipError + app + NativePath("/_Updater")));
  EXPECT_TRUE(fs::is_directory(m_dir.Sub("app/_Updater/kept")));
  EXPECT_FALSE(fs::exists(app + NativePath("/later")));
}

TEST_F(UnzipActionTest, FolderEndingInASeparatorDoublesNoSeparator) {
  RecordingFs recording;
  platform::ScopedService<platform::Fs> guard(&platform::Env::SetFs, &recording);
  std::string out = m_dir.Sub("out");

  EXPECT_TRUE(
      Unzip(Archive(ZipBuilder().File("d/a.txt", "a").File("b.txt", "b")), out + NativePath("/")));

  EXPECT_THAT(ReadLogLines(), ElementsAre(kUnzipping + out + NativePath("/d/a.txt"),
                                          kUnzipping + out + NativePath("/b.txt"), kUnzipDone));
  ASSERT_FALSE(recording.m_aPaths.empty());
  for (const std::string& path : recording.m_aPaths)
    EXPECT_THAT(path, Not(HasSubstr(NativePath("//"))));
  EXPECT_EQ(ReadFileBytes(out + NativePath("/d/a.txt")), "a");
}

TEST_F(UnzipActionTest, AFailedEntryStopsTheExtraction) {
  std::string out = m_dir.Sub("out");
  fs::create_directories(out);
  // A file where the second entry needs a folder.
  ASSERT_TRUE(WriteFileBytes(out + NativePath("/blocked"), ""));

  EXPECT_FALSE(
      Unzip(Archive(ZipBuilder().File("a.txt", "a").File("blocked/b.txt", "b").File("c.txt", "c")),
            out, "安装"));

  EXPECT_TRUE(fs::exists(out + NativePath("/a.txt")));
  EXPECT_FALSE(fs::exists(out + NativePath("/c.txt")));
  EXPECT_THAT(ReadLogLines(), ElementsAre("安装", kUnzipping + out + NativePath("/a.txt"),
                                          kUnzipping + out + NativePath("/blocked/b.txt"),
                                          kUnzipError + out + NativePath("/blocked/b.txt")));
  EXPECT_EQ(m_window.m_fileBar.Position(), 1);
  EXPECT_EQ(m_window.m_szStatus, kUnzipError + out + NativePath("/blocked/b.txt"));
}

// Files take their names in the archive's order, also when they wait to be
// flushed together; the rename of one may be refused.
class RenamingFs : public platform::FsWrapper {
 public:
  explicit RenamingFs(std::string refused)
      : FsWrapper(platform::DefaultFs()), m_szRefused(std::move(refused)) {
    m_pPrevious = platform::Env::Get().SetFs(this);
  }
  ~RenamingFs() override { platform::Env::Get().SetFs(m_pPrevious); }
  platform::Error RenameOver(const std::string& from, const std::string& to) override {
    if (to == m_szRefused) return platform::kErrorAccessDenied;
    m_aNamed.push_back(to);
    return FsWrapper::RenameOver(from, to);
  }
  std::string m_szRefused;
  std::vector<std::string> m_aNamed;
  platform::Fs* m_pPrevious;
};

TEST_F(UnzipActionTest, WrittenFilesTakeTheirNamesInOrderAndAFailedOneIsNamed) {
  std::string out = m_dir.Sub("out");
  ZipBuilder many;
  std::vector<std::string> manyNames;
  for (int i = 0; i < 600; ++i) {
    manyNames.push_back("d" + std::to_string(i % 3) + "/f" + std::to_string(i));
    many.File(manyNames.back(), std::to_string(i));
  }
  struct Case {
    const char* what;
    ZipBuilder zip;
    std::vector<std::string> names;  // the archive's entries
    std::string refused;             // the entry whose rename fails
    std::map<std::string, std::string> files;
  } cases[] = {
      {"more than one batch", many, manyNames, "", {}},
      {"one name twice",
       ZipBuilder().File("a.txt", "one").File("b.txt", "b").File("a.txt", "two"),
       {"a.txt", "b.txt", "a.txt"},
       "",
       {{"a.txt", "two"}, {"b.txt", "b"}}},
      {"a refused rename",
       ZipBuilder().File("a.txt", "a").File("b.txt", "new b").File("c.txt", "c"),
       {"a.txt", "b.txt", "c.txt"},
       "b.txt",
       {{"a.txt", "a"}, {"b.txt", "old b"}}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(out);
    fs::create_directories(out);
    ASSERT_TRUE(WriteFileBytes(out + NativePath("/b.txt"), "old b"));
    std::remove(m_dir.Sub("updater.log").c_str());
    std::vector<std::string> named;
    int done;
    {
      RenamingFs renaming(c.refused.empty() ? "" : out + NativePath("/" + c.refused));
      done = Unzip(Archive(c.zip), out);
      named = renaming.m_aNamed;
    }
    std::vector<std::string> log;
    std::vector<std::string> expected;
    for (const std::string& name : c.names) {
      log.push_back(kUnzipping + out + NativePath("/" + name));
      if (c.refused.empty()) expected.push_back(out + NativePath("/" + name));
    }
    if (c.refused.empty()) {
      EXPECT_TRUE(done);
      log.push_back(kUnzipDone);
      EXPECT_EQ(named, expected);
    } else {
      EXPECT_FALSE(done);
      log.push_back(kUnzipError + out + NativePath("/" + c.refused));
      EXPECT_EQ(named, std::vector<std::string>{out + NativePath("/a.txt")});
    }
    EXPECT_EQ(ReadLogLines(), log);
    std::map<std::string, std::string> tree = Tree(out);
    if (c.files.empty()) {
      EXPECT_EQ(tree.size(), 600u + 3u + 1u);  // the files, their folders, b.txt
    } else {
      std::map<std::string, std::string> expectedTree = c.files;
      EXPECT_EQ(tree, expectedTree);  // no temporary is left either
    }
  }
}

TEST_F(UnzipActionTest, EmptyFolderFailsTheFirstTopLevelFile) {
  EXPECT_FALSE(Unzip(Archive(ZipBuilder().File("top.txt", "t").File("next.txt", "n")), ""));

  EXPECT_THAT(ReadLogLines(), ElementsAre(kUnzipping + NativePath("/top.txt"),
                                          kUnzipError + NativePath("/top.txt")));
  EXPECT_FALSE(fs::exists(m_dir.Sub("top.txt")));
  EXPECT_FALSE(fs::exists(m_dir.Sub("next.txt")));
}

TEST_F(UnzipActionTest, WhatIsNoReadableArchiveExtractsNothing) {
  std::string out = m_dir.Sub("out");
  std::string empty = Archive(ZipBuilder(), "empty.zip");
  std::string text = m_dir.Sub("text.zip");
  ASSERT_TRUE(WriteFileBytes(text, "this is not an archive\n"));
  // An archive cut short loses its central directory.
  std::string whole = ReadFileBytes(Archive(ZipBuilder().File("a.txt", "a"), "whole.zip"));
  std::string cut = m_dir.Sub("cut.zip");
  ASSERT_TRUE(WriteFileBytes(cut, whole.substr(0, whole.size() - 30)));

  std::string folder = m_dir.Sub("folder.zip");
  fs::create_directories(folder);

  for (const std::string& archive : {empty, text, cut, folder}) {
    EXPECT_FALSE(Unzip(archive, out, "step")) << archive;
  }
  EXPECT_THAT(ReadLogLines(), ElementsAre("step", "step", "step", "step"));
  EXPECT_TRUE(m_window.CallsOf("file:").empty());
  EXPECT_FALSE(fs::exists(out));

  EXPECT_FALSE(Unzip(m_dir.Sub("missing.zip"), out));
  EXPECT_EQ(ReadLogLines().back(), texts::kFileNotFound + m_dir.Sub("missing.zip"));
}

TEST_F(UnzipActionTest, DataThatDoesNotMatchItsChecksumFailsTheEntry) {
  std::string out = m_dir.Sub("out");
  std::string bytes = ReadFileBytes(Archive(
      ZipBuilder().File("a.txt", "payload-one", ZipBuilder::kDefaultDosTime, true).File("b", "b")));
  bytes.replace(bytes.find("payload-one"), 11, "payload-two");
  std::string damaged = m_dir.Sub("damaged.zip");
  ASSERT_TRUE(WriteFileBytes(damaged, bytes));

  EXPECT_FALSE(Unzip(damaged, out));

  EXPECT_THAT(ReadLogLines(), ElementsAre(kUnzipping + out + NativePath("/a.txt"),
                                          kUnzipError + out + NativePath("/a.txt")));
  EXPECT_FALSE(fs::exists(out + NativePath("/b")));
}

// The reader compares the CRC only once the stated size came out: an entry
// whose data ends before it is a failed entry, not a short file.
TEST_F(UnzipActionTest, BadInputEntryWhoseDataEndsBeforeItsStatedSizeFails) {
  std::string out = m_dir.Sub("out");
  std::string archive = Archive(ZipBuilder().Claiming("a.bin", "abc", 4ull << 30).File("b", "b"));

  EXPECT_FALSE(Unzip(archive, out));

  EXPECT_THAT(ReadLogLines(), ElementsAre(kUnzipping + out + NativePath("/a.bin"),
                                          kUnzipError + out + NativePath("/a.bin")));
  EXPECT_FALSE(fs::exists(out + NativePath("/b")));
}

// A damaged entry, data that ends early and a write the disk refuses each
// leave the file the entry would replace as it was, with nothing beside it.
TEST_F(UnzipActionTest, FailedEntryLeavesTheFileItWouldReplaceAsItWas) {
  std::string out = m_dir.Sub("out");
  std::string bytes = ReadFileBytes(Archive(
      ZipBuilder().File("a.txt", "payload-one", ZipBuilder::kDefaultDosTime, true), "crc.zip"));
  bytes.replace(bytes.find("payload-one"), 11, "payload-two");
  ASSERT_TRUE(WriteFileBytes(m_dir.Sub("crc.zip"), bytes));
  struct Case {
    const char* what;
    std::string archive;
    std::set<int> shortBlocks;
  } cases[] = {
      {"crc", m_dir.Sub("crc.zip"), {}},
      {"short data", Archive(ZipBuilder().Claiming("a.txt", "abc", 4ull << 30), "short.zip"), {}},
      // The first block is cut short, whatever the size of the blocks.
      {"full disk", Archive(ZipBuilder().File("a.txt", Pattern(5 * 2048)), "big.zip"), {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::create_directories(out);
    ASSERT_TRUE(WriteFileBytes(out + NativePath("/a.txt"), "old bytes"));
    {
      std::unique_ptr<ShortWriteFs> full;
      if (!c.shortBlocks.empty()) full = std::make_unique<ShortWriteFs>(c.shortBlocks);
      EXPECT_FALSE(Unzip(c.archive, out));
    }
    EXPECT_EQ(ReadLogLines().back(), kUnzipError + out + NativePath("/a.txt"));
    std::map<std::string, std::string> expected = {{"a.txt", "old bytes"}};
    EXPECT_EQ(Tree(out), expected);
  }
}

TEST_F(UnzipActionTest, NewFilesTakeTheEntrysExecuteBitsAndReplacedFilesKeepTheirMode) {
  std::string out = m_dir.Sub("out");
  fs::create_directories(out);
  ASSERT_TRUE(WriteFileBytes(out + "/kept.sh", "old"));
  ASSERT_EQ(chmod((out + "/kept.sh").c_str(), 0700), 0);
  mode_t mask = umask(022);
  umask(mask);
  uint32_t usual = 0666 & ~mask;
  uint32_t executable = usual | ((usual & 0444) >> 2);

  EXPECT_TRUE(Unzip(Archive(ZipBuilder()
                                .UnixFile("run.sh", "#!/bin/sh\n", 0755)
                                .UnixFile("data.txt", "d", 0644)
                                .UnixFile("owner-only", "o", 0700)
                                .File("dos.txt", "x")
                                .UnixFile("kept.sh", "new", 0644)),
                    out));

  const std::pair<const char*, uint32_t> modes[] = {{"run.sh", executable},
                                                    {"data.txt", usual},
                                                    {"owner-only", usual | (usual & 0400) >> 2},
                                                    {"dos.txt", usual},
                                                    {"kept.sh", 0700}};
  for (const auto& m : modes) {
    struct stat st;
    ASSERT_EQ(stat((out + "/" + m.first).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, m.second) << m.first;
  }
  EXPECT_EQ(ReadFileBytes(out + "/kept.sh"), "new");
}

TEST_F(UnzipActionTest, DirectoryThatEndsEarlyIsNoCompleteExtraction) {
  std::string out = m_dir.Sub("out");
  std::string bytes =
      ReadFileBytes(Archive(ZipBuilder().File("a", "1").File("b", "2").File("c", "3")));
  // Spoil the second central directory header; the end record still counts 3.
  size_t first = bytes.find("PK\x01\x02");
  size_t second = bytes.find("PK\x01\x02", first + 4);
  ASSERT_NE(second, std::string::npos);
  bytes[second + 2] = 'X';
  std::string damaged = m_dir.Sub("damaged.zip");
  ASSERT_TRUE(WriteFileBytes(damaged, bytes));

  EXPECT_FALSE(Unzip(damaged, out));

  EXPECT_EQ(ReadFileBytes(out + NativePath("/a")), "1");
  EXPECT_THAT(ReadLogLines(),
              ElementsAre(kUnzipping + out + NativePath("/a"), kUnzipError + damaged));
  EXPECT_THAT(ReadLogLines(), Not(Contains(kUnzipDone)));
}

TEST_F(UnzipActionTest, NameTooLongForItsBufferIsRefusedNotCutShort) {
  std::string out = m_dir.Sub("out");
  std::string name;
  while (name.size() < 300) name += "abcd/";
  name += "x.txt";

  EXPECT_FALSE(Unzip(Archive(ZipBuilder().File(name, "x")), out));

  EXPECT_EQ(ReadLogLines().back(), kUnzipError + out + NativePath("/"));
  EXPECT_FALSE(fs::exists(out + NativePath("/abcd")));
}

// Names flagged as UTF-8 (as Python's zipfile and 7-Zip write them) are the
// system's text (GBK on Windows) before any rule reads them; unflagged names
// are taken as stored. A flagged name that is no UTF-8, or (Windows) has a
// character GBK has not, fails the unzip at that entry.
TEST_F(UnzipActionTest, NamesFlaggedAsUtf8BecomeTheSystemsText) {
  const bool gbk = platform::kPathSep == '\\';
  struct Case {
    std::string utf8;
    std::string name;  // empty: refused
  } cases[] = {
      {"\xE4\xB8\xAD\xE6\x96\x87/\xE8\xAF\xB4\xE6\x98\x8E.txt", "中文/说明.txt"},
      {"\xE4\xB9\x97.txt", "乗.txt"},  // GBK 81 5C: its trail byte is no separator
      {"\xED\x95\x9C.txt", gbk ? "" : "\xED\x95\x9C.txt"},  // 한: not in GBK
      {"\xFF.txt", ""},
      {"\xC0\xAF..\xC0\xAFx.txt", ""},  // an overlong "/" is no "/"
      {"\xE2\x80\xA5/../x.txt", ""},    // the name rules hold after the conversion
  };
  for (const Case& c : cases) {
    const std::string out = m_dir.Sub("out");
    fs::remove_all(out);
    EXPECT_EQ(Unzip(Archive(ZipBuilder().Utf8File(c.utf8, "u").File("旧/说明.txt", "g")), out),
              !c.name.empty())
        << c.name;
    if (c.name.empty()) {
      EXPECT_THAT(ReadLogLines().back(), HasSubstr(kUnzipError)) << c.utf8;
      EXPECT_FALSE(PathExists(out + NativePath("/旧"))) << c.utf8;
    } else {
      EXPECT_EQ(ReadFileBytes(out + NativePath("/" + c.name)), "u");
      EXPECT_EQ(ReadFileBytes(out + NativePath("/旧/说明.txt")), "g");
    }
  }
}

// Zip-slip: names and links that would put an entry outside the folder.
class UnzipEscapeTest : public UnzipActionTest {
 protected:
  UnzipEscapeTest() {
    fs::create_directories(m_szOut);
    fs::create_directories(m_szOutside);
    EXPECT_TRUE(WriteFileBytes(m_szOutside + NativePath("/target.txt"), "keep"));
  }
  // The entry fails with its display path; nothing after it is written.
  void ExpectRefused(const std::string& name, const std::string& display) {
    SCOPED_TRACE(name);
    std::string archive = Archive(ZipBuilder().File(name, "evil").File("after.txt", "a"));
    EXPECT_FALSE(Unzip(archive, m_szOut));
    EXPECT_EQ(ReadLogLines().back(), kUnzipError + display);
    EXPECT_FALSE(fs::exists(m_szOut + NativePath("/after.txt")));
  }
  std::map<std::string, std::string> Outside() const { return Tree(m_szOutside); }

  std::string m_szOut = m_dir.Sub("out");
  std::string m_szOutside = m_dir.Sub("outside");
};

TEST_F(UnzipEscapeTest, NamesThatClimbOrCarryARootOrDriveAreRefused) {
  std::map<std::string, std::string> before = Tree(m_dir.path());
  ExpectRefused("../outside/evil.txt", m_szOut + NativePath("/../outside/evil.txt"));
  ExpectRefused("..\\outside\\evil.txt", m_szOut + NativePath("/../outside/evil.txt"));
  ExpectRefused("sub/../../evil.txt", m_szOut + NativePath("/sub/../../evil.txt"));
  ExpectRefused("sub/.../evil.txt", m_szOut + NativePath("/sub/.../evil.txt"));
  // An absolute name: "/tmp/..." on POSIX (the doubled separator collapsed in
  // the display), "C:\\..." on Windows.
  ExpectRefused(m_szOutside + NativePath("/evil.txt"),
                m_szOut + (m_szOutside[0] == platform::kPathSep ? "" : NativePath("/")) +
                    m_szOutside + NativePath("/evil.txt"));
  ExpectRefused("\\\\server\\share\\evil.txt", m_szOut + NativePath("//server/share/evil.txt"));
  ExpectRefused("C:/evil.txt", m_szOut + NativePath("/C:/evil.txt"));
  ExpectRefused("c:evil.txt", m_szOut + NativePath("/c:evil.txt"));

  std::map<std::string, std::string> after = Tree(m_dir.path());
  after.erase("updater.log");
  for (const auto& [path, bytes] : after) {
    if (path.find(".zip") == std::string::npos) {
      EXPECT_TRUE(before.count(path)) << path;
    }
  }
}

TEST_F(UnzipEscapeTest, LinksStandingAtTheDestinationAreNeverFollowed) {
  fs::create_directory_symlink(m_szOutside, m_szOut + NativePath("/link"));
  fs::create_symlink(m_szOutside + NativePath("/target.txt"), m_szOut + NativePath("/file.txt"));
  fs::create_directories(m_szOut + NativePath("/a"));
  fs::create_directory_symlink(m_szOutside, m_szOut + NativePath("/a/b"));

  ExpectRefused("link/evil.txt", m_szOut + NativePath("/link/evil.txt"));
  ExpectRefused("link/new/evil.txt", m_szOut + NativePath("/link/new/evil.txt"));
  ExpectRefused("file.txt", m_szOut + NativePath("/file.txt"));
  ExpectRefused("a/b/evil.txt", m_szOut + NativePath("/a/b/evil.txt"));
  std::string archive = Archive(ZipBuilder().Directory("link/sub/"));
  EXPECT_FALSE(Unzip(archive, m_szOut));

  std::map<std::string, std::string> outside = {{"target.txt", "keep"}};
  EXPECT_EQ(Outside(), outside);
  EXPECT_TRUE(fs::is_symlink(m_szOut + NativePath("/file.txt")));
}

// A product's own links (libx.so -> libx.so.1, current -> v1) are written
// through; the link stays a link.
TEST_F(UnzipEscapeTest, LinksThatStayInsideTheFolderAreFollowed) {
  fs::create_directories(m_szOut + "/lib");
  fs::create_directories(m_szOut + "/v1");
  ASSERT_TRUE(WriteFileBytes(m_szOut + "/lib/libx.so.1", "v1"));
  fs::create_symlink("libx.so.1", m_szOut + "/lib/libx.so");
  fs::create_directory_symlink("v1", m_szOut + "/current");

  EXPECT_TRUE(Unzip(Archive(ZipBuilder().File("lib/libx.so", "v2").File("current/app.txt", "app")),
                    m_szOut));

  EXPECT_TRUE(fs::is_symlink(m_szOut + "/lib/libx.so"));
  EXPECT_EQ(ReadFileBytes(m_szOut + "/lib/libx.so.1"), "v2");
  EXPECT_EQ(ReadFileBytes(m_szOut + "/v1/app.txt"), "app");

  fs::create_symlink(m_szOut + "/missing", m_szOut + "/nowhere");
  ExpectRefused("nowhere/evil.txt", m_szOut + "/nowhere/evil.txt");
  ExpectRefused("nowhere", m_szOut + "/nowhere");
}

TEST_F(UnzipEscapeTest, SideNameThatIsALinkIsRefused) {
  std::string app = m_dir.Sub("app");
  fs::create_directories(app);
  ScopedThisFile self(app + NativePath("/updater"));
  fs::create_symlink(m_szOutside + NativePath("/target.txt"), app + NativePath("/_updater"));

  EXPECT_FALSE(Unzip(Archive(ZipBuilder().File("updater", "evil")), app));

  EXPECT_EQ(ReadLogLines().back(), kUnzipError + app + NativePath("/_updater"));
  EXPECT_EQ(ReadFileBytes(m_szOutside + NativePath("/target.txt")), "keep");
}

TEST_F(UnzipEscapeTest, FolderThatIsItselfALinkIsUsed) {
  std::string real = m_dir.Sub("real");
  fs::create_directories(real);
  fs::create_directory_symlink(real, m_dir.Sub("via"));

  EXPECT_TRUE(Unzip(Archive(ZipBuilder().File("d/a.txt", "a")), m_dir.Sub("via")));

  EXPECT_EQ(ReadFileBytes(real + NativePath("/d/a.txt")), "a");
}

}  // namespace
