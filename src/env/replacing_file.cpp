#include "env/replacing_file.h"

#include "platform/env.h"
#include "platform/path_sep.h"
#include "platform/separators.h"

namespace {

platform::Fs& FileSystem() { return platform::Env::Get().fs(); }

}  // namespace

ReplacingFile::~ReplacingFile() {
  if (m_bTempMade && !m_bCommitted) Discard();
}

platform::Error ReplacingFile::Prepare(const std::string& path) {
  platform::Fs& fs = FileSystem();
  m_szTarget = path;
  uint32_t attributes = 0;
  m_bTargetExisted = fs.GetAttributes(path, &attributes) == platform::kErrorSuccess;
  std::string resolved;
  if (m_bTargetExisted && (attributes & platform::kAttrReparsePoint) &&
      fs.ResolveLinks(path, &resolved) &&
      fs.GetAttributes(resolved, &attributes) == platform::kErrorSuccess) {
    m_szTarget = resolved;
  }
  if (m_bTargetExisted && (attributes & (platform::kAttrDirectory | platform::kAttrReadOnly))) {
    return platform::kErrorAccessDenied;
  }
  m_szTemp = ReplacementTempPath(m_szTarget);
  // What an earlier, interrupted write left (a copy may have made it read-only).
  fs.SetAttributes(m_szTemp, platform::kAttrNormal);
  fs.DeleteFile(m_szTemp);
  return platform::kErrorSuccess;
}

platform::Error ReplacingFile::Create() {
  m_bTempMade = true;
  return FileSystem().OpenForWrite(m_szTemp, platform::WriteMode::kCreateAlways, &m_file);
}

platform::Error ReplacingFile::CopyFrom(const std::string& from) {
  m_bTempMade = true;
  return FileSystem().CopyFile(from, m_szTemp, false);
}

bool ReplacingFile::Write(const void* data, size_t n, size_t* written) {
  *written = 0;
  return m_file && m_file->Write(data, n, written);
}

bool ReplacingFile::Close() {
  if (!m_file) return true;
  bool ok = m_file->Close();
  m_file.reset();
  return ok;
}

platform::Error ReplacingFile::Flush() {
  if (!m_bTempMade) return platform::kErrorInvalidParameter;
  if (!Close()) return platform::kErrorDiskFull;
  platform::Error err = FileSystem().FlushFile(m_szTemp);
  m_bFlushed = err == platform::kErrorSuccess;
  return err;
}

platform::Error ReplacingFile::Commit(bool flushFolder) {
  platform::Error err = m_bFlushed ? platform::kErrorSuccess : Flush();
  if (err != platform::kErrorSuccess) return err;
  err = FileSystem().RenameOver(m_szTemp, m_szTarget);
  if (err != platform::kErrorSuccess) return err;
  m_bCommitted = true;
  // The new name is on the disk before anything that counts on it (the
  // recorded version).
  return flushFolder ? FileSystem().FlushDir(FolderOfPath(m_szTarget)) : platform::kErrorSuccess;
}

void ReplacingFile::Discard() {
  Close();
  platform::Fs& fs = FileSystem();
  fs.SetAttributes(m_szTemp, platform::kAttrNormal);
  fs.DeleteFile(m_szTemp);
}
