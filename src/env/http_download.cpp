#include "env/http_download.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>

#include "env/config.h"
#include "env/main_window.h"
#include "env/mbstring.h"
#include "env/replacing_file.h"
#include "env/texts.h"
#include "env/update_log.h"
#include "platform/content_length.h"
#include "platform/env.h"
#include "platform/http_limits.h"

namespace {

constexpr size_t kUrlBufferSize = 1024;
constexpr size_t kBlockSize = 4096;

// The bar's range, the whole file: the bytes kept and the header's length of
// the rest, or without one (a negative or unreadable length is none) the size
// the caller knows, clamped to INT_MAX; 0 when there is neither.
int BarRange(const std::string& contentLength, uint64_t kept, const BodyLimit& limit) {
  uint64_t length = 0;
  if (platform::ParseContentLength(contentLength, &length)) {
    length = length > UINT64_MAX - kept ? UINT64_MAX : length + kept;
  } else {
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

// Printable ASCII only: a validator goes back to the server in a header line.
bool UsableValidator(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

// The validator an answer's body can be resumed by: its ETag unless weak
// (If-Range takes only a strong one), else its Last-Modified; empty when it
// has neither.
std::string ValidatorOf(platform::HttpRequest& answer) {
  std::string etag = answer.HeaderText(platform::HttpHeader::kETag);
  if (UsableValidator(etag) && etag.compare(0, 2, "W/") != 0) return etag;
  std::string modified = answer.HeaderText(platform::HttpHeader::kLastModified);
  return UsableValidator(modified) ? modified : std::string();
}

// "bytes FIRST-LAST/LENGTH", LENGTH "*" (UINT64_MAX) when unknown.
bool ParseContentRange(const std::string& text, uint64_t* first, uint64_t* last, uint64_t* length) {
  static const char kUnit[] = "bytes ";
  constexpr size_t kFrom = sizeof kUnit - 1;
  if (text.compare(0, kFrom, kUnit) != 0) return false;
  size_t dash = text.find('-', kFrom);
  size_t slash = text.find('/', kFrom);
  if (dash == std::string::npos || slash == std::string::npos || slash < dash) return false;
  std::string lengthText = text.substr(slash + 1);
  if (lengthText == "*") {
    *length = UINT64_MAX;
  } else if (!ParseDecimal64(lengthText, length)) {
    return false;
  }
  return ParseDecimal64(text.substr(kFrom, dash - kFrom), first) &&
         ParseDecimal64(text.substr(dash + 1, slash - dash - 1), last);
}

// True when the answer to a request for `range` continues the kept bytes: a
// 206 for exactly the bytes from range.nFrom to the end of a resource of
// `total` bytes (UINT64_MAX: not known), without an ETag other than the one
// asked for.
bool AnswerContinues(platform::HttpRequest& answer, const platform::HttpRange& range,
                     uint64_t total) {
  if (answer.StatusCode() != 206) return false;
  std::string etag = answer.HeaderText(platform::HttpHeader::kETag);
  if (range.szIfRange[0] == '"' && !etag.empty() && etag != range.szIfRange) return false;
  uint64_t first = 0, last = 0, length = 0;
  if (!ParseContentRange(answer.HeaderText(platform::HttpHeader::kContentRange), &first, &last,
                         &length)) {
    return false;
  }
  if (first != range.nFrom || last < first) return false;
  if (length == UINT64_MAX) return true;
  return last < length && last + 1 == length && (total == UINT64_MAX || length == total);
}

// A GET of `url`; an error status (400 and above) shows as no answer, so its
// page is never delivered as the content asked for.
std::unique_ptr<platform::HttpRequest> OpenAnswer(const std::string& url, long overallSeconds,
                                                  const platform::HttpRange* range) {
  std::unique_ptr<platform::HttpRequest> request =
      platform::Env::Get().internet().OpenUrl(url, texts::kUserAgent, overallSeconds, range);
  if (request && request->StatusCode() >= 400) request.reset();
  return request;
}

// Where the bytes of a body go: a file (with the folder whose free space is
// watched) or a string, and the digests that see every byte.
struct BodySink {
  ReplacingFile* pFile = nullptr;
  const std::string* pFolder = nullptr;
  std::string* pText = nullptr;
  platform::Digest* pMd5 = nullptr;
  platform::Digest* pSha256 = nullptr;
};

enum class BodyEnd {
  kWhole,   // read to its end and saved
  kCutOff,  // a read failed; every byte before it was saved
  kFailed,  // too long, or not all saved
};

// Reads the body to its end; *received counts on from the bytes already kept.
// Each failure is logged. A body longer than maxBytes in all stops at once.
BodyEnd ReceiveBody(platform::HttpRequest* request, uint64_t maxBytes, bool showProgress,
                    const BodySink& sink, uint64_t* received) {
  bool saved = true;
  char buffer[kBlockSize + 1];
  uint64_t nextSpaceCheck = *received;
  for (;;) {
    size_t got = 0;
    if (!request || !request->Read(buffer, kBlockSize, &got)) {
      WriteLog(texts::kDownloadError, true);
      return saved ? BodyEnd::kCutOff : BodyEnd::kFailed;
    }
    if (got == 0) break;
    if (got > kBlockSize) got = kBlockSize;
    if (*received + got > maxBytes) {
      WriteLog(texts::kDownloadError, true);
      return BodyEnd::kFailed;
    }
    *received += got;
    if (showProgress) {
      if (g_pMainWnd) g_pMainWnd->SetFileProgress(ProgressPosition(*received), -1);
      PumpMessage();
    }
    buffer[got] = '\0';
    if (sink.pFile && *received - got >= nextSpaceCheck) {
      nextSpaceCheck = *received - got + kFreeSpaceCheckBytes;
      if (!RoomToWrite(*sink.pFolder)) {
        WriteLog(texts::kSaveDownloadError, true);
        return BodyEnd::kFailed;
      }
    }
    if (sink.pMd5) sink.pMd5->Update(buffer, got);
    if (sink.pSha256) sink.pSha256->Update(buffer, got);
    if (sink.pFile) {
      // A short write is reported for its block; the rest is still read and written.
      size_t written = 0;
      sink.pFile->Write(buffer, got, &written);
      if (written < got) {
        WriteLog(texts::kSaveDownloadError, true);
        saved = false;
      }
    } else {
      const void* zero = memchr(buffer, '\0', got);
      sink.pText->append(buffer, zero ? static_cast<const char*>(zero) - buffer : got);
    }
  }
  return saved ? BodyEnd::kWhole : BodyEnd::kFailed;
}

bool Canonicalize(std::string& url) {
  std::string canonical;
  if (!platform::Env::Get().internet().CanonicalizeUrl(url, kUrlBufferSize, &canonical)) {
    return false;
  }
  url = canonical;
  return true;
}

}  // namespace

bool IsOnline() { return platform::Env::Get().internet().IsOnline(); }

void PumpMessage() {
  if (g_pMainWnd) g_pMainWnd->PumpMessage();
}

FileDownload::FileDownload(bool md5, bool sha256) : m_bMd5(md5), m_bSha256(sha256) {}

FileDownload::~FileDownload() = default;

void FileDownload::Forget() {
  m_nReceived = 0;
  m_szValidator.clear();
  m_nTotal = UINT64_MAX;
  m_bResumable = false;
  m_bComplete = false;
  m_md5 = m_bMd5 ? platform::NewDigest(platform::DigestKind::kMd5) : nullptr;
  m_sha256 = m_bSha256 ? platform::NewDigest(platform::DigestKind::kSha256) : nullptr;
}

bool FileDownload::Attempt(std::string& url, const std::string& target, bool showProgress,
                           BodyLimit limit) {
  bool urlOk = Canonicalize(url);
  // Kept bytes count only for the same file of the same URL, and never after
  // a complete body: it failed its check, so they are wrong.
  if (!m_bResumable || m_bComplete || url != m_szUrl || target != m_szTarget) {
    m_file.reset();  // removes the temporary
    Forget();
  }
  if (!m_file) {
    m_file = std::make_unique<ReplacingFile>();
    if (!CreateTargetFile(target, &m_szFolder, m_file.get())) {
      m_file.reset();
      WriteLog(texts::kCannotSaveDownload, true);
      return false;
    }
    m_szUrl = url;
    m_szTarget = target;
  }

  std::unique_ptr<platform::HttpRequest> request;
  if (urlOk && m_nReceived > 0) {
    platform::HttpRange range;
    range.nFrom = m_nReceived;
    range.szIfRange = m_szValidator;
    request = OpenAnswer(url, 0, &range);
    if (request && !AnswerContinues(*request, range, m_nTotal)) {
      // From byte 0: a 200 brings the whole (perhaps new) body; any other
      // answer is left and the whole resource asked for again.
      Forget();
      m_file->Close();
      if (m_file->Create() != platform::kErrorSuccess) {
        m_file.reset();
        WriteLog(texts::kCannotSaveDownload, true);
        return false;
      }
      if (request->StatusCode() != 200) request.reset();
    }
  }
  if (urlOk && m_nReceived == 0 && !request) request = OpenAnswer(url, 0, nullptr);
  if (request && m_nReceived == 0) {
    m_szValidator = ValidatorOf(*request);
    uint64_t length = 0;
    m_nTotal =
        platform::ParseContentLength(request->ContentLengthText(), &length) ? length : UINT64_MAX;
  }
  int total = request ? BarRange(request->ContentLengthText(), m_nReceived, limit) : 0;
  if (showProgress && g_pMainWnd) g_pMainWnd->SetFileProgress(ProgressPosition(m_nReceived), total);

  BodySink sink;
  sink.pFile = m_file.get();
  sink.pFolder = &m_szFolder;
  sink.pMd5 = m_md5.get();
  sink.pSha256 = m_sha256.get();
  BodyEnd end = ReceiveBody(request.get(), limit.nMaxBytes, showProgress, sink, &m_nReceived);
  request.reset();
  m_bResumable = end == BodyEnd::kCutOff && !m_szValidator.empty();
  if (end != BodyEnd::kWhole) return false;
  // Data lost on closing is a failed save as well, never a success.
  if (m_file->Flush() != platform::kErrorSuccess) {
    WriteLog(texts::kSaveDownloadError, true);
    return false;
  }
  m_bComplete = true;
  return true;
}

std::string FileDownload::DigestHex(platform::DigestKind kind) {
  std::unique_ptr<platform::Digest>& digest = kind == platform::DigestKind::kMd5 ? m_md5 : m_sha256;
  if (!m_bComplete || !digest) return std::string();
  std::string hex = digest->FinalHex();
  digest.reset();
  return hex;
}

bool FileDownload::Commit() {
  if (!m_bComplete || !m_file) return false;
  bool ok = m_file->Commit() == platform::kErrorSuccess;
  m_file.reset();
  Forget();
  return ok;
}

bool HttpDownload(std::string& url, std::string& target, bool toFile, bool showProgress,
                  BodyLimit limit) {
  if (toFile) {
    FileDownload download(false, false);
    if (!download.Attempt(url, target, showProgress, limit)) return false;
    if (download.Commit()) return true;
    WriteLog(texts::kSaveDownloadError, true);
    return false;
  }

  // Text held in memory stops growing at its limit, and takes at most the
  // overall time: a server that never ends its body, or sends it ever so
  // slowly, fails the download instead of exhausting memory or holding the run.
  bool urlOk = Canonicalize(url);
  target.clear();
  uint64_t maxBytes = limit.nMaxBytes < kMaxTextDownload ? limit.nMaxBytes : kMaxTextDownload;
  // A malformed URL and a URL that cannot be opened show as a failing first read.
  std::unique_ptr<platform::HttpRequest> request;
  if (urlOk) request = OpenAnswer(url, platform::HttpOverallSeconds(), nullptr);
  int total = request ? BarRange(request->ContentLengthText(), 0, limit) : 0;
  if (showProgress && g_pMainWnd) g_pMainWnd->SetFileProgress(0, total);
  BodySink sink;
  sink.pText = &target;
  uint64_t received = 0;
  return ReceiveBody(request.get(), maxBytes, showProgress, sink, &received) == BodyEnd::kWhole;
}
