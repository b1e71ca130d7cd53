#include "platform/http_limits.h"

#include <cstdlib>

namespace platform {
namespace {

constexpr long kConnectSeconds = 60;
constexpr long kLowSpeedSeconds = 30;
constexpr long kOverallSeconds = 120;

long SecondsFromEnv(const char* name, long fallback) {
  const char* text = std::getenv(name);
  if (!text || !*text) return fallback;
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (*end != '\0' || value < 1 || value > 3600) return fallback;
  return value;
}

// The URL's scheme in lower case when it is followed by "://"; empty otherwise.
std::string Scheme(const std::string& url) {
  size_t colon = url.find(':');
  if (colon == std::string::npos || url.compare(colon, 3, "://") != 0) return std::string();
  std::string scheme = url.substr(0, colon);
  for (char& c : scheme) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return scheme;
}

}  // namespace

long HttpConnectSeconds() {
  return SecondsFromEnv("UPDATER_HTTP_CONNECT_SECONDS", kConnectSeconds);
}

long HttpLowSpeedSeconds() {
  return SecondsFromEnv("UPDATER_HTTP_STALL_SECONDS", kLowSpeedSeconds);
}

long HttpOverallSeconds() {
  return SecondsFromEnv("UPDATER_HTTP_OVERALL_SECONDS", kOverallSeconds);
}

long HttpLowSpeedBytesPerSecond() {
  long rate = static_cast<long>(kLowSpeedBytes) / HttpLowSpeedSeconds();
  return rate > 0 ? rate : 1;
}

TransferPace::TransferPace(int64_t startMs, long windowSeconds, int64_t deadlineMs)
    : m_nDeadlineMs(deadlineMs),
      m_nWindowMs(static_cast<int64_t>(windowSeconds) * 1000),
      m_nMarkMs(startMs) {}

bool TransferPace::Arrived(uint64_t bytes, int64_t nowMs) {
  if (nowMs >= m_nDeadlineMs) return false;
  // A read returns as soon as anything arrives: its bytes came at `nowMs`,
  // after a window that had fewer than the rule asks for.
  if (nowMs - m_nMarkMs >= m_nWindowMs) return false;
  m_nSinceMark += bytes;
  if (m_nSinceMark >= kLowSpeedBytes) {
    m_nSinceMark = 0;
    m_nMarkMs = nowMs;
  }
  return true;
}

bool RedirectAllowed(const std::string& from, const std::string& to) {
  std::string target = Scheme(to);
  if (target != "http" && target != "https") return false;
  return !(Scheme(from) == "https" && target == "http");
}

}  // namespace platform
