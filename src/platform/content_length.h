// The one reading of a Content-Length header, for every back-end and the
// downloader's bar.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The leading decimal digits after any blanks, saturating at the largest
// 64-bit value. False, no length, when the text is empty, negative or starts
// with anything but a digit.
bool ParseContentLength(const std::string& text, uint64_t* length);

// True when the header gives a length and the body ended before it: a body
// cut short is a failed read, never a normal end.
bool BodyEndedShort(const std::string& contentLength, uint64_t received);

// True when a Content-Length header was sent but gives no length (negative,
// not a number): such an answer is refused before its body, as libcurl does.
bool ContentLengthIsMalformed(const std::string& contentLength);

}  // namespace platform
