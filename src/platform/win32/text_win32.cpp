// Windows back-end of Text: the lead bytes of the active ANSI code page (GBK
// on the product's systems), ExpandEnvironmentStringsA and UTF-8 names.
#include <vector>

#include "platform/env.h"
#include "platform/win32/ansi_text.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

class Win32Text : public Text {
 public:
  bool IsLeadByte(unsigned char c) const override { return ::IsDBCSLeadByte(c) != FALSE; }

  bool ExpandEnvironment(const std::string& in, size_t capacity, std::string* out) const override {
    if (capacity == 0 || capacity > 0x7FFFFFFF) return false;
    std::vector<char> buffer(capacity);
    DWORD n = ::ExpandEnvironmentStringsA(in.c_str(), buffer.data(), static_cast<DWORD>(capacity));
    // n counts the terminating zero; 0 is a failure, more than the capacity
    // means the result did not fit.
    if (n == 0 || n > capacity) return false;
    *out = buffer.data();
    return true;
  }

  bool GetVariable(const std::string& name, std::string* value) const override {
    DWORD n = ::GetEnvironmentVariableA(name.c_str(), nullptr, 0);
    if (n == 0) {
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
      value->clear();
      return true;
    }
    std::vector<char> buffer(n);
    DWORD got = ::GetEnvironmentVariableA(name.c_str(), buffer.data(), n);
    if (got >= n) return false;
    value->assign(buffer.data(), got);
    return true;
  }

  bool FromUtf8(const std::string& utf8, std::string* text) const override {
    if (utf8.size() > 0x7FFFFFFF) return false;
    std::wstring wide;
    if (!utf8.empty()) {
      const int n = static_cast<int>(utf8.size());
      int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), n, nullptr, 0);
      if (size <= 0) return false;
      wide.resize(static_cast<size_t>(size));
      if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), n, &wide[0], size) !=
          size) {
        return false;
      }
    }
    return WideToAnsi(wide, text);
  }
};

}  // namespace

Text* DefaultText() {
  static Win32Text text;
  return &text;
}

}  // namespace platform
