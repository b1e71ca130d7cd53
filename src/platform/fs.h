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

class WritableFile {
 public:
  virtual ~WritableFile() = default;
  // Writes up to n bytes; *written tells how many were taken. False on error.
  // Bytes taken may be held back and sent later: a failure to send them shows
  // in a later Write or in Close.
  virtual bool Write(const void* data, size_t n, size_t* written) = 0;
  // True when every byte taken reached the file.
  virtual bool Close() = 0;
};

class ReadableFile {
 public:
  virtual ~ReadableFile() = default;
  // Reads up to n bytes; *got is 0 at the end of the file. False on error.
  virtual bool Read(void* buffer, size_t n, size_t* got) = 0;
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
  // MoveFileExA with MOVEFILE_COPY_ALLOWED only: never replaces an existing
  // destination; across volumes a copy and a delete.
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

 private:
  Fs* m_pTarget;
};

}  // namespace platform
