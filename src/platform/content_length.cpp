#include "platform/content_length.h"

namespace platform {

bool ParseContentLength(const std::string& text, uint64_t* length) {
  size_t i = text.find_first_not_of(" \t");
  if (i == std::string::npos || text[i] < '0' || text[i] > '9') return false;
  uint64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    unsigned digit = static_cast<unsigned>(text[i] - '0');
    value = value > (UINT64_MAX - digit) / 10 ? UINT64_MAX : value * 10 + digit;
  }
  *length = value;
  return true;
}

bool BodyEndedShort(const std::string& contentLength, uint64_t received) {
  uint64_t length = 0;
  return ParseContentLength(contentLength, &length) && received < length;
}

bool ContentLengthIsMalformed(const std::string& contentLength) {
  uint64_t length = 0;
  return !contentLength.empty() && !ParseContentLength(contentLength, &length);
}

}  // namespace platform
