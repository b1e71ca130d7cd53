// URL canonicalisation: a canonical form fits its buffer, holds no zero byte,
// is its own canonical form, and its request line form carries no blank or
// control byte.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "platform/url_canonical.h"

namespace {
constexpr size_t kUrlBufferSize = 1024;  // HttpDownload's
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string url(reinterpret_cast<const char*>(data), size);
  std::string canonical = "unchanged";
  if (!platform::BrowserCanonicalUrl(url, kUrlBufferSize, &canonical)) {
    FUZZ_CHECK(canonical == "unchanged", "a refused URL left output behind");
    return 0;
  }
  FUZZ_CHECK(canonical.size() < kUrlBufferSize, "%zu bytes", canonical.size());
  FUZZ_CHECK(canonical.find('\0') == std::string::npos, "zero byte in %s", canonical.c_str());

  std::string again;
  FUZZ_CHECK(platform::BrowserCanonicalUrl(canonical, kUrlBufferSize, &again),
             "canonical form refused: %s", canonical.c_str());
  FUZZ_CHECK(again == canonical, "%s became %s", canonical.c_str(), again.c_str());

  std::string target = platform::RequestTargetUrl(canonical);
  for (unsigned char c : target) {
    FUZZ_CHECK(c > 0x20 && c != 0x7F, "byte %02x in request target %s", c, target.c_str());
  }
  return 0;
}
