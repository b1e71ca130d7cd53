// The limits of one HTTP download, the same on every back-end: connecting
// gives up after 60 s, a stalled transfer after 60 s, and at most 10
// redirects are followed (http and https only). Tests shorten the time limits
// with UPDATER_HTTP_CONNECT_SECONDS and UPDATER_HTTP_STALL_SECONDS (whole
// seconds, 1 to 3600; anything else keeps the default).
#pragma once

#include <string>

namespace platform {

constexpr long kMaxHttpRedirects = 10;

long HttpConnectSeconds();
long HttpStallSeconds();

// Whether a redirect from `from` to `to` (absolute URLs) is followed: only to
// http or https, and never from https down to http.
bool RedirectAllowed(const std::string& from, const std::string& to);

}  // namespace platform
