#include "support/memory_internet.h"

#include <algorithm>
#include <cstring>

namespace {

class MemoryRequest : public platform::HttpRequest {
 public:
  explicit MemoryRequest(MemoryInternet::Response response) : m_response(std::move(response)) {}

  std::string ContentLengthText() override {
    if (m_response.contentLength == "auto") return std::to_string(m_response.body.size());
    return m_response.contentLength;
  }
  int StatusCode() override { return m_response.status; }
  std::string HeaderText(platform::HttpHeader header) override {
    switch (header) {
      case platform::HttpHeader::kETag:
        return m_response.etag;
      case platform::HttpHeader::kLastModified:
        return m_response.lastModified;
      case platform::HttpHeader::kContentRange:
        return m_response.contentRange;
    }
    return std::string();
  }
  bool Read(char* buffer, size_t size, size_t* got) override {
    *got = 0;
    size_t end = std::min(m_response.body.size(), m_response.failAfter);
    if (m_nOffset >= end && end < m_response.body.size()) return false;
    size_t n = std::min(size, end - m_nOffset);
    memcpy(buffer, m_response.body.data() + m_nOffset, n);
    m_nOffset += n;
    *got = n;
    return true;
  }

 private:
  MemoryInternet::Response m_response;
  size_t m_nOffset = 0;
};

}  // namespace

void MemoryInternet::Serve(const std::string& url, const std::string& body) {
  Response response;
  response.body = body;
  Serve(url, response);
}

void MemoryInternet::Serve(const std::string& url, const Response& response) {
  m_responses[url].push_back(response);
}

bool MemoryInternet::CanonicalizeUrl(const std::string& url, size_t capacity,
                                     std::string* canonical) {
  if (url.size() + 1 > capacity) return false;
  *canonical = url;
  return true;
}

std::unique_ptr<platform::HttpRequest> MemoryInternet::OpenUrl(const std::string& url,
                                                               const std::string&, long,
                                                               const platform::HttpRange* range) {
  m_aOpened.push_back(url);
  m_aRanges.push_back(range ? std::to_string(range->nFrom) + "- " + range->szIfRange : "");
  auto it = m_responses.find(url);
  if (it == m_responses.end() || it->second.empty()) return nullptr;
  Response response = it->second.front();
  if (it->second.size() > 1) it->second.pop_front();
  return std::make_unique<MemoryRequest>(response);
}
