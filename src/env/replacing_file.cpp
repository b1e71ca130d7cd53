#include "env/replacing_file.h"

#include <cstdio>

#include "platform/env.h"
#include "platform/path_sep.h"
#include "platform/separators.h"

namespace {

platform::Fs& FileSystem() { return platform::Env::Get().fs(); }

// FNV-1a: a short, stable name for the temporary of one file name.
uint32_t NameHash(const std::string& name) {
  uint32_t hash = 2166136261u;
  for (unsigned char c : name) {
    hash ^= c;
    hash *= 16777619u;
  }
  return hash;
}

}  // namespace

std::string ReplacementTempPath(const std::string& path) {
  // The folder the file system itself sees: Windows also separates at "/",
  // which is never part of a double-byte character.
  size_t sep = platform::LastSeparator(path);
  size_t slash = platform::LastSeparator(path, '/');
  if (sep == std::string::npos || (slash != std::string::npos && slash > sep)) sep = slash;
  size_t nameStart = sep == std::string::npos ? 0 : sep + 1;
  char name[32];
  std::snprintf(name, sizeof name, ".~vu%08x.tmp",
                static_cast<unsigned>(NameHash(path.substr(nameStart))));
  return path.substr(0, nameStart) + name;
}

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

platform::Error ReplacingFile::Commit() {
  if (!m_bTempMade) return platform::kErrorInvalidParameter;
  if (!Close()) return platform::kErrorDiskFull;
  platform::Error err = FileSystem().RenameOver(m_szTemp, m_szTarget);
  if (err == platform::kErrorSuccess) m_bCommitted = true;
  return err;
}

void ReplacingFile::Discard() {
  Close();
  platform::Fs& fs = FileSystem();
  fs.SetAttributes(m_szTemp, platform::kAttrNormal);
  fs.DeleteFile(m_szTemp);
}
