#include "platform/url_canonical.h"

#include <cstring>
#include <vector>

namespace platform {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool IsAlpha(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerAscii(const std::string& text) {
  std::string out = text;
  for (char& c : out) c = Lower(c);
  return out;
}

void AppendEncoded(std::string* out, unsigned char c) {
  *out += '%';
  *out += kHex[c >> 4];
  *out += kHex[c & 0x0F];
}

bool IsUnsafeInPath(unsigned char c) {
  return c <= 0x20 || c >= 0x7F || std::strchr("\"<>\\^`{|}", c) != nullptr;
}

// Unreserved and sub-delimiter characters of RFC 3986, plus "%" for text
// already encoded: what user information and a host name may hold.
bool IsAuthorityChar(unsigned char c) {
  return IsAlpha(c) || IsDigit(c) || std::strchr("-._~!$&'()*+,;=%", c) != nullptr;
}

bool ValidUserInfo(const std::string& text) {
  for (unsigned char c : text) {
    if (!IsAuthorityChar(c) && c != ':') return false;
  }
  return true;
}

bool ValidPort(const std::string& port) {
  if (port.empty() || port.size() > 5) return false;
  unsigned value = 0;
  for (unsigned char c : port) {
    if (!IsDigit(c)) return false;
    value = value * 10 + (c - '0');
  }
  return value >= 1 && value <= 65535;
}

// host[:port], the host a name or a bracketed IPv6 literal.
bool ValidHostPort(const std::string& hostPort) {
  std::string host = hostPort;
  std::string rest;
  if (!hostPort.empty() && hostPort[0] == '[') {
    size_t close = hostPort.find(']');
    if (close == std::string::npos || close == 1) return false;
    for (size_t i = 1; i < close; ++i) {
      unsigned char c = hostPort[i];
      if (!IsDigit(c) && !std::strchr("abcdefABCDEF:.", c)) return false;
    }
    rest = hostPort.substr(close + 1);
    if (!rest.empty() && rest[0] != ':') return false;
  } else {
    size_t colon = hostPort.find(':');
    if (colon != std::string::npos) {
      host = hostPort.substr(0, colon);
      rest = hostPort.substr(colon);
    }
    if (host.empty()) return false;
    for (unsigned char c : host) {
      if (!IsAuthorityChar(c) || c == '%') return false;
    }
  }
  return rest.empty() || ValidPort(rest.substr(1));
}

// "." and ".." segments of an absolute path resolved (RFC 3986, 5.2.4).
std::string RemoveDotSegments(const std::string& path) {
  std::vector<std::string> segments;
  bool trailingSlash = false;
  size_t start = 1;  // after the leading "/"
  for (;;) {
    size_t end = path.find('/', start);
    std::string segment = path.substr(start, end == std::string::npos ? end : end - start);
    bool last = end == std::string::npos;
    if (segment == ".") {
      trailingSlash = last;
    } else if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
      trailingSlash = last;
    } else {
      segments.push_back(segment);
      trailingSlash = false;
    }
    if (last) break;
    start = end + 1;
  }
  std::string out = "/";
  for (size_t i = 0; i < segments.size(); ++i) {
    if (i > 0) out += '/';
    out += segments[i];
  }
  if (trailingSlash && !segments.empty()) out += '/';
  return out;
}

}  // namespace

bool BrowserCanonicalUrl(const std::string& url, size_t capacity, std::string* canonical) {
  if (url.find('\0') != std::string::npos) return false;

  size_t colon = url.find(':');
  if (colon == std::string::npos || colon == 0 || !IsAlpha(url[0])) return false;
  std::string scheme = LowerAscii(url.substr(0, colon));
  if (scheme != "http" && scheme != "https") return false;
  if (url.compare(colon + 1, 2, "//") != 0) return false;

  size_t authorityStart = colon + 3;
  size_t authorityEnd = url.find_first_of("/?#", authorityStart);
  if (authorityEnd == std::string::npos) authorityEnd = url.size();
  std::string authority = url.substr(authorityStart, authorityEnd - authorityStart);
  std::string userInfo;
  size_t at = authority.rfind('@');
  if (at != std::string::npos) {
    userInfo = authority.substr(0, at + 1);
    authority = authority.substr(at + 1);
    if (!ValidUserInfo(userInfo.substr(0, at))) return false;
  }
  if (!ValidHostPort(authority)) return false;

  size_t pathEnd = url.find_first_of("?#", authorityEnd);
  if (pathEnd == std::string::npos) pathEnd = url.size();
  std::string path = url.substr(authorityEnd, pathEnd - authorityEnd);
  if (path.empty()) path = "/";
  path = RemoveDotSegments(path);

  std::string out = scheme + "://" + userInfo + LowerAscii(authority);
  for (unsigned char c : path) {
    if (IsUnsafeInPath(c)) {
      AppendEncoded(&out, c);
    } else {
      out += static_cast<char>(c);
    }
  }
  out.append(url, pathEnd, std::string::npos);

  if (out.size() + 1 > capacity) return false;
  *canonical = out;
  return true;
}

std::string RequestTargetUrl(const std::string& canonical) {
  std::string out;
  out.reserve(canonical.size());
  for (unsigned char c : canonical) {
    if (c <= 0x20 || c == 0x7F) {
      AppendEncoded(&out, c);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace platform
