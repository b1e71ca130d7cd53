// Files and directories. Results are the Windows error numbers of errors.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/errors.h"

namespace platform {

constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrNormal = 0x80;
// A symbolic link (a junction on Windows). Listings and attribute queries
// describe the link itself, never what it points to.
constexpr uint32_t kAttrReparsePoint = 0x400;

struct DirEntry {
  std::string name;
  uint32_t attributes = 0;
};

// File times in Windows FILETIME units: 100 ns since 1601-01-01 UTC.
struct FileTimes {
  uint64_t creation = 0;
  uint64_t lastAccess = 0;
  uint64_t lastWrite = 0;
};

// One file, whatever name it is reached by.
struct FileId {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool operator==(const FileId& o) const { return volume == o.volume && index == o.index; }
};

// What a name holds, links not followed: which file, its attributes, size and
// last write.
struct FileIdentity {
  FileId id;
  uint32_t attributes = 0;
  uint64_t size = 0;
  uint64_t lastWrite = 0;
};

class WritableFile {
 public:
  virtual ~WritableFile() = default;
  // Writes up to n bytes; *written tells how many were taken. False on error.
  // Bytes taken may be held back and sent later: a failure to send them shows
  // in a later Write or in Close.
  virtual bool Write(const void* data, size_t n, size_t* written) = 0;
  // Sends every byte taken and forces them, with the file's size, to the
  // disk (fdatasync, FlushFileBuffers). False when that failed.
  virtual bool Sync() = 0;
  // Sends every byte taken and starts writing them to the disk without
  // waiting, so that a later Sync or FlushFile has less to wait for. Nothing
  // is promised before that.
  virtual void StartSync() {}
  // True when every byte taken reached the file.
  virtual bool Close() = 0;
};

class ReadableFile {
 public:
  virtual ~ReadableFile() = default;
  // Reads up to n bytes; *got is 0 at the end of the file. False on error.
  virtual bool Read(void* buffer, size_t n, size_t* got) = 0;
};

// A folder held open by OpenOwnFolder. Operations on its entries go through
// what was opened, so the folder cannot be swapped for a link or another
// folder while it is held: POSIX works through its descriptor, Windows holds
// it without letting anyone rename or delete it.
class Folder {
 public:
  virtual ~Folder() = default;
};

enum class WriteMode {
  kCreateAlways,  // create or truncate
  kAppend,        // create if missing, append
};

class Fs {
 public:
  virtual ~Fs() = default;

  // 0 with the attributes, or 2/3 when nothing is there.
  virtual Error GetAttributes(const std::string& path, uint32_t* attributes) = 0;
  // Only kAttrReadOnly is honoured; kAttrNormal clears it.
  virtual Error SetAttributes(const std::string& path, uint32_t attributes) = 0;
  // One directory: 0, 3 (parent missing), 183 (exists), 5 (denied).
  virtual Error CreateDir(const std::string& path) = 0;
  // An empty directory, or a link to one (the link goes, not its target):
  // 0, 145 (not empty), 2/3 (missing), 5.
  virtual Error RemoveDir(const std::string& path) = 0;
  // One file or link; a read-only file is refused with 5.
  virtual Error DeleteFile(const std::string& path) = 0;
  // The entries of a directory, without "." and "..", in the file system's order.
  virtual Error ListDir(const std::string& path, std::vector<DirEntry>* entries) = 0;

  virtual Error OpenForWrite(const std::string& path, WriteMode mode,
                             std::unique_ptr<WritableFile>* file) = 0;
  virtual Error OpenForRead(const std::string& path, std::unique_ptr<ReadableFile>* file) = 0;

  // CopyFileA: replaces an existing destination unless failIfExists.
  virtual Error CopyFile(const std::string& from, const std::string& to, bool failIfExists) = 0;
  // Never replaces an existing destination. Across volumes (files only) the
  // copy goes to the destination's temporary (ReplacementTempPath), reaches
  // the disk, is renamed into place without replacing, and then the source is
  // deleted: a destination is never seen cut short.
  virtual Error MoveFile(const std::string& from, const std::string& to) = 0;
  // One rename within a volume that puts `from` in place of `to`, replacing a
  // file there in one step (a directory or a read-only file is refused with 5).
  virtual Error RenameOver(const std::string& from, const std::string& to) = 0;
  // CreateHardLinkA: a second name for the file on the same volume; never
  // replaces, and a link at `existing` gets a name of its own.
  virtual Error AddHardLink(const std::string& existing, const std::string& name) = 0;

  virtual Error GetFileTimes(const std::string& path, FileTimes* times) = 0;
  virtual Error SetFileTimes(const std::string& path, const FileTimes& times) = 0;

  // GetFullPathNameA: an absolute form of the path, without touching the disk.
  virtual bool GetFullPath(const std::string& path, std::string* full) = 0;
  // The absolute path with every link resolved; false when a link leads
  // nowhere (or, on Windows, where links are not resolved at all).
  virtual bool ResolveLinks(const std::string& path, std::string* resolved) = 0;
  // What the file is (links followed), to tell two names of one file apart.
  virtual Error GetFileId(const std::string& path, FileId* id) = 0;
  // The bytes the caller may still write on the volume holding the path.
  virtual Error GetFreeBytes(const std::string& path, uint64_t* bytes) = 0;
  // Unix permission bits (07777). Windows has none: 0 is read and nothing set.
  virtual Error GetUnixMode(const std::string& path, uint32_t* mode) = 0;
  virtual Error SetUnixMode(const std::string& path, uint32_t mode) = 0;

  // The identity of what is at the path; a link is described, not followed.
  virtual Error GetIdentity(const std::string& path, FileIdentity* identity) = 0;
  // Forces the file's bytes and attributes to the disk.
  virtual Error FlushFile(const std::string& path) = 0;
  // FlushFile of every path, the waits of one overlapping the others' (POSIX:
  // several at once): many files cost little more than one. (*results)[i] is
  // the result for paths[i].
  virtual void FlushFiles(const std::vector<std::string>& paths, std::vector<Error>* results) = 0;
  // DeleteFile of every path, in the same way.
  virtual void DeleteFiles(const std::vector<std::string>& paths, std::vector<Error>* results) = 0;
  // Forces the folder's entries (names made, renamed, removed) to the disk.
  // Windows: nothing to do, NTFS logs them itself.
  virtual Error FlushDir(const std::string& path) = 0;

  // Opens (with `create`, first makes) a folder that only this user, the
  // administrators (root) and the system may write: a folder made here gets
  // mode 0700 (POSIX) or a DACL of its own granting them alone (Windows). A
  // link, a folder owned by anyone else or one that others can write is
  // refused with 5, a missing one (without `create`) with 2 or 3.
  virtual Error OpenOwnFolder(const std::string& path, bool create,
                              std::unique_ptr<Folder>* folder) = 0;
  // The entries of a held folder. Every name is one entry of it, and a link
  // there is never followed. A file opened here is not buffered: each Write
  // reaches the file before it returns.
  virtual Error OpenAt(Folder* folder, const std::string& name, WriteMode mode,
                       std::unique_ptr<WritableFile>* file) = 0;
  // Refused (5) for a file that is not the caller's as OpenOwnFolder says.
  virtual Error ReadAt(Folder* folder, const std::string& name,
                       std::unique_ptr<ReadableFile>* file) = 0;
  virtual Error AttributesAt(Folder* folder, const std::string& name, uint32_t* attributes) = 0;
  virtual Error ListAt(Folder* folder, std::vector<DirEntry>* entries) = 0;
  // A file, a link or a whole tree, read-only or not.
  virtual Error DeleteAt(Folder* folder, const std::string& name) = 0;
  // Replaces `to` with `from`.
  virtual Error RenameAt(Folder* folder, const std::string& from, const std::string& to) = 0;
  // A second name in the folder for the file at `path` (as AddHardLink).
  virtual Error LinkInto(Folder* folder, const std::string& name, const std::string& path) = 0;
  // A copy of the file at `path`, with its attributes and times, on the disk
  // before this returns; never replaces.
  virtual Error CopyInto(Folder* folder, const std::string& name, const std::string& path) = 0;
  // One rename of what is at `path` (file, link or tree) into the folder;
  // never replaces, never copies (17 across volumes).
  virtual Error MoveInto(Folder* folder, const std::string& name, const std::string& path) = 0;
  // The entry moved out to `path`, never replacing; across volumes as MoveFile.
  virtual Error MoveOut(Folder* folder, const std::string& name, const std::string& path) = 0;
  // FlushDir of the held folder.
  virtual Error FlushFolder(Folder* folder) = 0;
};

// Forwards everything; tests derive from it and override the one call they break.
class FsWrapper : public Fs {
 public:
  explicit FsWrapper(Fs* target) : m_pTarget(target) {}
  Fs* target() const { return m_pTarget; }

  Error GetAttributes(const std::string& p, uint32_t* a) override {
    return m_pTarget->GetAttributes(p, a);
  }
  Error SetAttributes(const std::string& p, uint32_t a) override {
    return m_pTarget->SetAttributes(p, a);
  }
  Error CreateDir(const std::string& p) override { return m_pTarget->CreateDir(p); }
  Error RemoveDir(const std::string& p) override { return m_pTarget->RemoveDir(p); }
  Error DeleteFile(const std::string& p) override { return m_pTarget->DeleteFile(p); }
  Error ListDir(const std::string& p, std::vector<DirEntry>* e) override {
    return m_pTarget->ListDir(p, e);
  }
  Error OpenForWrite(const std::string& p, WriteMode m, std::unique_ptr<WritableFile>* f) override {
    return m_pTarget->OpenForWrite(p, m, f);
  }
  Error OpenForRead(const std::string& p, std::unique_ptr<ReadableFile>* f) override {
    return m_pTarget->OpenForRead(p, f);
  }
  Error CopyFile(const std::string& f, const std::string& t, bool fail) override {
    return m_pTarget->CopyFile(f, t, fail);
  }
  Error MoveFile(const std::string& f, const std::string& t) override {
    return m_pTarget->MoveFile(f, t);
  }
  Error GetFileTimes(const std::string& p, FileTimes* t) override {
    return m_pTarget->GetFileTimes(p, t);
  }
  Error SetFileTimes(const std::string& p, const FileTimes& t) override {
    return m_pTarget->SetFileTimes(p, t);
  }
  Error AddHardLink(const std::string& e, const std::string& n) override {
    return m_pTarget->AddHardLink(e, n);
  }
  Error RenameOver(const std::string& f, const std::string& t) override {
    return m_pTarget->RenameOver(f, t);
  }
  bool GetFullPath(const std::string& p, std::string* f) override {
    return m_pTarget->GetFullPath(p, f);
  }
  bool ResolveLinks(const std::string& p, std::string* r) override {
    return m_pTarget->ResolveLinks(p, r);
  }
  Error GetFileId(const std::string& p, FileId* id) override { return m_pTarget->GetFileId(p, id); }
  Error GetFreeBytes(const std::string& p, uint64_t* b) override {
    return m_pTarget->GetFreeBytes(p, b);
  }
  Error GetUnixMode(const std::string& p, uint32_t* m) override {
    return m_pTarget->GetUnixMode(p, m);
  }
  Error SetUnixMode(const std::string& p, uint32_t m) override {
    return m_pTarget->SetUnixMode(p, m);
  }
  Error GetIdentity(const std::string& p, FileIdentity* i) override {
    return m_pTarget->GetIdentity(p, i);
  }
  Error FlushFile(const std::string& p) override { return m_pTarget->FlushFile(p); }
  void FlushFiles(const std::vector<std::string>& p, std::vector<Error>* r) override {
    m_pTarget->FlushFiles(p, r);
  }
  void DeleteFiles(const std::vector<std::string>& p, std::vector<Error>* r) override {
    m_pTarget->DeleteFiles(p, r);
  }
  Error FlushDir(const std::string& p) override { return m_pTarget->FlushDir(p); }
  Error OpenOwnFolder(const std::string& p, bool c, std::unique_ptr<Folder>* f) override {
    return m_pTarget->OpenOwnFolder(p, c, f);
  }
  Error OpenAt(Folder* d, const std::string& n, WriteMode m,
               std::unique_ptr<WritableFile>* f) override {
    return m_pTarget->OpenAt(d, n, m, f);
  }
  Error ReadAt(Folder* d, const std::string& n, std::unique_ptr<ReadableFile>* f) override {
    return m_pTarget->ReadAt(d, n, f);
  }
  Error AttributesAt(Folder* d, const std::string& n, uint32_t* a) override {
    return m_pTarget->AttributesAt(d, n, a);
  }
  Error ListAt(Folder* d, std::vector<DirEntry>* e) override { return m_pTarget->ListAt(d, e); }
  Error DeleteAt(Folder* d, const std::string& n) override { return m_pTarget->DeleteAt(d, n); }
  Error RenameAt(Folder* d, const std::string& f, const std::string& t) override {
    return m_pTarget->RenameAt(d, f, t);
  }
  Error LinkInto(Folder* d, const std::string& n, const std::string& p) override {
    return m_pTarget->LinkInto(d, n, p);
  }
  Error CopyInto(Folder* d, const std::string& n, const std::string& p) override {
    return m_pTarget->CopyInto(d, n, p);
  }
  Error MoveInto(Folder* d, const std::string& n, const std::string& p) override {
    return m_pTarget->MoveInto(d, n, p);
  }
  Error MoveOut(Folder* d, const std::string& n, const std::string& p) override {
    return m_pTarget->MoveOut(d, n, p);
  }
  Error FlushFolder(Folder* d) override { return m_pTarget->FlushFolder(d); }

 private:
  Fs* m_pTarget;
};

}  // namespace platform
