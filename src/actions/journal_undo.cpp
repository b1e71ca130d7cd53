// Reading a journal left by an update and putting back what its records say.
#include <cstdlib>
#include <map>

#include "actions/journal.h"
#include "actions/journal_format.h"
#include "actions/registry_tree.h"
#include "env/config.h"
#include "env/delete_tree.h"
#include "env/mbstring.h"
#include "env/texts.h"
#include "env/update_log.h"
#include "platform/env.h"
#include "platform/replacement_temp.h"
#include "platform/separators.h"

using platform::kErrorSuccess;

namespace {

platform::Fs& Files() { return platform::Env::Get().fs(); }
platform::RegistryStore& Registry() { return platform::Env::Get().registry(); }

uint32_t ToU32(const std::string& text) {
  return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
}

bool SamePath(const std::string& a, const std::string& b) {
  return MbsEqualNoCase(platform::TrimTrailingSeparators(a), platform::TrimTrailingSeparators(b));
}

// A file, a link or a tree removed without following any link; read-only
// files lose that bit first: only what the update left is ever removed.
bool Clear(const std::string& path) {
  uint32_t attributes = 0;
  if (Files().GetAttributes(path, &attributes) != kErrorSuccess) return true;
  if ((attributes & platform::kAttrDirectory) && !(attributes & platform::kAttrReparsePoint)) {
    return DeleteTree(path);
  }
  if (attributes & platform::kAttrReadOnly) Files().SetAttributes(path, platform::kAttrNormal);
  return Files().DeleteFile(path) == kErrorSuccess;
}

// Fields each kind carries, and whether more may follow.
bool FieldsFit(Journal::Kind kind, size_t n) {
  switch (kind) {
    case Journal::Kind::kCreatedDir:
    case Journal::Kind::kAbsent:
      return n == 1;
    case Journal::Kind::kMoved:
    case Journal::Kind::kLeft:
      return n == 2;
    case Journal::Kind::kHeader:
    case Journal::Kind::kSavedFile:
    case Journal::Kind::kRegistryKey:
      return n == 3;
    case Journal::Kind::kRegistryTree:
      return n >= 3;
    case Journal::Kind::kRegistryValue:
      return n == 10;
  }
  return false;
}

bool KnownKind(char c) {
  for (char k : {'h', 'd', 'a', 's', 'm', 'i', 'v', 'k', 't'}) {
    if (k == c) return true;
  }
  return false;
}

// The path whose later states 'i' records describe.
const std::string* SubjectOf(const Journal::Record& r) {
  switch (r.kind) {
    case Journal::Kind::kAbsent:
    case Journal::Kind::kSavedFile:
      return &r.fields[0];
    case Journal::Kind::kMoved:
      return &r.fields[1];
    default:
      return nullptr;
  }
}

// The user field of a registry record; null for other records.
const std::string* UserField(const Journal::Record& r) {
  switch (r.kind) {
    case Journal::Kind::kRegistryValue:
      return &r.fields[3];
    case Journal::Kind::kRegistryKey:
    case Journal::Kind::kRegistryTree:
      return &r.fields[2];
    default:
      return nullptr;
  }
}

bool UndoRegistryValue(const Journal::Record& r) {
  const std::vector<std::string>& f = r.fields;
  platform::RootKey root = ToU32(f[0]);
  RegistryValue before{f[4] == "1", ToU32(f[5]), f[6]};
  RegistryValue after{f[7] == "1", ToU32(f[8]), f[9]};
  RegistryValue now;
  if (!QueryRegistryValue(root, f[1], f[2], &now)) return false;
  if (now == before) return true;
  if (now == after) return PutRegistryValue(root, f[1], f[2], before);
  WriteLog(texts::kChangedValueLeft + f[1] + "\\" + f[2], false);
  return true;
}

// A key the update made goes only while nothing is in it.
void UndoRegistryKey(const Journal::Record& r) {
  platform::RegistryStore& reg = Registry();
  platform::RootKey root = ToU32(r.fields[0]);
  std::unique_ptr<platform::RegistryHandle> handle;
  if (reg.OpenKey(root, r.fields[1], platform::kKeyRead, &handle) != kErrorSuccess) return;
  std::string name, data;
  uint32_t type = 0;
  bool empty = reg.EnumValue(handle.get(), 0, &name, &type, &data) == platform::kErrorNoMoreItems &&
               reg.EnumKey(handle.get(), 0, &name) == platform::kErrorNoMoreItems;
  handle.reset();
  if (empty) reg.DeleteKey(root, r.fields[1]);
}

bool UndoRegistryTree(const Journal::Record& r) {
  platform::RootKey root = ToU32(r.fields[0]);
  // Absent, or cut short by a kill while it was deleted: what is missing is
  // written back. Anything else there was made by someone else.
  if (RegistryTreeWithin(root, r.fields[1], r.fields, 3)) {
    return RestoreRegistryTree(root, r.fields[1], r.fields, 3);
  }
  WriteLog(texts::kChangedValueLeft + r.fields[1], false);
  return true;
}

}  // namespace

Journal::Status Journal::Open() {
  platform::Error err = Files().OpenOwnFolder(m_szFolder, false, &m_folder);
  if (err == platform::kErrorFileNotFound || err == platform::kErrorPathNotFound) {
    return Status::kNone;
  }
  if (err == platform::kErrorAccessDenied) return Status::kUntrusted;
  if (err != kErrorSuccess) return Status::kFailed;
  bool journal = ScanFolder(false);
  return journal ? Status::kOk : Status::kNone;
}

Journal::Status Journal::Read(std::vector<Record>* records) {
  records->clear();
  if (!m_folder) {
    Status status = Open();
    if (status != Status::kOk) return status;
  }
  std::unique_ptr<platform::ReadableFile> file;
  platform::Error err = Files().ReadAt(m_folder.get(), kJournalFile, &file);
  if (err == platform::kErrorFileNotFound) return Status::kNone;
  if (err == platform::kErrorAccessDenied) return Status::kUntrusted;
  if (err != kErrorSuccess) return Status::kFailed;
  RecordReader reader(file.get());
  std::map<std::string, size_t> lastFor;
  for (;;) {
    char kind = 0;
    Record r;
    RecordReader::Result result = reader.Next(&kind, &r.fields);
    if (result == RecordReader::Result::kEnd) break;
    if (result == RecordReader::Result::kBad || !KnownKind(kind)) return Status::kBad;
    r.kind = static_cast<Kind>(kind);
    if (!FieldsFit(r.kind, r.fields.size())) return Status::kBad;
    // The first record says what the journal is; nothing else may name itself
    // so. An aside is an entry of the rollback folder and nothing else.
    if ((records->empty() != (r.kind == Kind::kHeader)) ||
        (r.kind == Kind::kHeader && r.fields[0] != kJournalFormat) ||
        (r.kind == Kind::kSavedFile && !IsAsideNumber(r.fields[1]))) {
      return Status::kBad;
    }
    if (r.kind == Kind::kLeft) {
      auto it = lastFor.find(r.fields[0]);
      if (it == lastFor.end()) return Status::kBad;
      (*records)[it->second].left = r.fields[1];
      continue;
    }
    if (const std::string* subject = SubjectOf(r)) lastFor[*subject] = records->size();
    records->push_back(std::move(r));
  }
  // Empty, or zeros: cut short before its first record, and so before any
  // change.
  if (!records->empty()) m_szFromVersion = (*records)[0].fields[2];
  return Status::kOk;
}

Journal::Status Journal::Undo(const std::string& appPath) {
  m_file.reset();
  std::vector<Record> records;
  Status status = Read(&records);
  if (status != Status::kOk) return status;
  // Its paths are another installation's.
  if (!records.empty() && !SamePath(records[0].fields[1], appPath)) return Status::kBad;
  for (const Record& r : records) {
    if (r.kind == Kind::kCreatedDir || r.kind == Kind::kMoved) Touch(r.fields[0]);
    if (const std::string* subject = SubjectOf(r)) Touch(*subject);
  }
  std::vector<bool> keep(records.size(), false);
  if (!keep.empty()) keep[0] = true;
  bool failed = false;
  for (size_t i = records.size(); i-- > 1;) {
    if (IsAnotherUsers(records[i])) {
      keep[i] = true;
    } else if (!UndoRecord(records[i])) {
      // What is older stays for a later try, which goes on from here.
      for (size_t k = 1; k <= i; ++k) keep[k] = true;
      failed = true;
      break;
    }
  }
  FlushTouched();
  std::vector<Record> left;
  for (size_t i = 0; i < records.size(); ++i) {
    if (keep[i]) left.push_back(records[i]);
  }
  platform::Fs& fs = Files();
  if (failed || left.size() > 1) {
    Rewrite(left);
    return Status::kFailed;
  }
  if (fs.DeleteAt(m_folder.get(), kJournalFile) != kErrorSuccess) return Status::kFailed;
  fs.FlushFolder(m_folder.get());
  RemoveFolderIfEmpty();
  return Status::kOk;
}

bool Journal::IsAnotherUsers(const Record& r) const {
  const std::string* user = UserField(r);
  return user && ToU32(r.fields[0]) == platform::kHkeyCurrentUser &&
         *user != Registry().CurrentUser();
}

bool Journal::UndoRecord(const Record& r) {
  switch (r.kind) {
    case Kind::kCreatedDir:
      // Left when something the journal does not know of is inside.
      Files().RemoveDir(r.fields[0]);
      return true;
    case Kind::kAbsent:
    case Kind::kSavedFile:
      return UndoFile(r);
    case Kind::kMoved:
      return UndoMove(r);
    case Kind::kRegistryValue:
      return UndoRegistryValue(r);
    case Kind::kRegistryKey:
      UndoRegistryKey(r);
      return true;
    case Kind::kRegistryTree:
      return UndoRegistryTree(r);
    case Kind::kHeader:
    case Kind::kLeft:
      return true;
  }
  return false;
}

bool Journal::UndoFile(const Record& r) {
  platform::Fs& fs = Files();
  const std::string& path = r.fields[0];
  // A write cut off by a kill leaves its temporary beside the file.
  if (!Clear(platform::ReplacementTempPath(path))) return false;
  std::string now = EncodeIdentity(fs, path);
  if (now.empty()) return false;
  if (r.kind == Kind::kAbsent) {
    if (now == "-") return true;
    return SameIdentity(now, r.left) ? Clear(path) : KeepChanged(path);
  }
  const std::string& aside = r.fields[1];
  std::string part = aside + kPartSuffix;
  uint32_t attributes = 0;
  if (fs.AttributesAt(m_folder.get(), aside, &attributes) != kErrorSuccess) {
    // Nothing was kept, so nothing was changed yet; or a copy to another
    // volume was cut short, and only an original that is gone makes it the
    // one copy left.
    if (fs.AttributesAt(m_folder.get(), part, &attributes) != kErrorSuccess) return true;
    if (now != "-") return fs.DeleteAt(m_folder.get(), part) == kErrorSuccess;
    return fs.MoveOut(m_folder.get(), part, path) == kErrorSuccess;
  }
  if (now != "-") {
    // Untouched since it was kept: only the aside goes.
    if (SameIdentity(now, r.fields[2])) return DropAside(aside, path);
    if (SameIdentity(now, r.left) ? !Clear(path) : !KeepChanged(path)) return false;
  }
  return fs.MoveOut(m_folder.get(), aside, path) == kErrorSuccess;
}

bool Journal::UndoMove(const Record& r) {
  platform::Fs& fs = Files();
  const std::string& from = r.fields[0];
  const std::string& to = r.fields[1];
  if (!Clear(platform::ReplacementTempPath(to))) return false;
  std::string atTo = EncodeIdentity(fs, to);
  std::string atFrom = EncodeIdentity(fs, from);
  if (atTo.empty() || atFrom.empty()) return false;
  if (atTo == "-") return true;
  if (atFrom != "-") {
    // A move to another volume cut short before its source went: `to` is
    // the update's copy when it has the source's size and time.
    if (r.left.empty() && SameSizeAndTime(atTo, atFrom)) return Clear(to);
    WriteLog(texts::kChangedValueLeft + to, false);
    return true;
  }
  if (!r.left.empty() && !SameIdentity(atTo, r.left)) {
    WriteLog(texts::kChangedValueLeft + to, false);
    return true;
  }
  return fs.MoveFile(to, from) == kErrorSuccess;
}

// What an undo would otherwise destroy goes into the folder under a name of
// its own, and the log says where.
bool Journal::KeepChanged(const std::string& path) {
  platform::Fs& fs = Files();
  std::string name;
  uint32_t attributes = 0;
  do {
    name = kKeptPrefix + std::to_string(m_nNextKept++);
  } while (fs.AttributesAt(m_folder.get(), name, &attributes) == kErrorSuccess);
  platform::Error err = fs.MoveInto(m_folder.get(), name, path);
  if (err == platform::kErrorNotSameDevice) {
    err = fs.CopyInto(m_folder.get(), name, path);
    if (err == kErrorSuccess && fs.FlushFolder(m_folder.get()) == kErrorSuccess && !Clear(path)) {
      err = platform::kErrorAccessDenied;
    }
  }
  if (err != kErrorSuccess) return false;
  WriteLog(texts::kChangedFileKept + path + " -> " + JoinPath(m_szFolder, name), false);
  return true;
}

// The aside is a second name of the file still in place (or a copy of it):
// it goes, and the file keeps its read-only bit, which a second name shares.
bool Journal::DropAside(const std::string& aside, const std::string& path) {
  uint32_t attributes = 0;
  bool readOnly = Files().GetAttributes(path, &attributes) == kErrorSuccess &&
                  (attributes & platform::kAttrReadOnly);
  platform::Error err = Files().DeleteAt(m_folder.get(), aside);
  if (readOnly) Files().SetAttributes(path, platform::kAttrReadOnly);
  return err == kErrorSuccess;
}

// What was not undone, as a journal of its own, put in place by one rename.
bool Journal::Rewrite(const std::vector<Record>& records) {
  platform::Fs& fs = Files();
  std::unique_ptr<platform::WritableFile> file;
  if (fs.OpenAt(m_folder.get(), kJournalNew, platform::WriteMode::kCreateAlways, &file) !=
      kErrorSuccess) {
    return false;
  }
  std::string text;
  for (const Record& r : records) {
    text += EncodeRecord(static_cast<char>(r.kind), r.fields);
    const std::string* subject = SubjectOf(r);
    if (subject && !r.left.empty()) {
      text += EncodeRecord(static_cast<char>(Kind::kLeft), {*subject, r.left});
    }
  }
  size_t written = 0;
  bool ok = file->Write(text.data(), text.size(), &written) && written == text.size() &&
            file->Sync() && file->Close();
  file.reset();
  if (!ok || fs.RenameAt(m_folder.get(), kJournalNew, kJournalFile) != kErrorSuccess) {
    fs.DeleteAt(m_folder.get(), kJournalNew);
    return false;
  }
  return fs.FlushFolder(m_folder.get()) == kErrorSuccess;
}
