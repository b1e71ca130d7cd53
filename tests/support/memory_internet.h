// An Internet that serves bodies from memory: for each URL a queue of
// responses (the last one repeats) with their status and headers as scripted,
// a read error at a chosen byte, and a log of every URL opened and the range
// asked for. URLs pass through CanonicalizeUrl unchanged.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/internet.h"

class MemoryInternet : public platform::Internet {
 public:
  struct Response {
    std::string body;
    // The body's length as Content-Length unless set; "" sends none.
    std::string contentLength = "auto";
    // Bytes served before a read fails; SIZE_MAX never fails.
    size_t failAfter = SIZE_MAX;
    int status = 200;
    std::string etag, lastModified, contentRange;
  };

  // Adds a response to the URL's queue.
  void Serve(const std::string& url, const std::string& body);
  void Serve(const std::string& url, const Response& response);

  bool IsOnline() override { return m_bOnline; }
  bool CanonicalizeUrl(const std::string& url, size_t capacity, std::string* canonical) override;
  std::unique_ptr<platform::HttpRequest> OpenUrl(const std::string& url, const std::string& agent,
                                                 long overallSeconds,
                                                 const platform::HttpRange* range) override;

  bool m_bOnline = true;
  std::vector<std::string> m_aOpened;  // every URL opened, in order
  // For each, "" or the range asked for: "FROM-" and the If-Range text.
  std::vector<std::string> m_aRanges;

 private:
  std::map<std::string, std::deque<Response>> m_responses;
};
