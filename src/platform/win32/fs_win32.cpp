// Windows back-end of Fs: the kernel32 file functions, ANSI forms. Their error
// numbers are the ones errors.h names, so they pass through unchanged.
#include "platform/env.h"
#include "platform/in_use_retry.h"
#include "platform/replacement_temp.h"
#include "platform/separators.h"
#include "platform/win32/ansi_text.h"
#include "platform/win32/own_user_win32.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

uint64_t FromFileTime(const FILETIME& ft) {
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

// The ANSI functions take at most MAX_PATH characters (UTF-16 units after
// their conversion, so a GBK path may be twice as many bytes); Windows refuses
// a longer path with 206, where Wine would go on with a name cut short.
bool Fits(const std::string& path) { return AnsiCharacterCount(path) < MAX_PATH; }

FILETIME ToFileTime(uint64_t value) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return ft;
}

class Win32WritableFile : public WritableFile {
 public:
  explicit Win32WritableFile(HANDLE h) : m_hFile(h) {}
  ~Win32WritableFile() override { Close(); }

  bool Write(const void* data, size_t n, size_t* written) override {
    const char* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < n) {
      DWORD chunk = static_cast<DWORD>(n - done > 0x40000000u ? 0x40000000u : n - done);
      DWORD w = 0;
      if (!::WriteFile(m_hFile, p + done, chunk, &w, nullptr) || w == 0) break;
      done += w;
    }
    *written = done;
    return done == n;
  }

  bool Sync() override { return m_hFile != INVALID_HANDLE_VALUE && ::FlushFileBuffers(m_hFile); }

  bool Close() override {
    if (m_hFile == INVALID_HANDLE_VALUE) return true;
    BOOL ok = ::CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    return ok != FALSE;
  }

 private:
  HANDLE m_hFile;
};

class Win32ReadableFile : public ReadableFile {
 public:
  explicit Win32ReadableFile(HANDLE h) : m_hFile(h) {}
  ~Win32ReadableFile() override { ::CloseHandle(m_hFile); }

  bool Read(void* buffer, size_t n, size_t* got) override {
    DWORD r = 0;
    DWORD want = static_cast<DWORD>(n > 0x40000000u ? 0x40000000u : n);
    if (!::ReadFile(m_hFile, buffer, want, &r, nullptr)) {
      *got = 0;
      return false;
    }
    *got = r;
    return true;
  }

 private:
  HANDLE m_hFile;
};

// A held folder: a handle that lets nobody rename or delete it, and the path
// it was opened by, under which it therefore stays.
class Win32Folder : public Folder {
 public:
  Win32Folder(HANDLE h, std::string path) : m_hFolder(h), m_szPath(std::move(path)) {}
  ~Win32Folder() override { ::CloseHandle(m_hFolder); }
  const std::string& path() const { return m_szPath; }

 private:
  HANDLE m_hFolder;
  std::string m_szPath;
};

// A single entry of a folder: no separator, not "." or "..".
bool IsEntryName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         NextSeparator(name) == std::string::npos;
}

// The path of a folder's entry; empty for a name that is not one entry.
std::string EntryPath(Folder* folder, const std::string& name) {
  auto* f = dynamic_cast<Win32Folder*>(folder);
  if (!f || !IsEntryName(name)) return std::string();
  return f->path() + "\\" + name;
}

// Opens what is at the path itself, a link included.
HANDLE OpenNoFollow(const std::string& path, DWORD access) {
  return ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// A file, a link or a tree, without following links, read-only or not.
Error RemoveTree(const std::string& path) {
  DWORD a = ::GetFileAttributesA(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return ::GetLastError();
  if (a & FILE_ATTRIBUTE_READONLY) {
    ::SetFileAttributesA(path.c_str(), a & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  }
  if (!(a & FILE_ATTRIBUTE_DIRECTORY)) {
    return ::DeleteFileA(path.c_str()) ? kErrorSuccess : ::GetLastError();
  }
  if (!(a & FILE_ATTRIBUTE_REPARSE_POINT)) {
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
      Error err = kErrorSuccess;
      do {
        std::string name = data.cFileName;
        if (name != "." && name != ".." && err == kErrorSuccess)
          err = RemoveTree(path + "\\" + name);
      } while (::FindNextFileA(find, &data));
      ::FindClose(find);
      if (err != kErrorSuccess) return err;
    }
  }
  return ::RemoveDirectoryA(path.c_str()) ? kErrorSuccess : ::GetLastError();
}

class Win32Fs : public Fs {
 public:
  Error GetAttributes(const std::string& path, uint32_t* attributes) override {
    if (!Fits(path)) return ERROR_FILENAME_EXCED_RANGE;
    DWORD a = ::GetFileAttributesA(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return ::GetLastError();
    *attributes = a;
    return kErrorSuccess;
  }

  Error SetAttributes(const std::string& path, uint32_t attributes) override {
    if (!Fits(path)) return ERROR_FILENAME_EXCED_RANGE;
    DWORD a = ::GetFileAttributesA(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return ::GetLastError();
    if (attributes & kAttrReadOnly) {
      a |= FILE_ATTRIBUTE_READONLY;
    } else {
      a &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    }
    // Directory and reparse bits cannot be set; the call ignores them.
    a &= ~static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
    if (a == 0) a = FILE_ATTRIBUTE_NORMAL;
    if (!::SetFileAttributesA(path.c_str(), a)) return ::GetLastError();
    return kErrorSuccess;
  }

  Error CreateDir(const std::string& path) override {
    if (!Fits(path)) return ERROR_FILENAME_EXCED_RANGE;
    if (!::CreateDirectoryA(path.c_str(), nullptr)) return ::GetLastError();
    return kErrorSuccess;
  }

  Error RemoveDir(const std::string& path) override {
    if (!Fits(path)) return ERROR_FILENAME_EXCED_RANGE;
    DWORD a = ::GetFileAttributesA(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return ::GetLastError();
    if (!(a & FILE_ATTRIBUTE_DIRECTORY)) return kErrorInvalidParameter;
    if (!::RemoveDirectoryA(path.c_str())) return ::GetLastError();
    return kErrorSuccess;
  }

  Error DeleteFile(const std::string& path) override {
    if (!Fits(path)) return ERROR_FILENAME_EXCED_RANGE;
    DWORD a = ::GetFileAttributesA(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return ::GetLastError();
    if ((a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return kErrorAccessDenied;
    }
    if (!::DeleteFileA(path.c_str())) return ::GetLastError();
    return kErrorSuccess;
  }

  Error ListDir(const std::string& path, std::vector<DirEntry>* entries) override {
    if (!Fits(path)) return ERROR_FILENAME_EXCED_RANGE;
    entries->clear();
    std::string pattern = path;
    if (pattern.empty() || (!EndsWithSeparator(pattern) && pattern.back() != '/')) pattern += '\\';
    pattern += '*';
    // The wide listing: FindFirstFileA would hand back a name with characters
    // the code page has not as "?", a name that names another file or none.
    std::wstring widePattern;
    if (!AnsiToWide(pattern, &widePattern)) return ERROR_INVALID_NAME;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW(widePattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
      DWORD err = ::GetLastError();
      // An existing empty folder has at least "." and ".."; 2 means the folder
      // itself is missing.
      return err == ERROR_FILE_NOT_FOUND ? kErrorPathNotFound : err;
    }
    DWORD err = ERROR_NO_MORE_FILES;
    do {
      DirEntry entry;
      // An entry that cannot be named fails the listing: skipping it would
      // let a removal or a copy of the folder pass it over in silence.
      if (!WideToAnsi(data.cFileName, &entry.name)) {
        err = kErrorNoUnicodeTranslation;
        break;
      }
      if (entry.name == "." || entry.name == "..") continue;
      entry.attributes = data.dwFileAttributes;
      entries->push_back(entry);
    } while (::FindNextFileW(find, &data));
    if (err == ERROR_NO_MORE_FILES) err = ::GetLastError();
    ::FindClose(find);
    return err == ERROR_NO_MORE_FILES ? kErrorSuccess : err;
  }

  Error OpenForWrite(const std::string& path, WriteMode mode,
                     std::unique_ptr<WritableFile>* file) override {
    if (!Fits(path)) return ERROR_FILENAME_EXCED_RANGE;
    DWORD disposition = mode == WriteMode::kAppend ? OPEN_ALWAYS : CREATE_ALWAYS;
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError();
    if (mode == WriteMode::kAppend &&
        ::SetFilePointer(h, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER) {
      DWORD err = ::GetLastError();
      if (err != NO_ERROR) {
        ::CloseHandle(h);
        return err;
      }
    }
    file->reset(new Win32WritableFile(h));
    return kErrorSuccess;
  }

  Error OpenForRead(const std::string& path, std::unique_ptr<ReadableFile>* file) override {
    if (!Fits(path)) return ERROR_FILENAME_EXCED_RANGE;
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError();
    file->reset(new Win32ReadableFile(h));
    return kErrorSuccess;
  }

  Error CopyFile(const std::string& from, const std::string& to, bool failIfExists) override {
    if (!Fits(from) || !Fits(to)) return ERROR_FILENAME_EXCED_RANGE;
    if (!::CopyFileA(from.c_str(), to.c_str(), failIfExists ? TRUE : FALSE)) {
      return ::GetLastError();
    }
    return kErrorSuccess;
  }

  Error MoveFile(const std::string& from, const std::string& to) override {
    if (!Fits(from) || !Fits(to)) return ERROR_FILENAME_EXCED_RANGE;
    if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return kErrorSuccess;
    DWORD err = ::GetLastError();
    DWORD a = ::GetFileAttributesA(from.c_str());
    if (err != ERROR_NOT_SAME_DEVICE || a == INVALID_FILE_ATTRIBUTES ||
        (a & FILE_ATTRIBUTE_DIRECTORY)) {
      return err;
    }
    // Another volume: the copy goes to the destination's temporary, reaches
    // the disk and is renamed into place without replacing, so that the
    // destination is absent or whole whenever the process stops.
    if (::GetFileAttributesA(to.c_str()) != INVALID_FILE_ATTRIBUTES) return ERROR_ALREADY_EXISTS;
    std::string temp = ReplacementTempPath(to);
    if (!Fits(temp)) return ERROR_FILENAME_EXCED_RANGE;
    RemoveTree(temp);
    if (!::CopyFileA(from.c_str(), temp.c_str(), TRUE)) return ::GetLastError();
    Error flushed = FlushFile(temp);
    if (flushed != kErrorSuccess ||
        !::MoveFileExA(temp.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
      err = flushed != kErrorSuccess ? flushed : ::GetLastError();
      RemoveTree(temp);
      return err;
    }
    return ::DeleteFileA(from.c_str()) ? kErrorSuccess : ::GetLastError();
  }

  Error AddHardLink(const std::string& existing, const std::string& name) override {
    if (!Fits(existing) || !Fits(name)) return ERROR_FILENAME_EXCED_RANGE;
    if (!::CreateHardLinkA(name.c_str(), existing.c_str(), nullptr)) return ::GetLastError();
    return kErrorSuccess;
  }

  // The running updater is never the destination here (its side name is), and
  // a read-only destination stays as it is, as with CreateFileA.
  Error RenameOver(const std::string& from, const std::string& to) override {
    if (!Fits(from) || !Fits(to)) return ERROR_FILENAME_EXCED_RANGE;
    DWORD a = ::GetFileAttributesA(to.c_str());
    if (a != INVALID_FILE_ATTRIBUTES &&
        (a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
      return kErrorAccessDenied;
    }
    if (!::MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return ::GetLastError();
    }
    return kErrorSuccess;
  }

  Error GetFileTimes(const std::string& path, FileTimes* times) override {
    if (!Fits(path)) return ERROR_FILENAME_EXCED_RANGE;
    HANDLE h = OpenForTimes(path, GENERIC_READ);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError();
    FILETIME c, a, w;
    Error err = kErrorSuccess;
    if (::GetFileTime(h, &c, &a, &w)) {
      times->creation = FromFileTime(c);
      times->lastAccess = FromFileTime(a);
      times->lastWrite = FromFileTime(w);
    } else {
      err = ::GetLastError();
    }
    ::CloseHandle(h);
    return err;
  }

  Error SetFileTimes(const std::string& path, const FileTimes& times) override {
    if (!Fits(path)) return ERROR_FILENAME_EXCED_RANGE;
    HANDLE h = OpenForTimes(path, FILE_WRITE_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError();
    FILETIME c = ToFileTime(times.creation);
    FILETIME a = ToFileTime(times.lastAccess);
    FILETIME w = ToFileTime(times.lastWrite);
    Error err = ::SetFileTime(h, &c, &a, &w) ? kErrorSuccess : ::GetLastError();
    ::CloseHandle(h);
    return err;
  }

  bool GetFullPath(const std::string& path, std::string* full) override {
    if (!Fits(path)) return false;
    if (path.empty()) return false;
    char buffer[MAX_PATH * 4];
    DWORD n = ::GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    if (n == 0 || n >= sizeof buffer) return false;
    full->assign(buffer, n);
    return true;
  }

  // Junctions and symbolic links are not resolved here: callers that meet one
  // treat it as a link that leads nowhere.
  bool ResolveLinks(const std::string&, std::string*) override { return false; }

  Error GetFileId(const std::string& path, FileId* id) override {
    if (!Fits(path)) return ERROR_FILENAME_EXCED_RANGE;
    HANDLE h = OpenForTimes(path, 0);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError();
    BY_HANDLE_FILE_INFORMATION info;
    Error err = kErrorSuccess;
    if (::GetFileInformationByHandle(h, &info)) {
      id->volume = info.dwVolumeSerialNumber;
      id->index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    } else {
      err = ::GetLastError();
    }
    ::CloseHandle(h);
    return err;
  }

  Error GetFreeBytes(const std::string& path, uint64_t* bytes) override {
    if (!Fits(path)) return ERROR_FILENAME_EXCED_RANGE;
    ULARGE_INTEGER available;
    if (!::GetDiskFreeSpaceExA(path.c_str(), &available, nullptr, nullptr)) {
      return ::GetLastError();
    }
    *bytes = available.QuadPart;
    return kErrorSuccess;
  }

  Error GetUnixMode(const std::string&, uint32_t* mode) override {
    *mode = 0;
    return kErrorSuccess;
  }

  Error SetUnixMode(const std::string&, uint32_t) override { return kErrorSuccess; }

  Error GetIdentity(const std::string& path, FileIdentity* identity) override {
    if (!Fits(path)) return ERROR_FILENAME_EXCED_RANGE;
    HANDLE h = OpenNoFollow(path, FILE_READ_ATTRIBUTES);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError();
    BY_HANDLE_FILE_INFORMATION info;
    Error err = kErrorSuccess;
    if (::GetFileInformationByHandle(h, &info)) {
      identity->id.volume = info.dwVolumeSerialNumber;
      identity->id.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
      identity->attributes = info.dwFileAttributes;
      identity->size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
      identity->lastWrite = FromFileTime(info.ftLastWriteTime);
    } else {
      err = ::GetLastError();
    }
    ::CloseHandle(h);
    return err;
  }

  // FlushFileBuffers needs a handle that may write, which a read-only file
  // does not give: the bit is taken off while the file is flushed.
  Error FlushFile(const std::string& path) override {
    if (!Fits(path)) return ERROR_FILENAME_EXCED_RANGE;
    DWORD a = ::GetFileAttributesA(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return ::GetLastError();
    bool readOnly = (a & FILE_ATTRIBUTE_READONLY) != 0;
    if (readOnly)
      ::SetFileAttributesA(path.c_str(), a & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    Error err = kErrorSuccess;
    if (h == INVALID_HANDLE_VALUE) {
      err = ::GetLastError();
    } else {
      if (!::FlushFileBuffers(h)) err = ::GetLastError();
      ::CloseHandle(h);
    }
    if (readOnly) ::SetFileAttributesA(path.c_str(), a);
    return err;
  }

  void FlushFiles(const std::vector<std::string>& paths, std::vector<Error>* results) override {
    results->clear();
    for (const std::string& path : paths) results->push_back(FlushFile(path));
  }

  void DeleteFiles(const std::vector<std::string>& paths, std::vector<Error>* results) override {
    results->clear();
    for (const std::string& path : paths) results->push_back(DeleteFile(path));
  }

  Error FlushDir(const std::string&) override { return kErrorSuccess; }

  Error OpenOwnFolder(const std::string& path, bool create,
                      std::unique_ptr<Folder>* folder) override {
    if (!Fits(path)) return ERROR_FILENAME_EXCED_RANGE;
    if (create) {
      PSECURITY_DESCRIPTOR descriptor = win32::NewOwnFolderDescriptor();
      if (!descriptor) return ERROR_ACCESS_DENIED;
      SECURITY_ATTRIBUTES sa = {sizeof sa, descriptor, FALSE};
      BOOL made = ::CreateDirectoryA(path.c_str(), &sa);
      DWORD err = ::GetLastError();
      ::LocalFree(descriptor);
      if (!made && err != ERROR_ALREADY_EXISTS) return err;
    }
    // No FILE_SHARE_DELETE: while the handle is open nobody can rename or
    // delete the folder, nor put a link in its place.
    HANDLE h =
        ::CreateFileA(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError();
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !win32::OnlyOwnersMayWrite(h)) {
      ::CloseHandle(h);
      return ERROR_ACCESS_DENIED;
    }
    folder->reset(new Win32Folder(h, path));
    return kErrorSuccess;
  }

  Error OpenAt(Folder* folder, const std::string& name, WriteMode mode,
               std::unique_ptr<WritableFile>* file) override {
    std::string path = EntryPath(folder, name);
    if (path.empty()) return ERROR_INVALID_PARAMETER;
    DWORD a = ::GetFileAttributesA(path.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT))
      return ERROR_ACCESS_DENIED;
    return OpenForWrite(path, mode, file);
  }

  Error ReadAt(Folder* folder, const std::string& name,
               std::unique_ptr<ReadableFile>* file) override {
    std::string path = EntryPath(folder, name);
    if (path.empty()) return ERROR_INVALID_PARAMETER;
    HANDLE h =
        ::CreateFileA(path.c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return ::GetLastError();
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
        !win32::OnlyOwnersMayWrite(h)) {
      ::CloseHandle(h);
      return ERROR_ACCESS_DENIED;
    }
    file->reset(new Win32ReadableFile(h));
    return kErrorSuccess;
  }

  Error AttributesAt(Folder* folder, const std::string& name, uint32_t* attributes) override {
    std::string path = EntryPath(folder, name);
    return path.empty() ? ERROR_INVALID_PARAMETER : GetAttributes(path, attributes);
  }

  Error ListAt(Folder* folder, std::vector<DirEntry>* entries) override {
    auto* f = dynamic_cast<Win32Folder*>(folder);
    return f ? ListDir(f->path(), entries) : ERROR_INVALID_PARAMETER;
  }

  Error DeleteAt(Folder* folder, const std::string& name) override {
    std::string path = EntryPath(folder, name);
    return path.empty() ? ERROR_INVALID_PARAMETER : RemoveTree(path);
  }

  Error RenameAt(Folder* folder, const std::string& from, const std::string& to) override {
    std::string a = EntryPath(folder, from);
    std::string b = EntryPath(folder, to);
    if (a.empty() || b.empty()) return ERROR_INVALID_PARAMETER;
    if (!::MoveFileExA(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return ::GetLastError();
    }
    return kErrorSuccess;
  }

  Error LinkInto(Folder* folder, const std::string& name, const std::string& path) override {
    std::string entry = EntryPath(folder, name);
    return entry.empty() ? ERROR_INVALID_PARAMETER : AddHardLink(path, entry);
  }

  Error CopyInto(Folder* folder, const std::string& name, const std::string& path) override {
    std::string entry = EntryPath(folder, name);
    if (entry.empty()) return ERROR_INVALID_PARAMETER;
    Error err = CopyFile(path, entry, true);
    if (err == kErrorSuccess) err = FlushFile(entry);
    if (err != kErrorSuccess && err != ERROR_FILE_EXISTS) RemoveTree(entry);
    return err;
  }

  Error MoveInto(Folder* folder, const std::string& name, const std::string& path) override {
    std::string entry = EntryPath(folder, name);
    if (entry.empty()) return ERROR_INVALID_PARAMETER;
    if (!Fits(path) || !Fits(entry)) return ERROR_FILENAME_EXCED_RANGE;
    if (!::MoveFileExA(path.c_str(), entry.c_str(), MOVEFILE_WRITE_THROUGH))
      return ::GetLastError();
    return kErrorSuccess;
  }

  Error MoveOut(Folder* folder, const std::string& name, const std::string& path) override {
    std::string entry = EntryPath(folder, name);
    return entry.empty() ? ERROR_INVALID_PARAMETER : MoveFile(entry, path);
  }

  Error FlushFolder(Folder*) override { return kErrorSuccess; }

 private:
  // Directories open only with backup semantics.
  static HANDLE OpenForTimes(const std::string& path, DWORD access) {
    return ::CreateFileA(path.c_str(), access,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  }
};

}  // namespace

// Renames and deletions wait a while for a file another program holds.
Fs* DefaultFs() {
  static Win32Fs win32Fs;
  static InUseRetryFs fs(&win32Fs, true);
  return &fs;
}

}  // namespace platform
