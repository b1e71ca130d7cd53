// The limits of one HTTP download, the same on every back-end: connecting
// gives up after 60 s; a transfer fails when fewer than 1,024 bytes arrive in
// 30 s (the low-speed rule); a download that has an overall limit (the
// manifest and its signature) fails when it is not over after 120 s; at most
// 10 redirects are followed (http and https only). Tests shorten the times
// with UPDATER_HTTP_CONNECT_SECONDS, UPDATER_HTTP_STALL_SECONDS (the low-speed
// window) and UPDATER_HTTP_OVERALL_SECONDS (whole seconds, 1 to 3600; anything
// else keeps the default).
#pragma once

#include <cstdint>
#include <string>

namespace platform {

constexpr long kMaxHttpRedirects = 10;
// The bytes that must arrive in every low-speed window.
constexpr uint64_t kLowSpeedBytes = 1024;

long HttpConnectSeconds();
long HttpLowSpeedSeconds();
long HttpOverallSeconds();
// The rule as an average rate, as libcurl takes it: below this many bytes per
// second for a whole window. Rounded down, so that a transfer that keeps the
// rule is never given up.
long HttpLowSpeedBytesPerSecond();

// The low-speed rule and an overall limit, for a back-end whose client applies
// neither itself. Times are milliseconds of a steady clock.
class TransferPace {
 public:
  static constexpr int64_t kNoDeadline = INT64_MAX;
  // The first window starts at `startMs`; from `deadlineMs` on the transfer
  // is over.
  TransferPace(int64_t startMs, long windowSeconds, int64_t deadlineMs = kNoDeadline);
  // `bytes` more arrived at `nowMs`. False when the transfer must be given up:
  // the deadline has come, or a whole window went by before them since the
  // last kLowSpeedBytes were complete (or the start).
  bool Arrived(uint64_t bytes, int64_t nowMs);

 private:
  int64_t m_nDeadlineMs;
  int64_t m_nWindowMs;
  int64_t m_nMarkMs;          // when the bytes since the mark began to count
  uint64_t m_nSinceMark = 0;  // bytes since then
};

// Whether a redirect from `from` to `to` (absolute URLs) is followed: only to
// http or https, and never from https down to http.
bool RedirectAllowed(const std::string& from, const std::string& to);

}  // namespace platform
