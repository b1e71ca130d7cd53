// POSIX back-end of Text: UTF-8 has no lead bytes below 0x80 and none that a
// byte scan could mistake for a separator.
#include <cstdlib>

#include "platform/env.h"
#include "platform/shell_link_file.h"

namespace platform {
namespace {

class PosixText : public Text {
 public:
  bool IsLeadByte(unsigned char) const override { return false; }

  bool ExpandEnvironment(const std::string& in, size_t capacity, std::string* out) const override {
    std::string result;
    size_t i = 0;
    while (i < in.size()) {
      size_t open = in.find('%', i);
      if (open == std::string::npos) {
        result.append(in, i, std::string::npos);
        break;
      }
      result.append(in, i, open - i);
      size_t close = in.find('%', open + 1);
      if (close == std::string::npos) {
        result.append(in, open, std::string::npos);
        break;
      }
      std::string value;
      std::string name = in.substr(open + 1, close - open - 1);
      if (!name.empty() && GetVariable(name, &value)) {
        result += value;
      } else {
        result.append(in, open, close - open + 1);
      }
      i = close + 1;
    }
    if (result.size() + 1 > capacity) return false;
    *out = result;
    return true;
  }

  bool GetVariable(const std::string& name, std::string* value) const override {
    const char* v = getenv(name.c_str());
    if (!v) return false;
    *value = v;
    return true;
  }

  // UTF-8 is the system's text: valid UTF-8 comes through unchanged.
  bool FromUtf8(const std::string& utf8, std::string* text) const override {
    if (kUtf8CodePage.toNarrow(kUtf8CodePage.toWide(utf8)) != utf8) return false;
    *text = utf8;
    return true;
  }
};

}  // namespace

Text* DefaultText() {
  static PosixText text;
  return &text;
}

}  // namespace platform
