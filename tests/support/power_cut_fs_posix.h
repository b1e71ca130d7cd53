// A crash-test file system for POSIX, as databases test themselves against
// power cuts: every call goes through to the disk, and for the files and
// folders below a root it keeps what has reached the disk for good. A file's
// bytes are there once flushed; names (made, renamed, removed) reach the disk
// in the order they were made, all of them up to the last flush of a folder,
// as a journaling file system commits them. At the chosen moment, the n-th
// call below the root that changes something, the power goes: that call and
// every later one below the root fail, and so do the registry's writes. Cut()
// then leaves the disk below the root as the cut could have left it. Files
// keep their inode where they still have one, so identities survive as they
// would.
#pragma once

#include <sys/types.h>

#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/env.h"

class PowerCutFs : public platform::FsWrapper {
 public:
  enum class Loss {
    kUnflushed,  // names and bytes that were not flushed are gone
    kBytes,      // every name stays; bytes not flushed are gone, a file never
                 // flushed is zeros of its size
    kNothing,    // as a killed process leaves the disk
  };
  // A negative moment: the power never goes (to count the moments).
  PowerCutFs(const std::string& root, int cutAt);
  ~PowerCutFs() override;

  int Moments() const { return m_nMoments; }
  bool Off() const { return m_bOff; }
  void Cut(Loss loss);

  platform::Error CreateDir(const std::string& p) override;
  platform::Error RemoveDir(const std::string& p) override;
  platform::Error DeleteFile(const std::string& p) override;
  platform::Error OpenForWrite(const std::string& p, platform::WriteMode m,
                               std::unique_ptr<platform::WritableFile>* f) override;
  platform::Error CopyFile(const std::string& f, const std::string& t, bool fail) override;
  platform::Error MoveFile(const std::string& f, const std::string& t) override;
  platform::Error RenameOver(const std::string& f, const std::string& t) override;
  platform::Error AddHardLink(const std::string& e, const std::string& n) override;
  platform::Error SetAttributes(const std::string& p, uint32_t a) override;
  platform::Error SetFileTimes(const std::string& p, const platform::FileTimes& t) override;
  platform::Error SetUnixMode(const std::string& p, uint32_t m) override;
  platform::Error FlushFile(const std::string& p) override;
  // One moment per file, in the order given.
  void FlushFiles(const std::vector<std::string>& p, std::vector<platform::Error>* r) override;
  void DeleteFiles(const std::vector<std::string>& p, std::vector<platform::Error>* r) override;
  platform::Error FlushDir(const std::string& p) override;
  platform::Error OpenOwnFolder(const std::string& p, bool c,
                                std::unique_ptr<platform::Folder>* f) override;
  platform::Error OpenAt(platform::Folder* d, const std::string& n, platform::WriteMode m,
                         std::unique_ptr<platform::WritableFile>* f) override;
  platform::Error ReadAt(platform::Folder* d, const std::string& n,
                         std::unique_ptr<platform::ReadableFile>* f) override;
  platform::Error AttributesAt(platform::Folder* d, const std::string& n, uint32_t* a) override;
  platform::Error ListAt(platform::Folder* d, std::vector<platform::DirEntry>* e) override;
  platform::Error DeleteAt(platform::Folder* d, const std::string& n) override;
  platform::Error RenameAt(platform::Folder* d, const std::string& f,
                           const std::string& t) override;
  platform::Error LinkInto(platform::Folder* d, const std::string& n,
                           const std::string& p) override;
  platform::Error CopyInto(platform::Folder* d, const std::string& n,
                           const std::string& p) override;
  platform::Error MoveInto(platform::Folder* d, const std::string& n,
                           const std::string& p) override;
  platform::Error MoveOut(platform::Folder* d, const std::string& n, const std::string& p) override;
  platform::Error FlushFolder(platform::Folder* d) override;

  // Whether a call on the path may go ahead; counts the moment.
  bool Moment(const std::string& path, const std::string& other = std::string());
  // The file's bytes as they are now have reached the disk.
  void BytesFlushed(const std::string& path);

 private:
  struct Inode {
    std::string bytes;  // as last flushed
    bool flushed = false;
    int fd = -1;  // held, so that the number is not given to another file
  };
  using Names = std::map<ino_t, std::map<std::string, ino_t>>;  // folder -> entries

  bool Below(const std::string& path) const;
  ino_t Learn(const std::string& path);
  // Every folder's entries below the root as they are now.
  Names Scan();
  platform::Folder* Real(platform::Folder* folder) const;
  std::string PathIn(platform::Folder* folder, const std::string& name) const;

  std::string m_szRoot;
  ino_t m_nRootIno = 0;
  int m_nCutAt;
  int m_nMoments = 0;
  bool m_bOff = false;
  std::map<ino_t, Inode> m_inodes;
  Names m_names;  // as of the last flush of a folder
  platform::Fs* m_pPrevious;
  std::unique_ptr<platform::RegistryStoreWrapper> m_registry;
  platform::RegistryStore* m_pPreviousRegistry;
};
