#include "platform/http_limits.h"

#include <cstdlib>

namespace platform {
namespace {

constexpr long kDefaultSeconds = 60;

long SecondsFromEnv(const char* name) {
  const char* text = std::getenv(name);
  if (!text || !*text) return kDefaultSeconds;
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (*end != '\0' || value < 1 || value > 3600) return kDefaultSeconds;
  return value;
}

}  // namespace

long HttpConnectSeconds() { return SecondsFromEnv("UPDATER_HTTP_CONNECT_SECONDS"); }

long HttpStallSeconds() { return SecondsFromEnv("UPDATER_HTTP_STALL_SECONDS"); }

}  // namespace platform
