// The internet client: online state, URL canonicalisation and one HTTP GET
// whose body is read in blocks.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace platform {

// One open request: headers have arrived, the body is read by Read.
class HttpRequest {
 public:
  virtual ~HttpRequest() = default;
  // The Content-Length header's text; empty when the server sent none.
  virtual std::string ContentLengthText() = 0;
  // The HTTP status of the final response (after redirects); 0 when unknown.
  virtual int StatusCode() = 0;
  // Up to `size` bytes of the body; *got is 0 at its end. False on a failed read.
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
  // GET with the given user agent, never from a cache. Null when the client or
  // the URL cannot be opened.
  virtual std::unique_ptr<HttpRequest> OpenUrl(const std::string& url,
                                               const std::string& agent) = 0;
};

class InternetWrapper : public Internet {
 public:
  explicit InternetWrapper(Internet* target) : m_pTarget(target) {}
  bool IsOnline() override { return m_pTarget->IsOnline(); }
  bool CanonicalizeUrl(const std::string& url, size_t capacity, std::string* c) override {
    return m_pTarget->CanonicalizeUrl(url, capacity, c);
  }
  std::unique_ptr<HttpRequest> OpenUrl(const std::string& url, const std::string& agent) override {
    return m_pTarget->OpenUrl(url, agent);
  }

 private:
  Internet* m_pTarget;
};

}  // namespace platform
