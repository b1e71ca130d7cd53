// Windows back-end of Fs: the kernel32 file functions, ANSI forms. Their error
// numbers are the ones errors.h names, so they pass through unchanged.
#include "platform/env.h"
#include "platform/in_use_retry.h"
#include "platform/separators.h"
#include "platform/win32/ansi_text.h"
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
    if (!::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_COPY_ALLOWED)) return ::GetLastError();
    return kErrorSuccess;
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
