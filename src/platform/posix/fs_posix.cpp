// POSIX back-end of Fs. Windows rules kept here: a file without its owner-write
// bit is read-only and cannot be deleted or overwritten (also for root), a move
// never replaces its destination, and links are never followed by listings,
// attribute queries or deletions.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/env.h"
#include "platform/in_use_retry.h"
#include "platform/posix/errno_map.h"
#include "platform/replacement_temp.h"

namespace platform {
namespace {

using posix::ErrorFromErrno;

constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

uint64_t ToFileTime(const struct timespec& ts) {
  return kUnixEpochAsFileTime + static_cast<uint64_t>(ts.tv_sec) * 10000000ull +
         static_cast<uint64_t>(ts.tv_nsec) / 100;
}

struct timespec FromFileTime(uint64_t ft) {
  struct timespec ts {};
  uint64_t since = ft > kUnixEpochAsFileTime ? ft - kUnixEpochAsFileTime : 0;
  ts.tv_sec = static_cast<time_t>(since / 10000000ull);
  ts.tv_nsec = static_cast<long>((since % 10000000ull) * 100);
  return ts;
}

uint32_t AttributesOf(const std::string& path, const struct stat& st) {
  uint32_t attributes = 0;
  if (S_ISLNK(st.st_mode)) {
    attributes |= kAttrReparsePoint;
    struct stat target;
    if (stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) attributes |= kAttrDirectory;
    return attributes;
  }
  if (S_ISDIR(st.st_mode)) attributes |= kAttrDirectory;
  if (!(st.st_mode & S_IWUSR)) attributes |= kAttrReadOnly;
  return attributes ? attributes : kAttrNormal;
}

bool IsReadOnlyFile(const struct stat& st) {
  return S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR);
}

// What a write to the path would replace: the file itself, or what a link
// there leads to. False when nothing is there to replace.
bool StatReplaced(const std::string& path, struct stat* st) {
  if (lstat(path.c_str(), st) != 0) return false;
  return !S_ISLNK(st->st_mode) || stat(path.c_str(), st) == 0;
}

// Small writes are gathered and go out in chunks of kWriteChunk bytes, so that
// a caller writing in small blocks (the downloader's 4096, the extractor's
// 2048) costs one system call per chunk, not per block. Close sends the rest
// and tells whether everything reached the file. Once a write has failed, the
// file is written through, so that every later block reports its own failure
// as on a full disk.
class PosixWritableFile : public WritableFile {
 public:
  explicit PosixWritableFile(int fd, bool writeThrough = false)
      : m_fd(fd), m_bWriteThrough(writeThrough) {}
  ~PosixWritableFile() override { Close(); }

  bool Write(const void* data, size_t n, size_t* written) override {
    *written = 0;
    if (m_fd < 0) return false;
    if (m_nHeld + n > kWriteChunk || m_bWriteThrough) {
      if (!Flush()) return false;
      if (n >= kWriteChunk || m_bWriteThrough) {
        *written = WriteOut(data, n);
        if (*written < n) m_bWriteThrough = true;
        return *written == n;
      }
    }
    if (m_chunk.empty()) m_chunk.resize(kWriteChunk);
    memcpy(m_chunk.data() + m_nHeld, data, n);
    m_nHeld += n;
    *written = n;
    return true;
  }

  bool Sync() override {
    if (m_fd < 0) return false;
    return Flush() && !m_bLost && fdatasync(m_fd) == 0;
  }

  void StartSync() override {
    if (m_fd >= 0 && Flush()) sync_file_range(m_fd, 0, 0, SYNC_FILE_RANGE_WRITE);
  }

  bool Close() override {
    if (m_fd < 0) return true;
    Flush();
    int rc = ::close(m_fd);
    m_fd = -1;
    return !m_bLost && rc == 0;
  }

 private:
  static constexpr size_t kWriteChunk = 64 * 1024;

  // The held bytes go out; those that cannot are lost, the write that sends
  // them fails, and so does Close.
  bool Flush() {
    if (m_nHeld == 0) return true;
    size_t held = m_nHeld;
    m_nHeld = 0;
    if (WriteOut(m_chunk.data(), held) == held) return true;
    m_bWriteThrough = true;
    m_bLost = true;
    return false;
  }

  size_t WriteOut(const void* data, size_t n) {
    const char* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < n) {
      ssize_t w = ::write(m_fd, p + done, n - done);
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) break;
      done += static_cast<size_t>(w);
    }
    return done;
  }

  int m_fd;
  std::vector<char> m_chunk;
  size_t m_nHeld = 0;
  bool m_bWriteThrough = false;
  bool m_bLost = false;  // bytes once taken never reached the file
};

// What a name in a folder is, links not followed.
uint32_t EntryAttributes(int dir, const char* name, const struct stat& st) {
  if (!S_ISLNK(st.st_mode)) return AttributesOf(std::string(), st);
  struct stat target;
  uint32_t attributes = kAttrReparsePoint;
  if (fstatat(dir, name, &target, 0) == 0 && S_ISDIR(target.st_mode)) attributes |= kAttrDirectory;
  return attributes;
}

// Owned by this user or root, and written by nobody else.
bool IsOwn(const struct stat& st) {
  return (st.st_uid == geteuid() || st.st_uid == 0) && !(st.st_mode & (S_IWGRP | S_IWOTH));
}

// A single entry of a folder: no separator, not "." or "..".
bool IsEntryName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// A rename that never replaces: by the kernel where the file system can, by a
// hard link and an unlink (files) or a check and a rename (folders) where not.
Error RenameNoReplace(int fromDir, const char* from, int toDir, const char* to) {
  if (renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0) return kErrorSuccess;
  int err = errno;
  if (err == EEXIST) return kErrorAlreadyExists;
  if (err == EXDEV) return kErrorNotSameDevice;
  if (err != EINVAL && err != ENOSYS) return ErrorFromErrno(err);
  struct stat st;
  if (fstatat(fromDir, from, &st, AT_SYMLINK_NOFOLLOW) != 0) return ErrorFromErrno(errno);
  if (!S_ISDIR(st.st_mode)) {
    if (linkat(fromDir, from, toDir, to, 0) != 0) {
      return errno == EEXIST ? kErrorAlreadyExists : ErrorFromErrno(errno);
    }
    unlinkat(fromDir, from, 0);
    return kErrorSuccess;
  }
  if (fstatat(toDir, to, &st, AT_SYMLINK_NOFOLLOW) == 0) return kErrorAlreadyExists;
  return renameat(fromDir, from, toDir, to) == 0 ? kErrorSuccess : ErrorFromErrno(errno);
}

Error CopyData(int in, int out) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    ssize_t r = ::read(in, buffer.data(), buffer.size());
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return ErrorFromErrno(errno);
    if (r == 0) return kErrorSuccess;
    ssize_t done = 0;
    while (done < r) {
      ssize_t w = ::write(out, buffer.data() + done, static_cast<size_t>(r - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) return w < 0 ? ErrorFromErrno(errno) : kErrorDiskFull;
      done += w;
    }
  }
}

// The bytes, mode and times of `in` into a new file made at dir/name, forced
// to the disk. A failed copy leaves nothing.
Error CopyToNewFile(int in, const struct stat& src, int dir, const char* name) {
  int out = openat(dir, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (out < 0) return errno == EEXIST ? kErrorAlreadyExists : ErrorFromErrno(errno);
  struct timespec times[2] = {src.st_atim, src.st_mtim};
  Error err = CopyData(in, out);
  if (err == kErrorSuccess &&
      (fchmod(out, src.st_mode & 07777) != 0 || futimens(out, times) != 0 || fsync(out) != 0)) {
    err = ErrorFromErrno(errno);
  }
  if (::close(out) != 0 && err == kErrorSuccess) err = ErrorFromErrno(errno);
  if (err != kErrorSuccess) unlinkat(dir, name, 0);
  return err;
}

Error SyncPath(const std::string& path, int flags) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | flags);
  if (fd < 0) return ErrorFromErrno(errno);
  int rc = fsync(fd);
  int err = errno;
  ::close(fd);
  return rc == 0 ? kErrorSuccess : ErrorFromErrno(err);
}

// A file of another volume put at `to`: copied to the destination's
// temporary, forced to the disk, renamed into place without replacing and the
// folder flushed, so that `to` is absent or whole whenever the process stops.
Error PlaceCopy(int in, const std::string& to) {
  struct stat src;
  if (fstat(in, &src) != 0) return ErrorFromErrno(errno);
  if (!S_ISREG(src.st_mode)) return kErrorNotSameDevice;
  struct stat st;
  if (lstat(to.c_str(), &st) == 0) return kErrorAlreadyExists;
  std::string temp = ReplacementTempPath(to);
  unlink(temp.c_str());
  Error err = CopyToNewFile(in, src, AT_FDCWD, temp.c_str());
  if (err != kErrorSuccess) return err;
  err = RenameNoReplace(AT_FDCWD, temp.c_str(), AT_FDCWD, to.c_str());
  if (err != kErrorSuccess) {
    unlink(temp.c_str());
    return err;
  }
  return SyncPath(FolderOfPath(to), O_DIRECTORY);
}

// A held folder: its descriptor.
class PosixFolder : public Folder {
 public:
  explicit PosixFolder(int fd) : m_fd(fd) {}
  ~PosixFolder() override { ::close(m_fd); }
  int fd() const { return m_fd; }

 private:
  int m_fd;
};

int FdOf(Folder* folder) {
  auto* f = dynamic_cast<PosixFolder*>(folder);
  return f ? f->fd() : -1;
}

// Removes dir/name, a tree too, without following links and whatever the
// write bits of its files and folders.
Error RemoveEntry(int dir, const char* name) {
  struct stat st;
  if (fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return ErrorFromErrno(errno);
  if (!S_ISDIR(st.st_mode)) {
    return unlinkat(dir, name, 0) == 0 ? kErrorSuccess : ErrorFromErrno(errno);
  }
  int sub = openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (sub < 0) return ErrorFromErrno(errno);
  fchmod(sub, (st.st_mode & 07777) | S_IRWXU);
  DIR* list = fdopendir(sub);
  if (!list) {
    ::close(sub);
    return ErrorFromErrno(errno);
  }
  std::vector<std::string> names;
  while (struct dirent* e = readdir(list)) {
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
  }
  Error err = kErrorSuccess;
  for (const std::string& child : names) {
    if (err == kErrorSuccess) err = RemoveEntry(dirfd(list), child.c_str());
  }
  closedir(list);
  if (err != kErrorSuccess) return err;
  return unlinkat(dir, name, AT_REMOVEDIR) == 0 ? kErrorSuccess : ErrorFromErrno(errno);
}

class PosixReadableFile : public ReadableFile {
 public:
  explicit PosixReadableFile(int fd) : m_fd(fd) {}
  ~PosixReadableFile() override { ::close(m_fd); }

  bool Read(void* buffer, size_t n, size_t* got) override {
    ssize_t r;
    do {
      r = ::read(m_fd, buffer, n);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
      *got = 0;
      return false;
    }
    *got = static_cast<size_t>(r);
    return true;
  }

 private:
  int m_fd;
};

// An fsync, or the unlink of a file's last name (ext4 may then wait for the
// disk to discard its blocks), mostly waits: several run at once, so that the
// waits overlap and 400 small files cost about what 40 did one after another.
void AllAtOnce(const std::vector<std::string>& paths, std::vector<Error>* results,
               const std::function<Error(const std::string&)>& each) {
  constexpr size_t kWorkers = 8;
  results->assign(paths.size(), kErrorSuccess);
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i; (i = next++) < paths.size();) (*results)[i] = each(paths[i]);
  };
  std::vector<std::thread> workers;
  size_t wanted = std::min<size_t>(kWorkers, paths.size());
  for (size_t i = 1; i < wanted; ++i) {
    try {
      workers.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // fewer workers; this thread does the rest
    }
  }
  work();
  for (std::thread& worker : workers) worker.join();
}

class PosixFs : public Fs {
 public:
  Error GetAttributes(const std::string& path, uint32_t* attributes) override {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return ErrorFromErrno(errno);
    *attributes = AttributesOf(path, st);
    return kErrorSuccess;
  }

  Error SetAttributes(const std::string& path, uint32_t attributes) override {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return ErrorFromErrno(errno);
    if (S_ISLNK(st.st_mode)) return kErrorSuccess;
    mode_t mode = st.st_mode & 07777;
    mode =
        (attributes & kAttrReadOnly) ? (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
    if (chmod(path.c_str(), mode) != 0) return ErrorFromErrno(errno);
    return kErrorSuccess;
  }

  Error CreateDir(const std::string& path) override {
    if (mkdir(path.c_str(), 0777) != 0) {
      if (errno == ENOENT) return kErrorPathNotFound;
      return ErrorFromErrno(errno);
    }
    return kErrorSuccess;
  }

  Error RemoveDir(const std::string& path) override {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return ErrorFromErrno(errno);
    if (S_ISLNK(st.st_mode)) {
      if (unlink(path.c_str()) != 0) return ErrorFromErrno(errno);
      return kErrorSuccess;
    }
    if (!S_ISDIR(st.st_mode)) return kErrorInvalidParameter;
    if (rmdir(path.c_str()) != 0) {
      if (errno == EEXIST || errno == ENOTEMPTY) return kErrorDirNotEmpty;
      return ErrorFromErrno(errno);
    }
    return kErrorSuccess;
  }

  Error DeleteFile(const std::string& path) override {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return ErrorFromErrno(errno);
    if (S_ISDIR(st.st_mode) || IsReadOnlyFile(st)) return kErrorAccessDenied;
    if (unlink(path.c_str()) != 0) return ErrorFromErrno(errno);
    return kErrorSuccess;
  }

  Error ListDir(const std::string& path, std::vector<DirEntry>* entries) override {
    entries->clear();
    DIR* dir = opendir(path.c_str());
    if (!dir) return errno == ENOENT ? kErrorPathNotFound : ErrorFromErrno(errno);
    std::string prefix = path;
    if (prefix.empty() || prefix.back() != '/') prefix += '/';
    for (;;) {
      errno = 0;
      struct dirent* e = readdir(dir);
      if (!e) break;
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      DirEntry entry;
      entry.name = name;
      struct stat st;
      std::string full = prefix + name;
      if (lstat(full.c_str(), &st) == 0) entry.attributes = AttributesOf(full, st);
      entries->push_back(entry);
    }
    Error err = errno ? ErrorFromErrno(errno) : kErrorSuccess;
    closedir(dir);
    return err;
  }

  Error OpenForWrite(const std::string& path, WriteMode mode,
                     std::unique_ptr<WritableFile>* file) override {
    struct stat st;
    if (StatReplaced(path, &st)) {
      if (S_ISDIR(st.st_mode)) return kErrorAccessDenied;
      if (IsReadOnlyFile(st)) return kErrorAccessDenied;
    }
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
    flags |= mode == WriteMode::kAppend ? O_APPEND : O_TRUNC;
    int fd = open(path.c_str(), flags, 0666);
    if (fd < 0) return errno == ENOENT ? kErrorPathNotFound : ErrorFromErrno(errno);
    file->reset(new PosixWritableFile(fd));
    return kErrorSuccess;
  }

  Error OpenForRead(const std::string& path, std::unique_ptr<ReadableFile>* file) override {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ErrorFromErrno(errno);
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd);
      return kErrorAccessDenied;
    }
    file->reset(new PosixReadableFile(fd));
    return kErrorSuccess;
  }

  Error CopyFile(const std::string& from, const std::string& to, bool failIfExists) override {
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return ErrorFromErrno(errno);
    struct stat src;
    if (fstat(in, &src) != 0 || S_ISDIR(src.st_mode)) {
      ::close(in);
      return kErrorAccessDenied;
    }
    struct stat dst;
    if (lstat(to.c_str(), &dst) == 0) {
      if (S_ISLNK(dst.st_mode)) StatReplaced(to, &dst);
      if (failIfExists) {
        ::close(in);
        return kErrorFileExists;
      }
      if (S_ISDIR(dst.st_mode) || IsReadOnlyFile(dst)) {
        ::close(in);
        return kErrorAccessDenied;
      }
    }
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC);
    int out = open(to.c_str(), flags, src.st_mode & 0777);
    if (out < 0) {
      Error err = errno == EEXIST ? kErrorFileExists : ErrorFromErrno(errno);
      ::close(in);
      return err;
    }
    Error err = CopyData(in, out);
    ::close(in);
    if (::close(out) != 0 && err == kErrorSuccess) err = ErrorFromErrno(errno);
    if (err == kErrorSuccess) {
      struct timespec times[2] = {src.st_atim, src.st_mtim};
      SetTimes(to, times);
    }
    return err;
  }

  Error AddHardLink(const std::string& existing, const std::string& name) override {
    return link(existing.c_str(), name.c_str()) == 0 ? kErrorSuccess : ErrorFromErrno(errno);
  }

  Error MoveFile(const std::string& from, const std::string& to) override {
    struct stat st;
    if (lstat(from.c_str(), &st) != 0) return ErrorFromErrno(errno);
    Error err = RenameNoReplace(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str());
    if (err != kErrorNotSameDevice || S_ISDIR(st.st_mode)) return err;
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return ErrorFromErrno(errno);
    err = PlaceCopy(in, to);
    ::close(in);
    if (err != kErrorSuccess) return err;
    return unlink(from.c_str()) == 0 ? kErrorSuccess : ErrorFromErrno(errno);
  }

  Error RenameOver(const std::string& from, const std::string& to) override {
    struct stat st;
    if (lstat(to.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || IsReadOnlyFile(st))) {
      return kErrorAccessDenied;
    }
    if (rename(from.c_str(), to.c_str()) != 0) return ErrorFromErrno(errno);
    return kErrorSuccess;
  }

  Error GetFileTimes(const std::string& path, FileTimes* times) override {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return ErrorFromErrno(errno);
    times->creation = ToFileTime(st.st_mtim);
    times->lastAccess = ToFileTime(st.st_atim);
    times->lastWrite = ToFileTime(st.st_mtim);
    return kErrorSuccess;
  }

  Error SetFileTimes(const std::string& path, const FileTimes& times) override {
    struct timespec ts[2] = {FromFileTime(times.lastAccess), FromFileTime(times.lastWrite)};
    return SetTimes(path, ts);
  }

  bool GetFullPath(const std::string& path, std::string* full) override {
    if (path.empty()) return false;
    std::string joined = path;
    if (path[0] != '/') {
      char cwd[4096];
      if (!getcwd(cwd, sizeof cwd)) return false;
      joined = std::string(cwd) + "/" + path;
    }
    // Resolve "." and ".." by the text alone, as GetFullPathNameA does.
    std::vector<std::string> parts;
    size_t i = 0;
    while (i <= joined.size()) {
      size_t slash = joined.find('/', i);
      if (slash == std::string::npos) slash = joined.size();
      std::string part = joined.substr(i, slash - i);
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!part.empty() && part != ".") {
        parts.push_back(part);
      }
      i = slash + 1;
    }
    std::string result;
    for (const std::string& part : parts) result += "/" + part;
    if (result.empty()) result = "/";
    if (joined.back() == '/' && result != "/") result += '/';
    *full = result;
    return true;
  }

  bool ResolveLinks(const std::string& path, std::string* resolved) override {
    char* real = realpath(path.c_str(), nullptr);
    if (!real) return false;
    *resolved = real;
    free(real);
    return true;
  }

  Error GetFileId(const std::string& path, FileId* id) override {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return ErrorFromErrno(errno);
    id->volume = static_cast<uint64_t>(st.st_dev);
    id->index = static_cast<uint64_t>(st.st_ino);
    return kErrorSuccess;
  }

  Error GetFreeBytes(const std::string& path, uint64_t* bytes) override {
    struct statvfs vfs;
    if (statvfs(path.c_str(), &vfs) != 0) return ErrorFromErrno(errno);
    *bytes = static_cast<uint64_t>(vfs.f_bavail) * static_cast<uint64_t>(vfs.f_frsize);
    return kErrorSuccess;
  }

  Error GetUnixMode(const std::string& path, uint32_t* mode) override {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return ErrorFromErrno(errno);
    *mode = static_cast<uint32_t>(st.st_mode & 07777);
    return kErrorSuccess;
  }

  Error SetUnixMode(const std::string& path, uint32_t mode) override {
    if (chmod(path.c_str(), static_cast<mode_t>(mode & 07777)) != 0) return ErrorFromErrno(errno);
    return kErrorSuccess;
  }

  Error GetIdentity(const std::string& path, FileIdentity* identity) override {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return ErrorFromErrno(errno);
    identity->id.volume = static_cast<uint64_t>(st.st_dev);
    identity->id.index = static_cast<uint64_t>(st.st_ino);
    identity->attributes = AttributesOf(path, st);
    identity->size = static_cast<uint64_t>(st.st_size);
    identity->lastWrite = ToFileTime(st.st_mtim);
    return kErrorSuccess;
  }

  Error FlushFile(const std::string& path) override { return SyncPath(path, 0); }

  void FlushFiles(const std::vector<std::string>& paths, std::vector<Error>* results) override {
    AllAtOnce(paths, results, [](const std::string& path) { return SyncPath(path, 0); });
  }

  void DeleteFiles(const std::vector<std::string>& paths, std::vector<Error>* results) override {
    AllAtOnce(paths, results, [this](const std::string& path) { return DeleteFile(path); });
  }

  Error FlushDir(const std::string& path) override { return SyncPath(path, O_DIRECTORY); }

  Error OpenOwnFolder(const std::string& path, bool create,
                      std::unique_ptr<Folder>* folder) override {
    if (create && mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return ErrorFromErrno(errno);
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      // A link, or something other than a folder, in its place.
      if (errno == ELOOP || errno == ENOTDIR) return kErrorAccessDenied;
      return ErrorFromErrno(errno);
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !IsOwn(st)) {
      ::close(fd);
      return kErrorAccessDenied;
    }
    folder->reset(new PosixFolder(fd));
    return kErrorSuccess;
  }

  Error OpenAt(Folder* folder, const std::string& name, WriteMode mode,
               std::unique_ptr<WritableFile>* file) override {
    if (!IsEntryName(name)) return kErrorInvalidParameter;
    int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC;
    flags |= mode == WriteMode::kAppend ? O_APPEND : O_TRUNC;
    int fd = openat(FdOf(folder), name.c_str(), flags, 0600);
    if (fd < 0) return ErrorFromErrno(errno == ELOOP ? EACCES : errno);
    file->reset(new PosixWritableFile(fd, true));
    return kErrorSuccess;
  }

  Error ReadAt(Folder* folder, const std::string& name,
               std::unique_ptr<ReadableFile>* file) override {
    if (!IsEntryName(name)) return kErrorInvalidParameter;
    int fd = openat(FdOf(folder), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return ErrorFromErrno(errno == ELOOP ? EACCES : errno);
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !IsOwn(st)) {
      ::close(fd);
      return kErrorAccessDenied;
    }
    file->reset(new PosixReadableFile(fd));
    return kErrorSuccess;
  }

  Error AttributesAt(Folder* folder, const std::string& name, uint32_t* attributes) override {
    if (!IsEntryName(name)) return kErrorInvalidParameter;
    struct stat st;
    if (fstatat(FdOf(folder), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      return ErrorFromErrno(errno);
    }
    *attributes = EntryAttributes(FdOf(folder), name.c_str(), st);
    return kErrorSuccess;
  }

  Error ListAt(Folder* folder, std::vector<DirEntry>* entries) override {
    entries->clear();
    int fd = dup(FdOf(folder));
    DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
    if (!dir) {
      if (fd >= 0) ::close(fd);
      return ErrorFromErrno(errno);
    }
    // The copy shares the held descriptor's position.
    rewinddir(dir);
    for (;;) {
      errno = 0;
      struct dirent* e = readdir(dir);
      if (!e) break;
      if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
      DirEntry entry;
      entry.name = e->d_name;
      struct stat st;
      if (fstatat(dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        entry.attributes = EntryAttributes(dirfd(dir), e->d_name, st);
      }
      entries->push_back(entry);
    }
    Error err = errno ? ErrorFromErrno(errno) : kErrorSuccess;
    closedir(dir);
    return err;
  }

  Error DeleteAt(Folder* folder, const std::string& name) override {
    if (!IsEntryName(name)) return kErrorInvalidParameter;
    return RemoveEntry(FdOf(folder), name.c_str());
  }

  Error RenameAt(Folder* folder, const std::string& from, const std::string& to) override {
    if (!IsEntryName(from) || !IsEntryName(to)) return kErrorInvalidParameter;
    int fd = FdOf(folder);
    return renameat(fd, from.c_str(), fd, to.c_str()) == 0 ? kErrorSuccess : ErrorFromErrno(errno);
  }

  Error LinkInto(Folder* folder, const std::string& name, const std::string& path) override {
    if (!IsEntryName(name)) return kErrorInvalidParameter;
    if (linkat(AT_FDCWD, path.c_str(), FdOf(folder), name.c_str(), 0) != 0) {
      return ErrorFromErrno(errno);
    }
    return kErrorSuccess;
  }

  Error CopyInto(Folder* folder, const std::string& name, const std::string& path) override {
    if (!IsEntryName(name)) return kErrorInvalidParameter;
    int in = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0) return ErrorFromErrno(errno);
    struct stat src;
    Error err = fstat(in, &src) == 0 && S_ISREG(src.st_mode)
                    ? CopyToNewFile(in, src, FdOf(folder), name.c_str())
                    : kErrorAccessDenied;
    ::close(in);
    return err;
  }

  Error MoveInto(Folder* folder, const std::string& name, const std::string& path) override {
    if (!IsEntryName(name)) return kErrorInvalidParameter;
    return RenameNoReplace(AT_FDCWD, path.c_str(), FdOf(folder), name.c_str());
  }

  Error MoveOut(Folder* folder, const std::string& name, const std::string& path) override {
    if (!IsEntryName(name)) return kErrorInvalidParameter;
    int fd = FdOf(folder);
    Error err = RenameNoReplace(fd, name.c_str(), AT_FDCWD, path.c_str());
    if (err != kErrorNotSameDevice) return err;
    int in = openat(fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (in < 0) return kErrorNotSameDevice;
    err = PlaceCopy(in, path);
    ::close(in);
    if (err != kErrorSuccess) return err;
    return RemoveEntry(fd, name.c_str());
  }

  Error FlushFolder(Folder* folder) override {
    return fsync(FdOf(folder)) == 0 ? kErrorSuccess : ErrorFromErrno(errno);
  }

 private:
  static Error SetTimes(const std::string& path, const struct timespec times[2]) {
    if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) return ErrorFromErrno(errno);
    return kErrorSuccess;
  }
};

}  // namespace

// Renames and deletions wait a while for a file that is busy (EBUSY, ETXTBSY).
Fs* DefaultFs() {
  static PosixFs posixFs;
  static InUseRetryFs fs(&posixFs, false);
  return &fs;
}

}  // namespace platform
