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

// The URL's scheme in lower case when it is followed by "://"; empty otherwise.
std::string Scheme(const std::string& url) {
  size_t colon = url.find(':');
  if (colon == std::string::npos || url.compare(colon, 3, "://") != 0) return std::string();
  std::string scheme = url.substr(0, colon);
  for (char& c : scheme) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return scheme;
}

}  // namespace

long HttpConnectSeconds() { return SecondsFromEnv("UPDATER_HTTP_CONNECT_SECONDS"); }

long HttpStallSeconds() { return SecondsFromEnv("UPDATER_HTTP_STALL_SECONDS"); }

bool RedirectAllowed(const std::string& from, const std::string& to) {
  std::string target = Scheme(to);
  if (target != "http" && target != "https") return false;
  return !(Scheme(from) == "https" && target == "http");
}

}  // namespace platform
