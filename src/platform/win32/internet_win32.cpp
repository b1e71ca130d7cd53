// Windows back-end of Internet: WinINet with the system's preconfigured proxy
// settings and the request flags that always fetch afresh from the server.
// Redirects are followed here rather than by WinINet, which (in Wine at least)
// follows a redirect loop for ever; the limits are those of http_limits.h.
// The low-speed rule and the overall limit are applied by the read loop: Wine
// does not honour the receive time-out, and WinINet has neither.
// The SDK headers below need <windows.h> first.
// clang-format off
#include "platform/win32/windows_api.h"
#include <wininet.h>
// clang-format on

#include <chrono>
#include <string>
#include <vector>

#include "platform/content_length.h"
#include "platform/env.h"
#include "platform/http_limits.h"

namespace platform {
namespace {

// INTERNET_FLAG_RELOAD | INTERNET_FLAG_RESYNCHRONIZE | INTERNET_FLAG_HYPERLINK |
// INTERNET_FLAG_NO_CACHE_WRITE: always from the server, and the body is not
// also kept in the cache (NEED_FILE would ask for that very copy), which
// would double the disk every package takes.
constexpr DWORD kRequestFlags = 0x84000C00;
static_assert(kRequestFlags == (INTERNET_FLAG_RELOAD | INTERNET_FLAG_RESYNCHRONIZE |
                                INTERNET_FLAG_HYPERLINK | INTERNET_FLAG_NO_CACHE_WRITE),
              "request flags");

bool IsRedirectStatus(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The connect limit, and the low-speed window as the longest wait for any data.
void SetTimeouts(HINTERNET h) {
  DWORD connect = static_cast<DWORD>(HttpConnectSeconds() * 1000);
  DWORD receive = static_cast<DWORD>(HttpLowSpeedSeconds() * 1000);
  ::InternetSetOptionA(h, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
  ::InternetSetOptionA(h, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
}

DWORD Status(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!::HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr)) {
    return 0;
  }
  return status;
}

// The redirect's target made absolute against the URL that gave it; false
// when there is none.
bool RedirectTarget(HINTERNET request, const std::string& base, std::string* target) {
  std::vector<char> buffer(2048);
  DWORD size = static_cast<DWORD>(buffer.size());
  if (!::HttpQueryInfoA(request, HTTP_QUERY_LOCATION, buffer.data(), &size, nullptr)) {
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    buffer.resize(size + 1);
    if (!::HttpQueryInfoA(request, HTTP_QUERY_LOCATION, buffer.data(), &size, nullptr)) {
      return false;
    }
  }
  std::string location(buffer.data(), size);
  std::vector<char> combined(base.size() + location.size() + 1024);
  DWORD length = static_cast<DWORD>(combined.size());
  if (!::InternetCombineUrlA(base.c_str(), location.c_str(), combined.data(), &length,
                             ICU_BROWSER_MODE)) {
    return false;
  }
  target->assign(combined.data(), length);
  return true;
}

// A header of the response as text, however long; empty when it has none.
std::string QueryText(HINTERNET request, DWORD query) {
  std::vector<char> buffer(64);
  DWORD size = static_cast<DWORD>(buffer.size());
  if (!::HttpQueryInfoA(request, query, buffer.data(), &size, nullptr)) {
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::string();
    buffer.resize(size + 1);
    size = static_cast<DWORD>(buffer.size());
    if (!::HttpQueryInfoA(request, query, buffer.data(), &size, nullptr)) return std::string();
  }
  return std::string(buffer.data(), size < buffer.size() ? size : buffer.size() - 1);
}

// The Range and If-Range lines of a request for the rest of a resource.
std::string RangeHeaders(const HttpRange* range) {
  if (!range) return std::string();
  return "Range: bytes=" + std::to_string(range->nFrom) + "-\r\nIf-Range: " + range->szIfRange +
         "\r\n";
}

class WinInetRequest : public HttpRequest {
 public:
  WinInetRequest(HINTERNET session, HINTERNET request, const TransferPace& pace)
      : m_hSession(session),
        m_hRequest(request),
        m_szContentLength(ContentLengthText()),
        m_pace(pace),
        m_bFailed(ContentLengthIsMalformed(m_szContentLength)) {}
  ~WinInetRequest() override {
    ::InternetCloseHandle(m_hRequest);
    ::InternetCloseHandle(m_hSession);
  }

  // Read whole, however long.
  std::string ContentLengthText() override {
    return QueryText(m_hRequest, HTTP_QUERY_CONTENT_LENGTH);
  }

  int StatusCode() override { return static_cast<int>(Status(m_hRequest)); }

  std::string HeaderText(HttpHeader header) override {
    switch (header) {
      case HttpHeader::kETag:
        return QueryText(m_hRequest, HTTP_QUERY_ETAG);
      case HttpHeader::kLastModified:
        return QueryText(m_hRequest, HTTP_QUERY_LAST_MODIFIED);
      case HttpHeader::kContentRange:
        return QueryText(m_hRequest, HTTP_QUERY_CONTENT_RANGE);
    }
    return std::string();
  }

  bool Read(char* buffer, size_t size, size_t* got) override {
    *got = 0;
    if (m_bFailed) return false;
    while (*got < size) {
      // InternetReadFile waits until it has all it was asked for: asking for
      // what has arrived lets every arrival be held to the pace.
      DWORD available = 0;
      if (!::InternetQueryDataAvailable(m_hRequest, &available, 0, 0)) {
        m_bFailed = true;
        break;
      }
      size_t want = size - *got;
      if (available > 0 && available < want) want = available;
      if (want > 0x10000) want = 0x10000;
      DWORD n = 0;
      if (!::InternetReadFile(m_hRequest, buffer + *got, static_cast<DWORD>(want), &n)) {
        m_bFailed = true;
        break;
      }
      if (n == 0) {
        // WinINet reports a connection closed early as a normal end.
        if (BodyEndedShort(m_szContentLength, m_nReceived)) m_bFailed = true;
        break;
      }
      *got += n;
      m_nReceived += n;
      if (!m_pace.Arrived(n, NowMs())) {
        m_bFailed = true;
        break;
      }
    }
    if (*got > 0) return true;
    return !m_bFailed;
  }

 private:
  HINTERNET m_hSession;
  HINTERNET m_hRequest;
  std::string m_szContentLength;
  TransferPace m_pace;
  uint64_t m_nReceived = 0;
  bool m_bFailed;
};

class WinInetInternet : public Internet {
 public:
  bool IsOnline() override {
    DWORD flags = 0;
    return ::InternetGetConnectedState(&flags, 0) != FALSE;
  }

  bool CanonicalizeUrl(const std::string& url, size_t capacity, std::string* canonical) override {
    if (capacity == 0 || capacity > 0x7FFFFFFF || url.find('\0') != std::string::npos) {
      return false;
    }
    std::vector<char> buffer(capacity);
    DWORD size = static_cast<DWORD>(capacity);
    if (!::InternetCanonicalizeUrlA(url.c_str(), buffer.data(), &size, ICU_BROWSER_MODE)) {
      return false;
    }
    canonical->assign(buffer.data(), size);
    return true;
  }

  std::unique_ptr<HttpRequest> OpenUrl(const std::string& url, const std::string& agent,
                                       long overallSeconds, const HttpRange* range) override {
    int64_t startMs = NowMs();
    // Sent again to every place a redirect leads to.
    std::string headers = RangeHeaders(range);
    HINTERNET session =
        ::InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!session) return nullptr;
    SetTimeouts(session);
    std::string current = url;
    for (long redirects = 0;; ++redirects) {
      HINTERNET request = ::InternetOpenUrlA(
          session, current.c_str(), headers.empty() ? nullptr : headers.c_str(),
          static_cast<DWORD>(headers.size()), kRequestFlags | INTERNET_FLAG_NO_AUTO_REDIRECT, 0);
      if (!request) break;
      std::string next;
      if (!IsRedirectStatus(Status(request)) || !RedirectTarget(request, current, &next)) {
        SetTimeouts(request);
        // The low-speed window starts with the body; the overall limit counts
        // the connection and the redirects as well.
        int64_t deadline = overallSeconds > 0 ? startMs + int64_t{overallSeconds} * 1000
                                              : TransferPace::kNoDeadline;
        TransferPace pace(NowMs(), HttpLowSpeedSeconds(), deadline);
        return std::unique_ptr<HttpRequest>(new WinInetRequest(session, request, pace));
      }
      ::InternetCloseHandle(request);
      // https to http is refused, as WinINet itself refuses it.
      if (redirects == kMaxHttpRedirects || !RedirectAllowed(current, next)) break;
      current = next;
    }
    ::InternetCloseHandle(session);
    return nullptr;
  }
};

}  // namespace

Internet* DefaultInternet() {
  static WinInetInternet internet;
  return &internet;
}

}  // namespace platform
