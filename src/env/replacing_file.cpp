#include "env/replacing_file.h"

#include "platform/env.h"
#include "platform/path_sep.h"
#include "platform/separators.h"

namespace {

platform::Fs& FileSystem() { return platform::Env::Get().fs(); }

constexpr uint64_t kStartSyncEvery = 8 * 1024 * 1024;

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
  if (m_bTargetExisted) fs.DeleteFile(ReplacedAsidePath(m_szTarget));
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
  if (!m_file || !m_file->Write(data, n, written)) return false;
  m_nUnsent += *written;
  if (m_nUnsent >= kStartSyncEvery) {
    m_file->StartSync();
    m_nUnsent = 0;
  }
  return true;
}

bool ReplacingFile::Close() {
  if (!m_file) return true;
  m_file->StartSync();
  bool ok = m_file->Close();
  m_file.reset();
  return ok;
}

platform::Error ReplacingFile::Flush() {
  std::vector<platform::Error> results;
  FlushAll({this}, &results);
  return results[0];
}

void ReplacingFile::FlushAll(const std::vector<ReplacingFile*>& files,
                             std::vector<platform::Error>* results) {
  results->assign(files.size(), platform::kErrorSuccess);
  std::vector<std::string> paths;
  std::vector<size_t> which;
  for (size_t i = 0; i < files.size(); ++i) {
    ReplacingFile& file = *files[i];
    if (!file.m_bTempMade) {
      (*results)[i] = platform::kErrorInvalidParameter;
    } else if (!file.Close()) {
      (*results)[i] = platform::kErrorDiskFull;
    } else {
      paths.push_back(file.m_szTemp);
      which.push_back(i);
    }
  }
  std::vector<platform::Error> flushed;
  FileSystem().FlushFiles(paths, &flushed);
  for (size_t k = 0; k < which.size(); ++k) {
    platform::Error err = k < flushed.size() ? flushed[k] : platform::kErrorInvalidParameter;
    (*results)[which[k]] = err;
    files[which[k]]->m_bFlushed = err == platform::kErrorSuccess;
  }
}

platform::Error ReplacingFile::Commit(bool flushFolder, std::string* aside) {
  platform::Error err = m_bFlushed ? platform::kErrorSuccess : Flush();
  if (err != platform::kErrorSuccess) return err;
  platform::Fs& fs = FileSystem();
  std::string kept;
  if (aside && m_bTargetExisted &&
      fs.AddHardLink(m_szTarget, ReplacedAsidePath(m_szTarget)) == platform::kErrorSuccess) {
    kept = ReplacedAsidePath(m_szTarget);
  }
  err = fs.RenameOver(m_szTemp, m_szTarget);
  if (err != platform::kErrorSuccess) {
    if (!kept.empty()) fs.DeleteFile(kept);
    return err;
  }
  if (aside) *aside = kept;
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
