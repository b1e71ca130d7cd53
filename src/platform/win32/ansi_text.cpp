// For Windows: conversions between the ANSI code page and UTF-16.
#include "platform/win32/ansi_text.h"

#include <climits>
#include <vector>

#include "platform/win32/windows_api.h"

namespace platform {

bool WideToAnsi(const std::wstring& wide, std::string* ansi) {
  if (wide.empty()) {
    ansi->clear();
    return true;
  }
  if (wide.size() > INT_MAX / 4) return false;
  const int n = static_cast<int>(wide.size());
  BOOL usedDefault = FALSE;
  int size = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), n, nullptr, 0,
                                   nullptr, &usedDefault);
  if (size <= 0 || usedDefault) return false;
  std::vector<char> buffer(static_cast<size_t>(size));
  size = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), n, buffer.data(), size,
                               nullptr, &usedDefault);
  if (size <= 0 || usedDefault) return false;
  ansi->assign(buffer.data(), static_cast<size_t>(size));
  return true;
}

bool AnsiToWide(const std::string& ansi, std::wstring* wide) {
  if (ansi.empty()) {
    wide->clear();
    return true;
  }
  if (ansi.size() > INT_MAX) return false;
  const int n = static_cast<int>(ansi.size());
  int size = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), n, nullptr, 0);
  if (size <= 0) return false;
  std::vector<wchar_t> buffer(static_cast<size_t>(size));
  size = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), n, buffer.data(), size);
  if (size <= 0) return false;
  wide->assign(buffer.data(), static_cast<size_t>(size));
  return true;
}

size_t AnsiCharacterCount(const std::string& ansi) {
  if (ansi.empty()) return 0;
  if (ansi.size() > INT_MAX) return ansi.size();
  // Bytes that are no text of the code page count one each, as the ANSI
  // functions' own conversion takes them.
  int n = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  return n > 0 ? static_cast<size_t>(n) : ansi.size();
}

}  // namespace platform
