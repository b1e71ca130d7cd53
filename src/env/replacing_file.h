// Writing a file so that it is always either the old one or the new one, also
// after a power cut: the new bytes go to a temporary file in the destination's
// own folder, are forced to the disk, and one rename puts it in place only when
// everything was written; then the folder is flushed. A write that fails or is
// abandoned leaves the old file as it was and removes the temporary.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "platform/replacement_temp.h"

class ReplacingFile {
 public:
  ReplacingFile() = default;
  // Removes the temporary unless it was put in place.
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // Decides what a write to `path` replaces: the file there, or the file a link
  // there leads to (the link stays a link; a link that leads nowhere is itself
  // replaced). A directory or a read-only file is refused with 5. A temporary
  // left behind by an earlier write that was cut off is removed.
  platform::Error Prepare(const std::string& path);
  // Creates the temporary for writing.
  platform::Error Create();
  // The backend's copy of `from` into the temporary (its attributes and times
  // as the copy gives them).
  platform::Error CopyFrom(const std::string& from);
  // The bytes start on their way to the disk every few MiB, so that the
  // flush has little left to wait for.
  bool Write(const void* data, size_t n, size_t* written);
  // True when every byte written reached the temporary; they start on their
  // way to the disk.
  bool Close();
  // Closes the temporary if it is still open and forces it to the disk. What
  // is done to the temporary after this (its times, its mode) is not flushed.
  platform::Error Flush();
  // Flush of many files at once, their waits overlapping (Fs::FlushFiles).
  // (*results)[i] is what Flush would have given for files[i].
  static void FlushAll(const std::vector<ReplacingFile*>& files,
                       std::vector<platform::Error>* results);
  // Flushes the temporary unless Flush did, renames it over the target and
  // flushes the target's folder, unless the caller flushes it later (before
  // anything counts on the new name). With `aside`, the file replaced first
  // gets a second name (ReplacedAsidePath, given back there; empty when it
  // got none) for the caller to delete later, many at once (Fs::DeleteFiles):
  // the rename then frees nothing, which on some file systems waits for the
  // disk.
  platform::Error Commit(bool flushFolder = true, std::string* aside = nullptr);

  const std::string& Target() const { return m_szTarget; }
  const std::string& TempPath() const { return m_szTemp; }
  bool TargetExisted() const { return m_bTargetExisted; }

 private:
  void Discard();

  std::string m_szTarget;
  std::string m_szTemp;
  bool m_bTargetExisted = false;
  bool m_bTempMade = false;
  bool m_bFlushed = false;
  bool m_bCommitted = false;
  uint64_t m_nUnsent = 0;  // bytes written since they last started to the disk
  std::unique_ptr<platform::WritableFile> m_file;
};

using platform::FolderOfPath;
using platform::ReplacedAsidePath;
using platform::ReplacementTempPath;
