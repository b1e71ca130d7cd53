#include "actions/journal.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "actions/journal_format.h"
#include "actions/registry_tree.h"
#include "env/config.h"
#include "platform/env.h"
#include "platform/path_sep.h"
#include "platform/replacement_temp.h"
#include "platform/separators.h"

using platform::kErrorSuccess;

Journal* g_pJournal = nullptr;

namespace {

constexpr char kRollbackFolder[] = "rollback";
constexpr char kRegistrySep = '\\';

platform::Fs& Files() { return platform::Env::Get().fs(); }
platform::RegistryStore& Registry() { return platform::Env::Get().registry(); }

bool Attributes(const std::string& path, uint32_t* attributes) {
  return Files().GetAttributes(path, attributes) == kErrorSuccess;
}

bool PathThere(const std::string& path) {
  uint32_t attributes = 0;
  return Attributes(path, &attributes);
}

bool IsLinkAt(const std::string& path) {
  uint32_t attributes = 0;
  return Attributes(path, &attributes) && (attributes & platform::kAttrReparsePoint);
}

// True when a read-only file lies in the tree (links are not walked).
bool HoldsReadOnlyFile(const std::string& dir) {
  std::vector<platform::DirEntry> entries;
  if (Files().ListDir(dir, &entries) != kErrorSuccess) return false;
  for (const platform::DirEntry& e : entries) {
    std::string path = JoinPath(dir, e.name);
    if (e.attributes & platform::kAttrReparsePoint) continue;
    if (e.attributes & platform::kAttrDirectory) {
      if (HoldsReadOnlyFile(path)) return true;
    } else if (e.attributes & platform::kAttrReadOnly) {
      return true;
    }
  }
  return false;
}

// The levels of a path, outermost first ("a", "a/b", "a/b/c"), skipping
// empty parts.
std::vector<std::string> Levels(const std::string& path, char sep) {
  std::vector<std::string> levels;
  std::vector<size_t> cuts = platform::AllSeparators(path, sep);
  cuts.push_back(path.size());
  size_t start = 0;
  for (size_t cut : cuts) {
    if (cut > start) levels.push_back(path.substr(0, cut));
    start = cut + 1;
  }
  return levels;
}

std::string Number(uint64_t n) { return std::to_string(n); }

// Whose a record of the root is: HKEY_CURRENT_USER belongs to one user.
std::string UserOf(platform::RootKey root) {
  return root == platform::kHkeyCurrentUser ? Registry().CurrentUser() : std::string();
}

}  // namespace

std::string RollbackPathOf(const std::string& appPath) {
  return JoinPath(appPath, kRollbackFolder);
}

Journal::Journal(std::string folder) : m_szFolder(std::move(folder)) {}

Journal::~Journal() = default;

Journal::Status Journal::Begin(const std::string& appPath, const std::string& fromVersion) {
  platform::Fs& fs = Files();
  platform::Error err = fs.OpenOwnFolder(m_szFolder, true, &m_folder);
  if (err == platform::kErrorAccessDenied) return Status::kUntrusted;
  if (err != kErrorSuccess) return Status::kFailed;
  // Only one left by an earlier run that a start would not undo.
  if (ScanFolder(true)) return Status::kUntrusted;
  if (fs.OpenAt(m_folder.get(), kJournalFile, platform::WriteMode::kCreateAlways, &m_file) !=
      kErrorSuccess) {
    return Status::kFailed;
  }
  m_nBytes = 0;
  m_nNextAside = 0;
  m_covered.clear();
  m_touched.clear();
  m_szFromVersion = fromVersion;
  m_bFolderDirty = true;
  return Append(Kind::kHeader, {kJournalFormat, appPath, fromVersion}) ? Status::kOk
                                                                       : Status::kFailed;
}

bool Journal::Append(Kind kind, const std::vector<std::string>& fields, bool barrier) {
  std::string text = EncodeRecord(static_cast<char>(kind), fields);
  if (!m_file || m_nBytes + text.size() > kMaxJournalBytes) return false;
  size_t written = 0;
  if (!m_file->Write(text.data(), text.size(), &written) || written != text.size()) return false;
  m_nBytes += text.size();
  m_bDirty = true;
  return !barrier || m_nBatch > 0 || Barrier();
}

// Every record so far, and every aside named by one, on the disk: from here
// the changes they describe may begin.
bool Journal::Barrier() {
  if (m_bDirty && !m_file->Sync()) return false;
  m_bDirty = false;
  if (m_bFolderDirty && Files().FlushFolder(m_folder.get()) != kErrorSuccess) return false;
  m_bFolderDirty = false;
  return true;
}

bool Journal::ScanFolder(bool clearLeftovers) {
  platform::Fs& fs = Files();
  std::vector<platform::DirEntry> entries;
  fs.ListAt(m_folder.get(), &entries);
  bool journal = false;
  std::vector<std::string> leftovers;
  for (const platform::DirEntry& e : entries) {
    std::string kept = e.name.compare(0, sizeof kKeptPrefix - 1, kKeptPrefix) == 0
                           ? e.name.substr(sizeof kKeptPrefix - 1)
                           : std::string();
    if (e.name == kJournalFile) {
      journal = true;
    } else if (IsAsideNumber(kept)) {
      m_nNextKept = std::max(m_nNextKept, std::atoi(kept.c_str()) + 1);
    } else if (IsAsideNumber(e.name.substr(0, e.name.find('.'))) || e.name == kJournalNew) {
      leftovers.push_back(e.name);
    }
  }
  // Without a journal, an aside is one of an update that finished before it
  // could clear it: nothing names it now.
  for (size_t i = 0; clearLeftovers && !journal && i < leftovers.size(); ++i) {
    fs.DeleteAt(m_folder.get(), leftovers[i]);
  }
  return journal;
}

void Journal::BeginBatch() { ++m_nBatch; }

bool Journal::EndBatch() { return --m_nBatch > 0 || Barrier(); }

std::string Journal::NextAside() { return Number(m_nNextAside++); }

void Journal::Touch(const std::string& path) { m_touched.insert(platform::FolderOfPath(path)); }

// Inside the installation no folder on the way may be a link: the journal
// would read and later write where the link leads. The last part is examined
// by the callers.
bool Journal::InsideAndLinkFree(const std::string& path) const {
  std::string app = platform::TrimTrailingSeparators(g_szAppPath);
  if (app.empty() || path.compare(0, app.size(), app) != 0 || path.size() <= app.size() ||
      path[app.size()] != platform::kPathSep) {
    return true;
  }
  std::vector<std::string> levels = Levels(path, platform::kPathSep);
  for (size_t i = 0; i + 1 < levels.size(); ++i) {
    if (levels[i].size() > app.size() && IsLinkAt(levels[i])) return false;
  }
  return true;
}

bool Journal::WillWrite(const std::string& path) { return Keep(path, false); }

bool Journal::WillReplace(const std::string& path) { return Keep(path, true); }

// A path an earlier record names is not kept again: that record's undo puts
// back what was there before the update, over whatever the update left last.
bool Journal::Keep(const std::string& path, bool byRename) {
  if (Covered(path)) return true;
  if (!InsideAndLinkFree(path)) return false;
  uint32_t attributes = 0;
  if (!Attributes(path, &attributes)) {
    m_covered.insert(path);
    Touch(path);
    return Append(Kind::kAbsent, {path});
  }
  // A link is never written through: the change could not be put back.
  if (attributes & platform::kAttrReparsePoint) return false;
  // A folder is not written over: the write itself fails.
  if (attributes & platform::kAttrDirectory) return true;
  m_covered.insert(path);
  Touch(path);
  std::string before = EncodeIdentity(Files(), path);
  std::string aside = NextAside();
  // The aside first, then its record: an aside no record names is cleared by
  // the next update. A second name keeps the bytes when nothing will be
  // written into the file, a copy (flushed) otherwise.
  platform::Fs& fs = Files();
  if (!(byRename && fs.LinkInto(m_folder.get(), aside, path) == kErrorSuccess) &&
      fs.CopyInto(m_folder.get(), aside, path) != kErrorSuccess) {
    m_covered.erase(path);
    return false;
  }
  m_bFolderDirty = true;
  if (Append(Kind::kSavedFile, {path, aside, before})) return true;
  fs.DeleteAt(m_folder.get(), aside);
  m_covered.erase(path);
  return false;
}

bool Journal::WillCreateDirs(const std::string& dir) {
  std::vector<std::string> levels =
      Levels(platform::TrimTrailingSeparators(dir), platform::kPathSep);
  size_t first = levels.size();
  while (first > 0 && !Covered(levels[first - 1]) && !PathThere(levels[first - 1])) --first;
  for (size_t i = first; i < levels.size(); ++i) {
    m_covered.insert(levels[i]);
    Touch(levels[i]);
    if (!Append(Kind::kCreatedDir, {levels[i]}, false)) return false;
  }
  return first == levels.size() || m_nBatch > 0 || Barrier();
}

bool Journal::WillMove(const std::string& from, const std::string& to) {
  if (!InsideAndLinkFree(from) || !InsideAndLinkFree(to) || PathThere(to)) return false;
  Touch(from);
  Touch(to);
  return Append(Kind::kMoved, {from, to});
}

bool Journal::RemoveAside(const std::string& path) {
  if (!InsideAndLinkFree(path)) return false;
  uint32_t attributes = 0;
  if (!Attributes(path, &attributes)) return false;
  bool link = (attributes & platform::kAttrReparsePoint) != 0;
  bool tree = !link && (attributes & platform::kAttrDirectory);
  if (tree ? HoldsReadOnlyFile(path) : (attributes & platform::kAttrReadOnly) != 0) return false;
  platform::Fs& fs = Files();
  std::string aside = NextAside();
  Touch(path);
  if (!Append(Kind::kSavedFile, {path, aside, EncodeIdentity(fs, path)})) return false;
  m_covered.insert(path);
  platform::Error err = fs.MoveInto(m_folder.get(), aside, path);
  if (err == platform::kErrorNotSameDevice && !tree && !link) {
    // Another volume: a flushed copy, named whole, and only then the original
    // deleted. The undo tells a copy cut short by the name it has.
    std::string part = aside + kPartSuffix;
    err = fs.CopyInto(m_folder.get(), part, path);
    if (err == kErrorSuccess) err = fs.RenameAt(m_folder.get(), part, aside);
    if (err == kErrorSuccess) err = fs.FlushFolder(m_folder.get());
    if (err == kErrorSuccess) err = fs.DeleteFile(path);
  }
  if (err != kErrorSuccess) return false;
  m_bFolderDirty = true;
  Leaves(path);
  return true;
}

void Journal::Leaves(const std::string& path, const std::string& from) {
  std::string identity = EncodeIdentity(Files(), from.empty() ? path : from);
  // Without it the undo keeps what it finds there aside instead of removing it.
  if (!identity.empty()) Append(Kind::kLeft, {path, identity}, false);
}

bool Journal::WillChangeValue(platform::RootKey root, const std::string& subKey,
                              const std::string& name, const std::string* data, uint32_t type) {
  platform::RegistryStore& reg = Registry();
  std::string user = UserOf(root);
  if (data) {
    for (const std::string& level : Levels(subKey, kRegistrySep)) {
      std::unique_ptr<platform::RegistryHandle> handle;
      if (reg.OpenKey(root, level, platform::kKeyRead, &handle) == platform::kErrorFileNotFound &&
          !Append(Kind::kRegistryKey, {Number(root), level, user}, false)) {
        return false;
      }
    }
  }
  // What cannot be read cannot be put back: the change is not made.
  RegistryValue before;
  if (!QueryRegistryValue(root, subKey, name, &before)) return false;
  return Append(Kind::kRegistryValue,
                {Number(root), subKey, name, user, before.exists ? "1" : "0", Number(before.type),
                 before.data, data ? "1" : "0", Number(type), data ? *data : std::string()});
}

bool Journal::WillDeleteKey(platform::RootKey root, const std::string& subKey) {
  std::vector<std::string> fields = {Number(root), subKey, UserOf(root)};
  bool found = false;
  if (!SaveRegistryTree(root, subKey, &fields, &found)) return false;
  return !found || Append(Kind::kRegistryTree, fields);
}

bool Journal::Commit() {
  platform::Fs& fs = Files();
  // Every change reaches the disk before the journal that could undo it goes.
  FlushTouched();
  if (!m_file || !Barrier()) return false;
  m_file.reset();
  if (fs.DeleteAt(m_folder.get(), kJournalFile) != kErrorSuccess) return false;
  fs.FlushFolder(m_folder.get());
  for (int i = 0; i < m_nNextAside; ++i) {
    fs.DeleteAt(m_folder.get(), Number(i));
    fs.DeleteAt(m_folder.get(), Number(i) + kPartSuffix);
  }
  RemoveFolderIfEmpty();
  return true;
}

void Journal::FlushTouched() {
  for (const std::string& folder : m_touched) Files().FlushDir(folder);
}

void Journal::RemoveFolderIfEmpty() {
  std::vector<platform::DirEntry> entries;
  bool empty =
      m_folder && Files().ListAt(m_folder.get(), &entries) == kErrorSuccess && entries.empty();
  m_folder.reset();
  if (empty) Files().RemoveDir(m_szFolder);
}

bool JournalWillWrite(const std::string& path) {
  return !g_pJournal || g_pJournal->WillWrite(path);
}

bool JournalWillReplace(const std::string& path) {
  return !g_pJournal || g_pJournal->WillReplace(path);
}

bool JournalWillCreateDirs(const std::string& dir) {
  return !g_pJournal || g_pJournal->WillCreateDirs(dir);
}

bool JournalWillMove(const std::string& from, const std::string& to) {
  return !g_pJournal || g_pJournal->WillMove(from, to);
}

bool JournalWillChangeValue(platform::RootKey root, const std::string& subKey,
                            const std::string& name, const std::string* data, uint32_t type) {
  return !g_pJournal || g_pJournal->WillChangeValue(root, subKey, name, data, type);
}

bool JournalWillDeleteKey(platform::RootKey root, const std::string& subKey) {
  return !g_pJournal || g_pJournal->WillDeleteKey(root, subKey);
}

void JournalLeaves(const std::string& path, const std::string& from) {
  if (g_pJournal) g_pJournal->Leaves(path, from);
}

JournalBatch::JournalBatch() : m_bOpen(g_pJournal != nullptr) {
  if (m_bOpen) g_pJournal->BeginBatch();
}

JournalBatch::~JournalBatch() { End(); }

bool JournalBatch::End() {
  if (!m_bOpen) return true;
  m_bOpen = false;
  return g_pJournal->EndBatch();
}
