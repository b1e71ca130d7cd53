// A release from two folders: what it finds changed, the names it refuses, and
// that its package, run by the updater's own actions on OLD, leaves NEW.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "env/config.h"
#include "platform/env.h"
#include "support/temp_dir.h"
#include "update/package_info.h"
#include "update/update_run.h"
#include "updater-manifest/client_setting.h"
#include "updater-manifest/release.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

constexpr time_t kOldTime = 1623752430;  // even seconds: a zip keeps times to two
constexpr time_t kNewTime = kOldTime + 86400;

// "path=bytes" a file, "path*=bytes" an executable one, "path/" a folder.
void MakeTree(const std::string& root, const std::vector<std::string>& items, time_t when) {
  fs::create_directories(root);
  for (const std::string& item : items) {
    std::string path = root + "/" + item;
    if (item.back() == '/') {
      fs::create_directories(path);
      continue;
    }
    size_t eq = path.find('=');
    bool executable = path[eq - 1] == '*';
    std::string file = path.substr(0, executable ? eq - 1 : eq);
    fs::create_directories(fs::path(file).parent_path());
    ASSERT_TRUE(WriteFileBytes(file, path.substr(eq + 1)));
    chmod(file.c_str(), executable ? 0755 : 0644);
    utimbuf times{when, when};
    utime(file.c_str(), &times);
  }
}

// Each path with what an installation must match: the bytes, the execute
// bits and the modification time of a file; a folder's "/".
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> tree;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    std::string relative = fs::relative(e.path(), root).generic_string();
    struct stat st;
    stat(e.path().c_str(), &st);
    tree[relative] = e.is_directory()
                         ? "/"
                         : ReadFileBytes(e.path()) + ((st.st_mode & 0111) ? " x " : " - ") +
                               std::to_string(st.st_mtime);
  }
  return tree;
}

// The package's three lists run by the updater's own actions, the package
// file being the zip beside the manifest.
void Install(const std::string& out, const std::string& installation) {
  ClientSetting client("1.0.0.0", {installation, "/usr", "/usr/lib"});
  UpdateRun run;
  ASSERT_TRUE(run.LoadManifest(ReadFileBytes(out + "/update.xml")));
  PackageInfo& package = *run.m_listPackages.at(0);
  if (!package.m_szUrl.empty()) package.m_szLocalFile = out + "/" + UrlFileName(package.m_szUrl);
  EXPECT_TRUE(package.RunAllActions(true));
}

ReleaseOutcome Release(const std::string& dir, ClientNaming naming, std::string* err) {
  ReleaseOptions options{dir + "/old", dir + "/new", "1.1.0.0", "http://download.velmar.example/u",
                         dir + "/out", "2099-01-31", false,     naming};
  std::ostringstream out, errors;
  ReleaseOutcome outcome = MakeRelease(options, out, errors);
  *err = errors.str();
  return outcome;
}

const ClientNaming kPosix{ReleaseClient::kPosix, EntryNames::kUtf8};

TEST(ManifestRelease, EachKindOfChangeLeavesTheInstallationAsNew) {
  const std::vector<std::string> base = {"same.txt=kept", "bin/run*=#!/bin/sh\n"};
  struct Case {
    const char* kind;
    std::vector<std::string> old, now;
    std::vector<std::string> zip, pre, removes, mkdirs;
  } cases[] = {
      {"added file", {}, {"doc/new.txt=new"}, {"doc/new.txt"}, {}, {}, {}},
      {"changed file", {"a.txt=one"}, {"a.txt=two"}, {"a.txt"}, {}, {}, {}},
      {"same bytes, new time", {"a.txt=one"}, {"a.txt=one"}, {}, {}, {}, {}},
      {"removed file", {"a & <b>.txt=one"}, {}, {}, {}, {"a & <b>.txt"}, {}},
      {"removed folder tree",
       {"gone/sub/x=x", "gone/y=y", "gone/sub/empty/"},
       {},
       {},
       {},
       {"gone/sub/empty", "gone/sub/x", "gone/sub", "gone/y", "gone"},
       {}},
      {"new empty folder", {}, {"data/cache/"}, {}, {}, {}, {"data/cache"}},
      {"file turned into a folder", {"x=file"}, {"x/in.txt=in"}, {"x/in.txt"}, {"x"}, {}, {}},
      {"folder turned into a file", {"x/in.txt=in"}, {"x=file"}, {"x"}, {"x/in.txt", "x"}, {}, {}},
      {"name changed in letter case", {"Readme=r"}, {"README=r"}, {"README"}, {"Readme"}, {}, {}},
      {"execute bit set", {"tool=t"}, {"tool*=t"}, {"tool"}, {"tool"}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    TempDir dir;
    std::vector<std::string> old = base, now = base;
    old.insert(old.end(), c.old.begin(), c.old.end());
    now.insert(now.end(), c.now.begin(), c.now.end());
    MakeTree(dir.Sub("old"), old, kOldTime);
    MakeTree(dir.Sub("installation"), old, kOldTime);
    MakeTree(dir.Sub("new"), base, kOldTime);
    MakeTree(dir.Sub("new"), c.now, kNewTime);

    Tree oldTree, newTree;
    std::string error;
    ASSERT_TRUE(ScanTree(dir.Sub("old"), &oldTree, &error) &&
                ScanTree(dir.Sub("new"), &newTree, &error))
        << error;
    TreeChanges changes;
    ASSERT_TRUE(
        CompareTrees(dir.Sub("old"), oldTree, dir.Sub("new"), newTree, true, &changes, &error));
    EXPECT_EQ(changes.aZipFiles, c.zip);
    EXPECT_EQ(changes.aPreRemoves, c.pre);
    EXPECT_EQ(changes.aRemoves, c.removes);
    EXPECT_EQ(changes.aMkdirs, c.mkdirs);

    ReleaseOutcome made = Release(dir.path(), kPosix, &error);
    if (changes.Empty()) {
      EXPECT_EQ(made, ReleaseOutcome::kRefused);
      EXPECT_THAT(error, HasSubstr("there is nothing to release"));
      EXPECT_FALSE(fs::exists(dir.Sub("out")));
      continue;
    }
    ASSERT_EQ(made, ReleaseOutcome::kWritten) << error;
    Install(dir.Sub("out"), dir.Sub("installation"));
    EXPECT_EQ(Snapshot(dir.Sub("installation")), Snapshot(dir.Sub("new")));
  }
}

// Names as each client's updater reads them, and those it refuses.
TEST(ManifestRelease, NamesTakeTheClientsFormOrAreRefused) {
  const ClientNaming gbk{ReleaseClient::kWindows, EntryNames::kGbk};
  const ClientNaming utf8{ReleaseClient::kWindows, EntryNames::kUtf8};
  const std::string chinese = "\xe6\x95\xb0\xe6\x8d\xae/\xe6\xb7\xba.txt";  // 数据/淺.txt
  const std::string chineseGbk = "\xca\xfd\xbe\xdd/\x9c\x5c.txt";
  std::string wide;  // 数 again and again: three bytes of UTF-8, two of GBK
  for (int i = 0; i < 130; ++i) wide += "\xe6\x95\xb0";
  const struct {
    ClientNaming naming;
    std::string name;
    bool inManifest;
    std::string entry, manifest, error;
    bool utf8Flag;
  } cases[] = {
      {gbk, "a/b.txt", true, "a/b.txt", "${app_path}\\a\\b.txt", "", false},
      {gbk, chinese, true, chineseGbk,
       "${app_path}\\" + std::string("\xca\xfd\xbe\xdd\\\x9c\x5c.txt"), "", false},
      {utf8, chinese, false, chinese, "", "", true},
      {kPosix, chinese, true, chinese, "${app_path}/" + chinese, "", true},
      {kPosix, "a\\b", false, "", "", "inside a name", false},
      {kPosix, "a/...", false, "", "", "refuses the name \"...\"", false},
      {kPosix, "C:x", false, "", "", "starts with a drive", false},
      {kPosix, "a.", false, "a.", "", "", true},
      {gbk, "a.", false, "", "", "Windows cannot hold the name \"a.\"", false},
      {gbk, "d/con.txt", false, "", "", "Windows cannot hold", false},
      {gbk, "a|b", false, "", "", "Windows cannot hold", false},
      {gbk, "\xf0\x9f\x98\x80.txt", false, "", "", "GBK cannot hold", false},
      {kPosix, "\xff.txt", false, "", "", "not valid text", false},
      {kPosix, "a\nb", false, "", "", "control character", false},
      {kPosix, "${app_path}", true, "", "", "\"${\"", false},
      {kPosix, "${app_path}", false, "${app_path}", "", "", true},
      {gbk, wide.substr(0, 3 * 129), false, "", "", "", false},
      {gbk, wide.substr(0, 3 * 130), false, "", "", "260 bytes as the client reads it", false},
      {kPosix, wide.substr(0, 3 * 87), false, "", "", "261 bytes", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ClientName name;
    std::string error;
    bool ok = NameForClient(c.naming, c.name, "NEW/" + c.name, c.inManifest, &name, &error);
    if (!c.error.empty()) {
      EXPECT_FALSE(ok);
      EXPECT_THAT(error, HasSubstr("NEW/" + c.name));
      EXPECT_THAT(error, HasSubstr(c.error));
      continue;
    }
    ASSERT_TRUE(ok) << error;
    if (!c.entry.empty()) {
      EXPECT_EQ(name.szEntry, c.entry);
    }
    if (!c.manifest.empty()) {
      EXPECT_EQ(name.szManifest, c.manifest);
    }
    EXPECT_EQ(name.bUtf8Flag, c.utf8Flag);
  }
}

TEST(ManifestRelease, ASignatureLeftBesideStaysOnlyWithTheTextItSigns) {
  TempDir dir;
  MakeTree(dir.Sub("old"), {"a=1"}, kOldTime);
  MakeTree(dir.Sub("new"), {"a=2"}, kNewTime);
  std::string error, signature = dir.Sub("out/update.xml.minisig");
  ASSERT_EQ(Release(dir.path(), kPosix, &error), ReleaseOutcome::kWritten) << error;
  ASSERT_TRUE(WriteFileBytes(signature, "signed"));
  ASSERT_EQ(Release(dir.path(), kPosix, &error), ReleaseOutcome::kWritten) << error;
  EXPECT_TRUE(fs::exists(signature));
  ASSERT_TRUE(WriteFileBytes(dir.Sub("new/a"), "3"));
  ASSERT_EQ(Release(dir.path(), kPosix, &error), ReleaseOutcome::kWritten) << error;
  EXPECT_FALSE(fs::exists(signature));
}

class FailingFs : public platform::FsWrapper {
 public:
  FailingFs() : FsWrapper(&platform::Env::Get().fs()) {}
  platform::Error ListDir(const std::string& path,
                          std::vector<platform::DirEntry>* entries) override {
    if (path.size() > 6 && path.compare(path.size() - 6, 6, "locked") == 0) {
      return platform::kErrorAccessDenied;
    }
    return FsWrapper::ListDir(path, entries);
  }
  platform::Error OpenForRead(const std::string& path,
                              std::unique_ptr<platform::ReadableFile>* file) override {
    if (path.find("secret") != std::string::npos) return platform::kErrorAccessDenied;
    return FsWrapper::OpenForRead(path, file);
  }
};

// Nothing is written, and the message names the path, for what a release
// cannot carry.
TEST(ManifestRelease, RefusesWhatItCannotCarryBeforeWritingAnything) {
  const ClientNaming windows{ReleaseClient::kWindows, EntryNames::kGbk};
  const struct {
    const char* made;
    std::vector<std::string> now;
    ClientNaming naming;
    std::string path, error;
  } cases[] = {
      {"link", {}, kPosix, "new/link", "a link"},
      {"fifo", {}, kPosix, "new/fifo", "neither a file nor a folder"},
      {"", {"locked/a=a"}, kPosix, "new/locked", "cannot be listed"},
      {"", {"secret.txt=s"}, kPosix, "new/secret.txt", "cannot be read"},
      {"", {"A.txt=A", "a.txt=a"}, windows, "new/a.txt", "one name on Windows"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    TempDir dir;
    MakeTree(dir.Sub("old"), {"same.txt=kept"}, kOldTime);
    MakeTree(dir.Sub("new"), c.now, kNewTime);
    if (std::string(c.made) == "link") fs::create_symlink("same.txt", dir.Sub("new/link"));
    if (std::string(c.made) == "fifo") mkfifo(dir.Sub("new/fifo").c_str(), 0644);
    FailingFs failing;
    platform::ScopedService<platform::Fs> guard(&platform::Env::SetFs, &failing);
    std::string error;
    EXPECT_NE(Release(dir.path(), c.naming, &error), ReleaseOutcome::kWritten);
    EXPECT_THAT(error, HasSubstr(dir.Sub(c.path)));
    EXPECT_THAT(error, HasSubstr(c.error));
    EXPECT_FALSE(fs::exists(dir.Sub("out")));
  }
}

}  // namespace
