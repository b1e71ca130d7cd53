#include "env/http_download.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>

#include "env/config.h"
#include "env/main_window.h"
#include "env/replacing_file.h"
#include "env/texts.h"
#include "env/update_log.h"
#include "platform/content_length.h"
#include "platform/env.h"
#include "platform/http_limits.h"

namespace {

constexpr size_t kUrlBufferSize = 1024;
constexpr size_t kBlockSize = 4096;

// The bar's range: the header's length, or without one (a negative or
// unreadable length is none) the size the caller knows, clamped to INT_MAX; 0
// when there is neither.
int BarRange(const std::string& contentLength, const BodyLimit& limit) {
  uint64_t length = 0;
  if (!platform::ParseContentLength(contentLength, &length)) {
    length = limit.bIsSize ? limit.nMaxBytes : 0;
  }
  return length > INT_MAX ? INT_MAX : static_cast<int>(length);
}

int ProgressPosition(uint64_t received) {
  return received > INT_MAX ? INT_MAX : static_cast<int>(received);
}

// Free space is looked at once per this many bytes; the margin covers what is
// written until the next look and what the file layer holds back.
constexpr uint64_t kFreeSpaceCheckBytes = 64u << 10;
constexpr uint64_t kFreeSpaceMargin = 2 * kFreeSpaceCheckBytes;

// Creates a missing folder of the target (a failure shows when the file itself
// cannot be created), then the file that will replace any file of that name.
bool CreateTargetFile(const std::string& path, std::string* folder, ReplacingFile* file) {
  SplitPath(path, folder);
  if (!folder->empty()) CreateDirectoryTree(*folder);
  return file->Prepare(path) == platform::kErrorSuccess &&
         file->Create() == platform::kErrorSuccess;
}

// False when writing on would bring the volume below kMinFreeSpace. A volume
// whose free space cannot be read is not held up.
bool RoomToWrite(const std::string& folder) {
  uint64_t free = 0;
  if (platform::Env::Get().fs().GetFreeBytes(folder.empty() ? "." : folder, &free) !=
      platform::kErrorSuccess) {
    return true;
  }
  return free >= kMinFreeSpace + kFreeSpaceMargin;
}

}  // namespace

bool IsOnline() { return platform::Env::Get().internet().IsOnline(); }

void PumpMessage() {
  if (g_pMainWnd) g_pMainWnd->PumpMessage();
}

bool HttpDownload(std::string& url, std::string& target, bool toFile, bool showProgress,
                  BodyLimit limit) {
  platform::Internet& internet = platform::Env::Get().internet();
  std::string canonical;
  bool urlOk = internet.CanonicalizeUrl(url, kUrlBufferSize, &canonical);
  if (urlOk) url = canonical;

  std::unique_ptr<ReplacingFile> file;
  std::string folder;
  if (toFile) {
    file = std::make_unique<ReplacingFile>();
    if (!CreateTargetFile(target, &folder, file.get())) {
      WriteLog(texts::kCannotSaveDownload, true);
      return false;
    }
  } else {
    target.clear();
  }

  // Text held in memory stops growing at its limit, and takes at most the
  // overall time: a server that never ends its body, or sends it ever so
  // slowly, fails the download instead of exhausting memory or holding the run.
  uint64_t maxBytes = limit.nMaxBytes;
  long overallSeconds = 0;
  if (!toFile) {
    if (maxBytes > kMaxTextDownload) maxBytes = kMaxTextDownload;
    overallSeconds = platform::HttpOverallSeconds();
  }
  // A malformed URL, a URL that cannot be opened and an error status (400 and
  // above) all show as a failing first read: an error page is never delivered
  // as the content asked for.
  std::unique_ptr<platform::HttpRequest> request;
  if (urlOk) request = internet.OpenUrl(url, texts::kUserAgent, overallSeconds);
  if (request && request->StatusCode() >= 400) request.reset();
  int total = request ? BarRange(request->ContentLengthText(), limit) : 0;
  if (showProgress && g_pMainWnd) g_pMainWnd->SetFileProgress(0, total);

  bool result = true;
  char buffer[kBlockSize + 1];
  uint64_t received = 0;
  uint64_t nextSpaceCheck = 0;
  for (;;) {
    size_t got = 0;
    if (!request || !request->Read(buffer, kBlockSize, &got)) {
      WriteLog(texts::kDownloadError, true);
      result = false;
      break;
    }
    if (got == 0) break;
    if (got > kBlockSize) got = kBlockSize;
    if (received + got > maxBytes) {
      WriteLog(texts::kDownloadError, true);
      result = false;
      break;
    }
    received += got;
    if (showProgress) {
      if (g_pMainWnd) g_pMainWnd->SetFileProgress(ProgressPosition(received), -1);
      PumpMessage();
    }
    buffer[got] = '\0';
    if (file && received - got >= nextSpaceCheck) {
      nextSpaceCheck = received - got + kFreeSpaceCheckBytes;
      if (!RoomToWrite(folder)) {
        WriteLog(texts::kSaveDownloadError, true);
        result = false;
        break;
      }
    }
    if (file) {
      // A short write is reported for its block; the rest is still read and written.
      size_t written = 0;
      file->Write(buffer, got, &written);
      if (written < got) {
        WriteLog(texts::kSaveDownloadError, true);
        result = false;
      }
    } else {
      const void* zero = memchr(buffer, '\0', got);
      target.append(buffer, zero ? static_cast<const char*>(zero) - buffer : got);
    }
  }

  // Data lost on closing is a failed save as well, never a success. Only a
  // complete file takes the target's place; the destructor removes any other.
  if (file) {
    bool saved = file->Close() && (!result || file->Commit() == platform::kErrorSuccess);
    if (!saved && result) {
      WriteLog(texts::kSaveDownloadError, true);
      result = false;
    }
  }
  request.reset();
  return result;
}
