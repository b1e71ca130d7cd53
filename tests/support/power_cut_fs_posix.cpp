#include "support/power_cut_fs_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace {

constexpr platform::Error kDead = platform::kErrorGenFailure;

// A held folder with the path it was opened by.
class CutFolder : public platform::Folder {
 public:
  CutFolder(std::unique_ptr<platform::Folder> real, std::string path)
      : m_real(std::move(real)), m_szPath(std::move(path)) {}
  std::unique_ptr<platform::Folder> m_real;
  std::string m_szPath;
};

class CutFile : public platform::WritableFile {
 public:
  CutFile(PowerCutFs* fs, std::string path, std::unique_ptr<platform::WritableFile> real)
      : m_pFs(fs), m_szPath(std::move(path)), m_real(std::move(real)) {}
  bool Write(const void* data, size_t n, size_t* written) override {
    *written = 0;
    return m_pFs->Moment(m_szPath) && m_real->Write(data, n, written);
  }
  bool Sync() override {
    if (!m_pFs->Moment(m_szPath) || !m_real->Sync()) return false;
    m_pFs->BytesFlushed(m_szPath);
    return true;
  }
  bool Close() override { return !m_pFs->Off() && m_real->Close(); }

 private:
  PowerCutFs* m_pFs;
  std::string m_szPath;
  std::unique_ptr<platform::WritableFile> m_real;
};

// The registry of a machine whose power went: nothing is written any more.
class CutRegistry : public platform::RegistryStoreWrapper {
 public:
  CutRegistry(platform::RegistryStore* target, const PowerCutFs* fs)
      : RegistryStoreWrapper(target), m_pFs(fs) {}
  platform::Error CreateKey(platform::RootKey r, const std::string& s, uint32_t a,
                            std::unique_ptr<platform::RegistryHandle>* k) override {
    return m_pFs->Off() ? kDead : RegistryStoreWrapper::CreateKey(r, s, a, k);
  }
  platform::Error SetValue(platform::RegistryHandle* k, const std::string& n, uint32_t t,
                           const void* d, size_t s) override {
    return m_pFs->Off() ? kDead : RegistryStoreWrapper::SetValue(k, n, t, d, s);
  }
  platform::Error DeleteKey(platform::RootKey r, const std::string& s) override {
    return m_pFs->Off() ? kDead : RegistryStoreWrapper::DeleteKey(r, s);
  }
  platform::Error DeleteValue(platform::RegistryHandle* k, const std::string& n) override {
    return m_pFs->Off() ? kDead : RegistryStoreWrapper::DeleteValue(k, n);
  }

 private:
  const PowerCutFs* m_pFs;
};

struct stat LStat(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st;
}

}  // namespace

PowerCutFs::PowerCutFs(const std::string& root, int cutAt)
    : FsWrapper(&platform::Env::Get().fs()), m_szRoot(root), m_nCutAt(cutAt) {
  m_nRootIno = LStat(root).st_ino;
  m_names = Scan();
  for (const auto& folder : m_names) {
    for (const auto& entry : folder.second) {
      Inode& inode = m_inodes[entry.second];
      inode.flushed = true;
    }
  }
  // What is there at the start is on the disk.
  for (auto& entry : m_inodes) {
    char path[64];
    snprintf(path, sizeof path, "/proc/self/fd/%d", entry.second.fd);
    entry.second.bytes = ReadFileBytes(path);
  }
  m_pPrevious = platform::Env::Get().SetFs(this);
  m_registry = std::make_unique<CutRegistry>(&platform::Env::Get().registry(), this);
  m_pPreviousRegistry = platform::Env::Get().SetRegistry(m_registry.get());
}

PowerCutFs::~PowerCutFs() {
  platform::Env::Get().SetFs(m_pPrevious);
  platform::Env::Get().SetRegistry(m_pPreviousRegistry);
  for (auto& entry : m_inodes) close(entry.second.fd);
}

bool PowerCutFs::Below(const std::string& path) const {
  return path.compare(0, m_szRoot.size(), m_szRoot) == 0 &&
         (path.size() == m_szRoot.size() || path[m_szRoot.size()] == '/');
}

bool PowerCutFs::Moment(const std::string& path, const std::string& other) {
  if (!Below(path) && (other.empty() || !Below(other))) return !m_bOff;
  if (m_bOff) return false;
  if (m_nMoments++ == m_nCutAt) m_bOff = true;
  return !m_bOff;
}

ino_t PowerCutFs::Learn(const std::string& path) {
  struct stat st = LStat(path);
  Inode& inode = m_inodes[st.st_ino];
  if (inode.fd < 0) inode.fd = open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  return st.st_ino;
}

void PowerCutFs::BytesFlushed(const std::string& path) {
  if (!Below(path)) return;
  Inode& inode = m_inodes[Learn(path)];
  inode.bytes = ReadFileBytes(path);
  inode.flushed = true;
}

PowerCutFs::Names PowerCutFs::Scan() {
  Names names;
  std::vector<std::string> folders = {m_szRoot};
  Learn(m_szRoot);
  while (!folders.empty()) {
    std::string folder = folders.back();
    folders.pop_back();
    auto& entries = names[LStat(folder).st_ino];
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
      std::string path = e.path().string();
      entries[e.path().filename().string()] = Learn(path);
      if (e.is_directory() && !e.is_symlink()) folders.push_back(path);
    }
  }
  return names;
}

void PowerCutFs::Cut(Loss loss) {
  if (loss == Loss::kNothing) return;
  Names now = Scan();
  const Names& names = loss == Loss::kUnflushed ? m_names : now;
  // A name for every file that still has one, to give it its place again.
  std::string stage = m_szRoot + ".stage";
  std::filesystem::create_directory(stage);
  std::map<ino_t, std::string> staged;
  std::vector<std::string> folders = {m_szRoot};
  for (size_t i = 0; i < folders.size(); ++i) {
    for (const auto& e : std::filesystem::directory_iterator(folders[i])) {
      std::string path = e.path().string();
      struct stat st = LStat(path);
      if (S_ISDIR(st.st_mode)) {
        folders.push_back(path);
      } else if (!staged.count(st.st_ino)) {
        staged[st.st_ino] = stage + "/" + std::to_string(st.st_ino);
        link(path.c_str(), staged[st.st_ino].c_str());
      }
    }
  }
  for (const auto& e : std::filesystem::directory_iterator(m_szRoot)) {
    std::filesystem::remove_all(e.path());
  }
  std::set<ino_t> written;
  // Folder inode and path, made again with what the cut leaves in them.
  std::vector<std::pair<ino_t, std::string>> todo = {{m_nRootIno, m_szRoot}};
  while (!todo.empty()) {
    auto [dirIno, dirPath] = todo.back();
    todo.pop_back();
    auto found = names.find(dirIno);
    if (found == names.end()) continue;
    for (const auto& [name, ino] : found->second) {
      std::string path = dirPath + "/" + name;
      Inode& inode = m_inodes[ino];
      struct stat st {};
      fstat(inode.fd, &st);
      if (S_ISDIR(st.st_mode)) {
        mkdir(path.c_str(), st.st_mode & 07777);
        todo.push_back({ino, path});
        continue;
      }
      std::string bytes = inode.bytes;
      if (loss == Loss::kBytes && !inode.flushed)
        bytes.assign(static_cast<size_t>(st.st_size), '\0');
      auto it = staged.find(ino);
      if (it != staged.end() && link(it->second.c_str(), path.c_str()) == 0) {
        if (S_ISLNK(st.st_mode) || !written.insert(ino).second || ReadFileBytes(path) == bytes) {
          continue;
        }
        // The same inode, with the bytes the cut leaves and its times.
        chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR);
        WriteFileBytes(path, bytes);
        chmod(path.c_str(), st.st_mode & 07777);
      } else if (S_ISLNK(st.st_mode)) {
        continue;  // a link that is gone altogether
      } else {
        WriteFileBytes(path, bytes);
        chmod(path.c_str(), st.st_mode & 07777);
      }
      struct timespec times[2] = {st.st_atim, st.st_mtim};
      utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
    }
  }
  std::filesystem::remove_all(stage);
}

platform::Error PowerCutFs::CreateDir(const std::string& p) {
  return Moment(p) ? FsWrapper::CreateDir(p) : kDead;
}
platform::Error PowerCutFs::RemoveDir(const std::string& p) {
  return Moment(p) ? FsWrapper::RemoveDir(p) : kDead;
}
platform::Error PowerCutFs::DeleteFile(const std::string& p) {
  return Moment(p) ? FsWrapper::DeleteFile(p) : kDead;
}
platform::Error PowerCutFs::OpenForWrite(const std::string& p, platform::WriteMode m,
                                         std::unique_ptr<platform::WritableFile>* f) {
  std::unique_ptr<platform::WritableFile> real;
  if (!Moment(p)) return kDead;
  platform::Error err = FsWrapper::OpenForWrite(p, m, &real);
  if (err == platform::kErrorSuccess) *f = std::make_unique<CutFile>(this, p, std::move(real));
  return err;
}
platform::Error PowerCutFs::CopyFile(const std::string& f, const std::string& t, bool fail) {
  return Moment(t, f) ? FsWrapper::CopyFile(f, t, fail) : kDead;
}
platform::Error PowerCutFs::MoveFile(const std::string& f, const std::string& t) {
  return Moment(t, f) ? FsWrapper::MoveFile(f, t) : kDead;
}
platform::Error PowerCutFs::RenameOver(const std::string& f, const std::string& t) {
  return Moment(t, f) ? FsWrapper::RenameOver(f, t) : kDead;
}
platform::Error PowerCutFs::AddHardLink(const std::string& e, const std::string& n) {
  return Moment(n, e) ? FsWrapper::AddHardLink(e, n) : kDead;
}
platform::Error PowerCutFs::SetAttributes(const std::string& p, uint32_t a) {
  return Moment(p) ? FsWrapper::SetAttributes(p, a) : kDead;
}
platform::Error PowerCutFs::SetFileTimes(const std::string& p, const platform::FileTimes& t) {
  return Moment(p) ? FsWrapper::SetFileTimes(p, t) : kDead;
}
platform::Error PowerCutFs::SetUnixMode(const std::string& p, uint32_t m) {
  return Moment(p) ? FsWrapper::SetUnixMode(p, m) : kDead;
}
platform::Error PowerCutFs::FlushFile(const std::string& p) {
  if (!Moment(p)) return kDead;
  platform::Error err = FsWrapper::FlushFile(p);
  if (err == platform::kErrorSuccess) BytesFlushed(p);
  return err;
}
void PowerCutFs::FlushFiles(const std::vector<std::string>& p, std::vector<platform::Error>* r) {
  r->clear();
  for (const std::string& path : p) r->push_back(FlushFile(path));
}
void PowerCutFs::DeleteFiles(const std::vector<std::string>& p, std::vector<platform::Error>* r) {
  r->clear();
  for (const std::string& path : p) r->push_back(DeleteFile(path));
}
platform::Error PowerCutFs::FlushDir(const std::string& p) {
  if (!Moment(p)) return kDead;
  platform::Error err = FsWrapper::FlushDir(p);
  // Every name made so far is on the disk with it.
  if (err == platform::kErrorSuccess && Below(p)) m_names = Scan();
  return err;
}

platform::Folder* PowerCutFs::Real(platform::Folder* folder) const {
  return static_cast<CutFolder*>(folder)->m_real.get();
}

std::string PowerCutFs::PathIn(platform::Folder* folder, const std::string& name) const {
  return static_cast<CutFolder*>(folder)->m_szPath + "/" + name;
}

platform::Error PowerCutFs::OpenOwnFolder(const std::string& p, bool c,
                                          std::unique_ptr<platform::Folder>* f) {
  std::unique_ptr<platform::Folder> real;
  if (c && !Moment(p)) return kDead;
  platform::Error err = FsWrapper::OpenOwnFolder(p, c, &real);
  if (err == platform::kErrorSuccess) *f = std::make_unique<CutFolder>(std::move(real), p);
  return err;
}
platform::Error PowerCutFs::OpenAt(platform::Folder* d, const std::string& n, platform::WriteMode m,
                                   std::unique_ptr<platform::WritableFile>* f) {
  std::unique_ptr<platform::WritableFile> real;
  if (!Moment(PathIn(d, n))) return kDead;
  platform::Error err = FsWrapper::OpenAt(Real(d), n, m, &real);
  if (err == platform::kErrorSuccess) {
    *f = std::make_unique<CutFile>(this, PathIn(d, n), std::move(real));
  }
  return err;
}
platform::Error PowerCutFs::ReadAt(platform::Folder* d, const std::string& n,
                                   std::unique_ptr<platform::ReadableFile>* f) {
  return m_bOff ? kDead : FsWrapper::ReadAt(Real(d), n, f);
}
platform::Error PowerCutFs::AttributesAt(platform::Folder* d, const std::string& n, uint32_t* a) {
  return m_bOff ? kDead : FsWrapper::AttributesAt(Real(d), n, a);
}
platform::Error PowerCutFs::ListAt(platform::Folder* d, std::vector<platform::DirEntry>* e) {
  return m_bOff ? kDead : FsWrapper::ListAt(Real(d), e);
}
platform::Error PowerCutFs::DeleteAt(platform::Folder* d, const std::string& n) {
  return Moment(PathIn(d, n)) ? FsWrapper::DeleteAt(Real(d), n) : kDead;
}
platform::Error PowerCutFs::RenameAt(platform::Folder* d, const std::string& f,
                                     const std::string& t) {
  return Moment(PathIn(d, t)) ? FsWrapper::RenameAt(Real(d), f, t) : kDead;
}
platform::Error PowerCutFs::LinkInto(platform::Folder* d, const std::string& n,
                                     const std::string& p) {
  return Moment(PathIn(d, n)) ? FsWrapper::LinkInto(Real(d), n, p) : kDead;
}
platform::Error PowerCutFs::CopyInto(platform::Folder* d, const std::string& n,
                                     const std::string& p) {
  if (!Moment(PathIn(d, n))) return kDead;
  platform::Error err = FsWrapper::CopyInto(Real(d), n, p);
  if (err == platform::kErrorSuccess) BytesFlushed(PathIn(d, n));
  return err;
}
platform::Error PowerCutFs::MoveInto(platform::Folder* d, const std::string& n,
                                     const std::string& p) {
  return Moment(PathIn(d, n), p) ? FsWrapper::MoveInto(Real(d), n, p) : kDead;
}
platform::Error PowerCutFs::MoveOut(platform::Folder* d, const std::string& n,
                                    const std::string& p) {
  return Moment(PathIn(d, n), p) ? FsWrapper::MoveOut(Real(d), n, p) : kDead;
}
platform::Error PowerCutFs::FlushFolder(platform::Folder* d) {
  if (!Moment(PathIn(d, "."))) return kDead;
  platform::Error err = FsWrapper::FlushFolder(Real(d));
  if (err == platform::kErrorSuccess) m_names = Scan();
  return err;
}
