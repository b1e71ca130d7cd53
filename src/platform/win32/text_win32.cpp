// Windows back-end of Text: the lead bytes of the active ANSI code page (GBK
// on the product's systems) and ExpandEnvironmentStringsA.
#include <vector>

#include "platform/env.h"
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
};

}  // namespace

Text* DefaultText() {
  static Win32Text text;
  return &text;
}

}  // namespace platform
