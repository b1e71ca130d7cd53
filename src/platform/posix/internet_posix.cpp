// POSIX back-end of Internet: libcurl for HTTP (one easy handle per request,
// driven through a multi handle so that the body is pulled by the reader), and
// getifaddrs for the online test.
//
// Requests follow at most 10 redirects over http and https only, verify TLS
// peers and host names, take proxies from the environment (http_proxy,
// https_proxy, no_proxy), and never accept compressed bodies, so the bytes read
// are the resource's bytes (and a range of them is a range of the file).
// Connecting gives up after 60 s; a transfer is aborted by libcurl's low-speed
// limit when fewer than 1,024 bytes arrive in 30 s, and a request with an
// overall limit by its time-out (the limits of platform/http_limits.h, read at
// every request).
#include <curl/curl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <strings.h>
#include <sys/socket.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/content_length.h"
#include "platform/env.h"
#include "platform/http_limits.h"
#include "platform/url_canonical.h"

namespace platform {
namespace {

// Body bytes received but not read yet. When it is full the transfer pauses,
// so memory stays bounded whatever the reader does between reads.
constexpr size_t kPendingCapacity = 256 * 1024;
// libcurl's own receive buffer: large socket reads keep a local transfer as
// fast as the curl tool's.
constexpr long kReceiveBufferSize = 128 * 1024;

bool StartsWithNoCase(const char* data, size_t n, const char* prefix) {
  size_t len = strlen(prefix);
  return n >= len && strncasecmp(data, prefix, len) == 0;
}

// The value of a header line without the blanks and line end around it.
std::string HeaderValue(const char* data, size_t n, size_t nameLength) {
  std::string value(data + nameLength, data + n);
  size_t first = value.find_first_not_of(" \t");
  size_t last = value.find_last_not_of(" \t\r\n");
  return first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
}

// The headers HeaderText answers, in the order of HttpHeader.
const char* const kKeptHeaders[] = {"ETag:", "Last-Modified:", "Content-Range:"};
constexpr size_t kKeptHeaderCount = sizeof kKeptHeaders / sizeof kKeptHeaders[0];

class CurlRequest : public HttpRequest {
 public:
  CurlRequest() : m_pending(kPendingCapacity) {}

  ~CurlRequest() override {
    if (m_hMulti && m_hEasy) curl_multi_remove_handle(m_hMulti, m_hEasy);
    if (m_hEasy) curl_easy_cleanup(m_hEasy);
    if (m_hMulti) curl_multi_cleanup(m_hMulti);
    curl_slist_free_all(m_pHeaders);
  }

  // Sends the request and waits for the final response's headers. False when
  // no response arrives.
  bool Open(const std::string& url, const std::string& agent, long overallSeconds,
            const HttpRange* range) {
    m_hEasy = curl_easy_init();
    m_hMulti = curl_multi_init();
    if (!m_hEasy || !m_hMulti) return false;
    std::vector<std::string> lines = {"Cache-Control: no-cache", "Pragma: no-cache",
                                      "Accept:"};  // "Accept:" drops libcurl's own
    if (range) {
      lines.push_back("Range: bytes=" + std::to_string(range->nFrom) + "-");
      lines.push_back("If-Range: " + range->szIfRange);
    }
    for (const std::string& line : lines) {
      curl_slist* next = curl_slist_append(m_pHeaders, line.c_str());
      if (!next) return false;
      m_pHeaders = next;
    }

    std::string target = RequestTargetUrl(url);
    if (curl_easy_setopt(m_hEasy, CURLOPT_URL, target.c_str()) != CURLE_OK) return false;
    curl_easy_setopt(m_hEasy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(m_hEasy, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(m_hEasy, CURLOPT_HTTPHEADER, m_pHeaders);
#if CURL_AT_LEAST_VERSION(7, 85, 0)
    curl_easy_setopt(m_hEasy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(m_hEasy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#endif
    curl_easy_setopt(m_hEasy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(m_hEasy, CURLOPT_MAXREDIRS, kMaxHttpRedirects);
    curl_easy_setopt(m_hEasy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(m_hEasy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(m_hEasy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_hEasy, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    curl_easy_setopt(m_hEasy, CURLOPT_CONNECTTIMEOUT, HttpConnectSeconds());
    curl_easy_setopt(m_hEasy, CURLOPT_LOW_SPEED_LIMIT, HttpLowSpeedBytesPerSecond());
    curl_easy_setopt(m_hEasy, CURLOPT_LOW_SPEED_TIME, HttpLowSpeedSeconds());
    curl_easy_setopt(m_hEasy, CURLOPT_TIMEOUT, overallSeconds);
    curl_easy_setopt(m_hEasy, CURLOPT_HEADERFUNCTION, &CurlRequest::OnHeader);
    curl_easy_setopt(m_hEasy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(m_hEasy, CURLOPT_WRITEFUNCTION, &CurlRequest::OnBody);
    curl_easy_setopt(m_hEasy, CURLOPT_WRITEDATA, this);
    if (curl_multi_add_handle(m_hMulti, m_hEasy) != CURLM_OK) return false;

    while (!m_bHeadersDone && Pending() == 0 && !m_bDone) Pump(true);
    return !(m_bDone && m_result != CURLE_OK && StatusCode() == 0);
  }

  std::string ContentLengthText() override { return m_szContentLength; }

  std::string HeaderText(HttpHeader header) override {
    return m_aHeaders[static_cast<size_t>(header)];
  }

  int StatusCode() override {
    long code = 0;
    curl_easy_getinfo(m_hEasy, CURLINFO_RESPONSE_CODE, &code);
    return static_cast<int>(code);
  }

  bool Read(char* buffer, size_t size, size_t* got) override {
    size_t total = 0;
    while (total < size) {
      size_t n = Pending();
      if (n > 0) {
        if (n > size - total) n = size - total;
        memcpy(buffer + total, m_pending.data() + m_nStart, n);
        m_nStart += n;
        total += n;
      } else if (m_bDone) {
        break;
      } else {
        Pump(false);
      }
    }
    *got = total;
    m_nReceived += total;
    if (total > 0) return true;
    // libcurl lets some bodies cut short end normally (a length it will not
    // read); the one rule of both back-ends decides.
    return m_result == CURLE_OK && !BodyEndedShort(m_szContentLength, m_nReceived);
  }

 private:
  size_t Pending() const { return m_nEnd - m_nStart; }

  // Moves the transfer on once: resumes it when it was paused, lets libcurl
  // work, and waits (at most a second) for the socket when nothing came that
  // the caller waits for: body bytes, the end, or (`forHeaders`) the headers.
  void Pump(bool forHeaders) {
    if (m_bPaused) {
      m_bPaused = false;
      curl_easy_pause(m_hEasy, CURLPAUSE_CONT);
    }
    int running = 0;
    if (curl_multi_perform(m_hMulti, &running) != CURLM_OK) {
      Finish(CURLE_RECV_ERROR);
      return;
    }
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(m_hMulti, &queued)) {
      if (msg->msg == CURLMSG_DONE) Finish(msg->data.result);
    }
    if (m_bDone || Pending() > 0 || (forHeaders && m_bHeadersDone)) return;
    if (curl_multi_poll(m_hMulti, nullptr, 0, 1000, nullptr) != CURLM_OK) Finish(CURLE_RECV_ERROR);
  }

  void Finish(CURLcode result) {
    m_bDone = true;
    m_result = result;
  }

  static size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<CurlRequest*>(user);
    size_t n = size * count;
    if (StartsWithNoCase(data, n, "HTTP/")) {
      // A new response (after a redirect or an interim one) starts afresh.
      std::string line(data, n);
      size_t space = line.find(' ');
      self->m_nHeaderStatus = space == std::string::npos ? 0 : atoi(line.c_str() + space + 1);
      self->m_szContentLength.clear();
      for (std::string& kept : self->m_aHeaders) kept.clear();
      self->m_bHasLocation = false;
    } else if (StartsWithNoCase(data, n, "Content-Length:")) {
      self->m_szContentLength = HeaderValue(data, n, 15);
    } else if (StartsWithNoCase(data, n, "Location:")) {
      self->m_bHasLocation = true;
    } else if (const char* const* name = KeptHeader(data, n)) {
      self->m_aHeaders[name - kKeptHeaders] = HeaderValue(data, n, strlen(*name));
    } else if ((n == 2 && data[0] == '\r' && data[1] == '\n') || (n == 1 && data[0] == '\n')) {
      int status = self->m_nHeaderStatus;
      bool redirected = status >= 300 && status < 400 && self->m_bHasLocation;
      if (status >= 200 && !redirected) self->m_bHeadersDone = true;
    }
    return n;
  }

  static const char* const* KeptHeader(const char* data, size_t n) {
    for (const char* const& name : kKeptHeaders) {
      if (StartsWithNoCase(data, n, name)) return &name;
    }
    return nullptr;
  }

  static size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<CurlRequest*>(user);
    size_t n = size * count;
    std::vector<char>& pending = self->m_pending;
    size_t held = self->Pending();
    if (held == 0) self->m_nStart = self->m_nEnd = 0;
    if (self->m_nEnd + n > pending.size() && self->m_nStart > 0) {
      memmove(pending.data(), pending.data() + self->m_nStart, held);
      self->m_nStart = 0;
      self->m_nEnd = held;
    }
    if (self->m_nEnd + n > pending.size()) {
      if (held > 0) {
        self->m_bPaused = true;
        return CURL_WRITEFUNC_PAUSE;
      }
      pending.resize(n);  // one block larger than the buffer, taken whole
    }
    memcpy(pending.data() + self->m_nEnd, data, n);
    self->m_nEnd += n;
    return n;
  }

  CURL* m_hEasy = nullptr;
  CURLM* m_hMulti = nullptr;
  curl_slist* m_pHeaders = nullptr;
  std::vector<char> m_pending;
  size_t m_nStart = 0;
  size_t m_nEnd = 0;
  bool m_bPaused = false;
  bool m_bDone = false;
  bool m_bHeadersDone = false;
  CURLcode m_result = CURLE_OK;
  int m_nHeaderStatus = 0;
  bool m_bHasLocation = false;
  std::string m_szContentLength;
  std::string m_aHeaders[kKeptHeaderCount];
  uint64_t m_nReceived = 0;
};

class PosixInternet : public Internet {
 public:
  PosixInternet() : m_bCurlReady(curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) {}

  bool IsOnline() override {
    struct ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return false;
    bool online = false;
    for (struct ifaddrs* p = list; p && !online; p = p->ifa_next) {
      if (!p->ifa_addr) continue;
      int family = p->ifa_addr->sa_family;
      if (family != AF_INET && family != AF_INET6) continue;
      unsigned flags = p->ifa_flags;
      online = (flags & IFF_UP) && (flags & IFF_RUNNING) && !(flags & IFF_LOOPBACK);
    }
    freeifaddrs(list);
    return online;
  }

  bool CanonicalizeUrl(const std::string& url, size_t capacity, std::string* canonical) override {
    return BrowserCanonicalUrl(url, capacity, canonical);
  }

  std::unique_ptr<HttpRequest> OpenUrl(const std::string& url, const std::string& agent,
                                       long overallSeconds, const HttpRange* range) override {
    if (!m_bCurlReady) return nullptr;
    auto request = std::make_unique<CurlRequest>();
    if (!request->Open(url, agent, overallSeconds, range)) return nullptr;
    return request;
  }

 private:
  bool m_bCurlReady;
};

}  // namespace

Internet* DefaultInternet() {
  static PosixInternet internet;
  return &internet;
}

}  // namespace platform
