// The internet client: online state, URL canonicalisation and one HTTP GET
// whose body is pulled in blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// The response headers a download that was cut off resumes by.
enum class HttpHeader { kETag, kLastModified, kContentRange };

// A request for the rest of a resource: the bytes from nFrom to its end, if
// it still has the validator (ETag or Last-Modified) the kept bytes came with.
struct HttpRange {
  uint64_t nFrom = 0;
  std::string szIfRange;
};

// One open request: the final response's headers have arrived (redirects are
// followed), the body is pulled by Read. Closing it ends the request.
class HttpRequest {
 public:
  virtual ~HttpRequest() = default;
  // The Content-Length header's text as the server sent it; empty when it sent
  // none.
  virtual std::string ContentLengthText() = 0;
  // The HTTP status of the final response; 0 when unknown.
  virtual int StatusCode() = 0;
  // That header of the final response as the server sent it, without the
  // blanks around it; empty when it sent none.
  virtual std::string HeaderText(HttpHeader header) = 0;
  // Blocks until `size` bytes of the body, its end or a failure; *got is the
  // number delivered, 0 only at the end. Bytes that arrived before a failure are
  // delivered first; the failure is the next read's (false, *got 0). A body
  // shorter than its Content-Length, a dropped connection, a server too slow
  // for the low-speed rule and a request past its overall limit are failures.
  virtual bool Read(char* buffer, size_t size, size_t* got) = 0;
};

class Internet {
 public:
  virtual ~Internet() = default;
  // True when the machine reports a connection to a network.
  virtual bool IsOnline() = 0;
  // Browser-mode canonical form of a URL, at most `capacity` - 1 bytes. False
  // when the URL is malformed or its canonical form does not fit.
  virtual bool CanonicalizeUrl(const std::string& url, size_t capacity, std::string* canonical) = 0;
  // GET with the given user agent, never answered from a cache, and given a
  // range its Range ("bytes=FROM-") and If-Range headers, no other headers of
  // the caller's; held to the low-speed rule of http_limits.h and, unless
  // `overallSeconds` is 0, to that overall limit from the start of the
  // request; a read then fails. Null when the client cannot be opened or no
  // response arrives (bad address, refused connection, time-out).
  virtual std::unique_ptr<HttpRequest> OpenUrl(const std::string& url, const std::string& agent,
                                               long overallSeconds, const HttpRange* range) = 0;
};

class InternetWrapper : public Internet {
 public:
  explicit InternetWrapper(Internet* target) : m_pTarget(target) {}
  Internet* target() const { return m_pTarget; }
  bool IsOnline() override { return m_pTarget->IsOnline(); }
  bool CanonicalizeUrl(const std::string& url, size_t capacity, std::string* c) override {
    return m_pTarget->CanonicalizeUrl(url, capacity, c);
  }
  std::unique_ptr<HttpRequest> OpenUrl(const std::string& url, const std::string& agent,
                                       long overallSeconds, const HttpRange* range) override {
    return m_pTarget->OpenUrl(url, agent, overallSeconds, range);
  }

 private:
  Internet* m_pTarget;
};

}  // namespace platform
