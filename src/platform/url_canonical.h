// Browser-mode URL canonicalisation, written once for back-ends whose internet
// client has none of its own.
//
// Accepted: "http" or "https", then "//", a non-empty host (name, IPv4 or a
// bracketed IPv6 literal), an optional numeric port (1..65535) and optional
// user information. Anything else is malformed.
// The canonical form:
// - scheme and host lower-cased; user information and port kept as written;
// - an empty path becomes "/";
// - "." and ".." path segments resolved; a ".." never climbs above the root;
// - in the path, bytes 0x01..0x20, 0x7F..0xFF and the unsafe characters
//   " < > \ ^ ` { | } percent-encoded with upper-case hex; "%" stays as it is,
//   so text already encoded is not encoded twice;
// - from the first "?" or "#" on, the text is left exactly as it is.
// A zero byte anywhere makes the URL malformed.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// False when `url` is malformed or its canonical form needs more than
// `capacity` - 1 bytes (the capacity of a buffer that holds its terminating
// zero); *canonical is then left unchanged.
bool BrowserCanonicalUrl(const std::string& url, size_t capacity, std::string* canonical);

// The canonical URL as it goes out in a request line: spaces and control bytes
// after "?" are percent-encoded too, since no request may carry them raw. The
// caller's URL keeps the canonical form.
std::string RequestTargetUrl(const std::string& canonical);

}  // namespace platform
