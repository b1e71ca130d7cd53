// Text services of the active code page: lead bytes, environment expansion and
// conversion from UTF-8.
#pragma once

#include <string>

namespace platform {

class Text {
 public:
  virtual ~Text() = default;

  // True when c starts a double-byte character in the active code page. On
  // UTF-8 no byte of a multibyte character is below 0x80, so this is false.
  virtual bool IsLeadByte(unsigned char c) const = 0;

  // Expands %NAME% references; undefined names stay as written. The result must
  // fit in `capacity` bytes including its terminating zero, else false and
  // *out is left alone.
  virtual bool ExpandEnvironment(const std::string& in, size_t capacity,
                                 std::string* out) const = 0;

  // Value of an environment variable; false when it is not set.
  virtual bool GetVariable(const std::string& name, std::string* value) const = 0;

  // UTF-8 text in the active code page; false when it is not UTF-8 or holds a
  // character the code page has not.
  virtual bool FromUtf8(const std::string& utf8, std::string* text) const = 0;
};

}  // namespace platform
