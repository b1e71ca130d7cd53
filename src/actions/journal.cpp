#include "actions/journal.h"

#include <cstdlib>
#include <memory>

#include "env/config.h"
#include "env/delete_tree.h"
#include "env/mbstring.h"
#include "env/replacing_file.h"
#include "platform/env.h"
#include "platform/path_sep.h"
#include "platform/separators.h"

using platform::kErrorSuccess;

Journal* g_pJournal = nullptr;

namespace {

constexpr char kRollbackFolder[] = "rollback";
constexpr char kJournalFile[] = "journal";
constexpr char kPartSuffix[] = ".part";
constexpr char kRecordEnd[] = ".\n";
constexpr char kRegistrySep = '\\';
// Entries of a saved registry tree: a key, or a value of a key (paths relative
// to the deleted key).
constexpr char kTreeKey[] = "K";
constexpr char kTreeValue[] = "V";

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

// A file, a link or a tree removed without following any link; read-only
// files lose that bit first: this only ever removes what the update put there.
bool Clear(const std::string& path) {
  uint32_t attributes = 0;
  if (!Attributes(path, &attributes)) return true;
  if ((attributes & platform::kAttrDirectory) && !(attributes & platform::kAttrReparsePoint)) {
    return DeleteTree(path);
  }
  if (attributes & platform::kAttrReadOnly) Files().SetAttributes(path, platform::kAttrNormal);
  return Files().DeleteFile(path) == kErrorSuccess;
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
uint32_t ToU32(const std::string& text) {
  return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
}

// A value's type and data; false when there is no such value.
bool QueryValue(platform::RegistryHandle* key, const std::string& name, uint32_t* type,
                std::string* data) {
  platform::RegistryStore& reg = Registry();
  uint32_t size = 0;
  if (reg.QueryValue(key, name, type, nullptr, &size) != kErrorSuccess) return false;
  data->assign(size, '\0');
  if (size > 0 && reg.QueryValue(key, name, type, &(*data)[0], &size) != kErrorSuccess) {
    return false;
  }
  data->resize(size);
  return true;
}

std::string SubPath(const std::string& key, const std::string& rel) {
  return rel.empty() ? key : key + kRegistrySep + rel;
}

// The key's values and sub keys, parents before children, as tree entries.
bool SaveTree(platform::RootKey root, const std::string& key, const std::string& rel,
              std::vector<std::string>* fields) {
  platform::RegistryStore& reg = Registry();
  std::unique_ptr<platform::RegistryHandle> handle;
  platform::Error err = reg.OpenKey(root, SubPath(key, rel), platform::kKeyRead, &handle);
  if (err != kErrorSuccess) return err == platform::kErrorFileNotFound && rel.empty();
  fields->insert(fields->end(), {kTreeKey, rel});
  std::string name, data;
  uint32_t type = 0;
  for (uint32_t i = 0; reg.EnumValue(handle.get(), i, &name, &type, &data) == kErrorSuccess; ++i) {
    fields->insert(fields->end(), {kTreeValue, rel, name, Number(type), data});
  }
  std::vector<std::string> children;
  for (uint32_t i = 0; reg.EnumKey(handle.get(), i, &name) == kErrorSuccess; ++i) {
    children.push_back(name);
  }
  handle.reset();
  for (const std::string& child : children) {
    if (!SaveTree(root, key, rel.empty() ? child : rel + kRegistrySep + child, fields)) {
      return false;
    }
  }
  return true;
}

// A value found as it was is not written again: a change that failed (a hive
// that cannot be written) must not keep its undo from ending.
bool WriteValue(platform::RootKey root, const std::string& key, const std::string& name,
                uint32_t type, const std::string& data) {
  std::unique_ptr<platform::RegistryHandle> handle;
  platform::RegistryStore& reg = Registry();
  uint32_t nowType = 0;
  std::string now;
  if (reg.OpenKey(root, key, platform::kKeyQueryValue, &handle) == kErrorSuccess &&
      QueryValue(handle.get(), name, &nowType, &now) && nowType == type && now == data) {
    return true;
  }
  return reg.CreateKey(root, key, platform::kKeyAllAccess, &handle) == kErrorSuccess &&
         reg.SetValue(handle.get(), name, type, data.data(), data.size()) == kErrorSuccess;
}

bool UndoFile(const std::string& path, const std::string& aside) {
  std::string part = aside + kPartSuffix;
  std::string kept = aside;
  if (!PathThere(kept)) {
    if (!PathThere(part)) return true;  // nothing was changed yet
    // Cut short while being kept aside: the original is still in place unless
    // it was moved away whole.
    if (PathThere(path)) return Clear(part);
    kept = part;
  }
  return Clear(path) && Files().MoveFile(kept, path) == kErrorSuccess;
}

bool UndoRegistryValue(const std::vector<std::string>& f) {
  platform::RootKey root = ToU32(f[0]);
  if (f[3] == "1") return WriteValue(root, f[1], f[2], ToU32(f[4]), f[5]);
  std::unique_ptr<platform::RegistryHandle> handle;
  uint32_t type = 0;
  std::string data;
  platform::Error err = Registry().OpenKey(root, f[1], platform::kKeyQueryValue, &handle);
  if (err == platform::kErrorFileNotFound) return true;
  if (err == kErrorSuccess && !QueryValue(handle.get(), f[2], &type, &data)) return true;
  err = Registry().OpenKey(root, f[1], platform::kKeyAllAccess, &handle);
  if (err != kErrorSuccess) return false;
  err = Registry().DeleteValue(handle.get(), f[2]);
  return err == kErrorSuccess || err == platform::kErrorFileNotFound;
}

bool UndoRegistryTree(const std::vector<std::string>& f) {
  platform::RootKey root = ToU32(f[0]);
  const std::string& key = f[1];
  for (size_t i = 2; i < f.size();) {
    if (f[i] == kTreeKey && i + 1 < f.size()) {
      std::unique_ptr<platform::RegistryHandle> handle;
      std::string path = SubPath(key, f[i + 1]);
      if (Registry().OpenKey(root, path, platform::kKeyRead, &handle) != kErrorSuccess &&
          Registry().CreateKey(root, path, platform::kKeyAllAccess, &handle) != kErrorSuccess) {
        return false;
      }
      i += 2;
    } else if (f[i] == kTreeValue && i + 4 < f.size()) {
      if (!WriteValue(root, SubPath(key, f[i + 1]), f[i + 2], ToU32(f[i + 3]), f[i + 4])) {
        return false;
      }
      i += 5;
    } else {
      return false;
    }
  }
  return true;
}

bool UndoRecord(const Journal::Record& r) {
  const std::vector<std::string>& f = r.fields;
  switch (r.kind) {
    case Journal::Kind::kCreatedDir:
      // Left when something the journal does not know of is inside.
      Files().RemoveDir(f[0]);
      return true;
    case Journal::Kind::kAbsent:
      return Clear(ReplacementTempPath(f[0])) && Clear(f[0]);
    case Journal::Kind::kSavedFile:
      // A write cut off by a kill leaves its temporary beside the file.
      return Clear(ReplacementTempPath(f[0])) && UndoFile(f[0], f[1]);
    case Journal::Kind::kMoved:
      if (!PathThere(f[0]) && PathThere(f[1])) return Files().MoveFile(f[1], f[0]) == kErrorSuccess;
      return true;
    case Journal::Kind::kRegistryValue:
      return UndoRegistryValue(f);
    case Journal::Kind::kRegistryKey:
      // Made by the update; left while it has sub keys the journal does not
      // know of.
      Registry().DeleteKey(ToU32(f[0]), f[1]);
      return true;
    case Journal::Kind::kRegistryTree:
      return UndoRegistryTree(f);
  }
  return false;
}

// Fields each kind carries at least.
size_t FieldCount(Journal::Kind kind) {
  switch (kind) {
    case Journal::Kind::kCreatedDir:
    case Journal::Kind::kAbsent:
      return 1;
    case Journal::Kind::kSavedFile:
    case Journal::Kind::kMoved:
    case Journal::Kind::kRegistryKey:
    case Journal::Kind::kRegistryTree:
      return 2;
    case Journal::Kind::kRegistryValue:
      return 6;
  }
  return 0;
}

bool KnownKind(char c) {
  const char kinds[] = "dasmvkt";
  for (const char* k = kinds; *k; ++k) {
    if (*k == c) return true;
  }
  return false;
}

// One record: its kind, the field count, each field as its length and bytes,
// then the end mark. Fields may hold any byte.
std::string Encode(Journal::Kind kind, const std::vector<std::string>& fields) {
  std::string text(1, static_cast<char>(kind));
  text += Number(fields.size()) + "\n";
  for (const std::string& field : fields) text += Number(field.size()) + "\n" + field + "\n";
  return text + kRecordEnd;
}

bool ReadNumber(const std::string& text, size_t* pos, size_t* value) {
  size_t end = text.find('\n', *pos);
  if (end == std::string::npos || end == *pos || end - *pos > 18) return false;
  *value = 0;
  for (size_t i = *pos; i < end; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    *value = *value * 10 + static_cast<size_t>(text[i] - '0');
  }
  *pos = end + 1;
  return true;
}

bool Decode(const std::string& text, size_t* pos, Journal::Record* record) {
  if (*pos >= text.size() || !KnownKind(text[*pos])) return false;
  record->kind = static_cast<Journal::Kind>(text[*pos]);
  ++*pos;
  size_t count = 0;
  if (!ReadNumber(text, pos, &count) || count < FieldCount(record->kind)) return false;
  record->fields.clear();
  for (size_t i = 0; i < count; ++i) {
    size_t length = 0;
    if (!ReadNumber(text, pos, &length) || length > text.size() - *pos ||
        text.size() - *pos - length < 1 || text[*pos + length] != '\n') {
      return false;
    }
    record->fields.push_back(text.substr(*pos, length));
    *pos += length + 1;
  }
  if (text.compare(*pos, 2, kRecordEnd) != 0) return false;
  *pos += 2;
  return true;
}

}  // namespace

std::string RollbackPathOf(const std::string& appPath) {
  return JoinPath(appPath, kRollbackFolder);
}

Journal::Journal(std::string folder)
    : m_szFolder(std::move(folder)), m_szFile(JoinPath(m_szFolder, kJournalFile)) {}

bool Journal::Begin() {
  if (Exists()) return false;
  // What a completed update could not clean away.
  ClearFolder();
  if (!CreateDirectoryTree(m_szFolder)) return false;
  m_nRecords = 0;
  std::unique_ptr<platform::WritableFile> file;
  return Files().OpenForWrite(m_szFile, platform::WriteMode::kCreateAlways, &file) ==
             kErrorSuccess &&
         file->Close();
}

bool Journal::Exists() const { return PathThere(m_szFile); }

bool Journal::Append(Kind kind, const std::vector<std::string>& fields) {
  std::string text = Encode(kind, fields);
  std::unique_ptr<platform::WritableFile> file;
  if (Files().OpenForWrite(m_szFile, platform::WriteMode::kAppend, &file) != kErrorSuccess) {
    return false;
  }
  size_t written = 0;
  bool ok = file->Write(text.data(), text.size(), &written) && written == text.size();
  // Closed, so that the record has reached the file before the change begins.
  if (!file->Close()) ok = false;
  if (ok) ++m_nRecords;
  return ok;
}

std::string Journal::AsidePath() { return JoinPath(m_szFolder, Number(m_nRecords)); }

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

bool Journal::Keep(const std::string& path, bool byRename) {
  if (!InsideAndLinkFree(path)) return false;
  uint32_t attributes = 0;
  if (!Attributes(path, &attributes)) return Append(Kind::kAbsent, {path});
  // A link is never written through: the change could not be put back.
  if (attributes & platform::kAttrReparsePoint) return false;
  // A folder is not written over: the write itself fails.
  if (attributes & platform::kAttrDirectory) return true;
  std::string aside = AsidePath();
  std::string part = aside + kPartSuffix;
  if (!Append(Kind::kSavedFile, {path, aside})) return false;
  // The file stays where it is until the action replaces it: a second name
  // keeps its bytes when nothing will be written into it, a copy otherwise.
  if (byRename && Files().AddHardLink(path, aside) == kErrorSuccess) return true;
  return Files().CopyFile(path, part, true) == kErrorSuccess &&
         Files().MoveFile(part, aside) == kErrorSuccess;
}

bool Journal::WillCreateDirs(const std::string& dir) {
  std::vector<std::string> levels =
      Levels(platform::TrimTrailingSeparators(dir), platform::kPathSep);
  size_t first = levels.size();
  while (first > 0 && !PathThere(levels[first - 1])) --first;
  for (size_t i = first; i < levels.size(); ++i) {
    if (!Append(Kind::kCreatedDir, {levels[i]})) return false;
  }
  return true;
}

bool Journal::WillMove(const std::string& from, const std::string& to) {
  if (!InsideAndLinkFree(from) || !InsideAndLinkFree(to)) return false;
  return Append(Kind::kMoved, {from, to});
}

bool Journal::RemoveAside(const std::string& path) {
  if (!InsideAndLinkFree(path)) return false;
  uint32_t attributes = 0;
  if (!Attributes(path, &attributes)) return false;
  bool link = (attributes & platform::kAttrReparsePoint) != 0;
  bool tree = !link && (attributes & platform::kAttrDirectory);
  if (tree ? HoldsReadOnlyFile(path) : (attributes & platform::kAttrReadOnly) != 0) return false;
  std::string aside = AsidePath();
  std::string part = aside + kPartSuffix;
  if (!Append(Kind::kSavedFile, {path, aside})) return false;
  // One rename within the volume; on another volume a copy and a delete,
  // which the undo tells apart by whether the original is still there.
  return Files().MoveFile(path, part) == kErrorSuccess &&
         Files().MoveFile(part, aside) == kErrorSuccess;
}

bool Journal::WillChangeValue(platform::RootKey root, const std::string& subKey,
                              const std::string& name) {
  platform::RegistryStore& reg = Registry();
  for (const std::string& level : Levels(subKey, kRegistrySep)) {
    std::unique_ptr<platform::RegistryHandle> handle;
    if (reg.OpenKey(root, level, platform::kKeyRead, &handle) == platform::kErrorFileNotFound &&
        !Append(Kind::kRegistryKey, {Number(root), level})) {
      return false;
    }
  }
  std::unique_ptr<platform::RegistryHandle> handle;
  uint32_t type = 0;
  std::string data;
  bool existed = reg.OpenKey(root, subKey, platform::kKeyQueryValue, &handle) == kErrorSuccess &&
                 QueryValue(handle.get(), name, &type, &data);
  return Append(Kind::kRegistryValue,
                {Number(root), subKey, name, existed ? "1" : "0", Number(type), data});
}

bool Journal::WillDeleteKey(platform::RootKey root, const std::string& subKey) {
  std::vector<std::string> fields = {Number(root), subKey};
  if (!SaveTree(root, subKey, "", &fields)) return false;
  return fields.size() == 2 || Append(Kind::kRegistryTree, fields);
}

bool Journal::Read(std::vector<Record>* records) const {
  records->clear();
  std::unique_ptr<platform::ReadableFile> file;
  if (Files().OpenForRead(m_szFile, &file) != kErrorSuccess) return false;
  std::string text;
  char buffer[65536];
  size_t got = 0;
  while (file->Read(buffer, sizeof buffer, &got) && got > 0) text.append(buffer, got);
  size_t pos = 0;
  Record record;
  while (Decode(text, &pos, &record)) records->push_back(record);
  return true;
}

bool Journal::Undo() {
  std::vector<Record> records;
  if (!Read(&records)) return false;
  bool ok = true;
  for (size_t i = records.size(); i-- > 0;) {
    if (!UndoRecord(records[i])) ok = false;
  }
  return ok && Remove();
}

bool Journal::Remove() {
  // The journal goes first: once it is gone, nothing will undo the update.
  if (Exists() && Files().DeleteFile(m_szFile) != kErrorSuccess) return false;
  ClearFolder();
  return true;
}

void Journal::ClearFolder() {
  std::vector<platform::DirEntry> entries;
  if (Files().ListDir(m_szFolder, &entries) != kErrorSuccess) return;
  for (const platform::DirEntry& e : entries) Clear(JoinPath(m_szFolder, e.name));
  Files().RemoveDir(m_szFolder);
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
                            const std::string& name) {
  return !g_pJournal || g_pJournal->WillChangeValue(root, subKey, name);
}

bool JournalWillDeleteKey(platform::RootKey root, const std::string& subKey) {
  return !g_pJournal || g_pJournal->WillDeleteKey(root, subKey);
}
