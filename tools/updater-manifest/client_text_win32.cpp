// For Windows: the system's text is the ANSI code page; UTF-8 and GBK (code
// page 936) come from the system's own conversions, through UTF-16.
#include <windows.h>

#include <climits>

#include "client_text.h"

namespace {

constexpr UINT kGbkCodePage = 936;

bool ToWide(const std::string& text, std::wstring* wide) {
  wide->clear();
  if (text.empty()) return true;
  if (text.size() > INT_MAX) return false;
  int n = static_cast<int>(text.size());
  int size = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), n, nullptr, 0);
  if (size <= 0) return false;
  wide->resize(static_cast<size_t>(size));
  return ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), n, &(*wide)[0], size) ==
         size;
}

// A character the code page has not fails; no look-alike is taken.
bool FromWide(const std::wstring& wide, UINT codePage, std::string* text) {
  text->clear();
  if (wide.empty()) return true;
  int n = static_cast<int>(wide.size());
  BOOL usedDefault = FALSE;
  DWORD flags = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL* defaulted = codePage == CP_UTF8 ? nullptr : &usedDefault;
  int size = ::WideCharToMultiByte(codePage, flags, wide.data(), n, nullptr, 0, nullptr, defaulted);
  if (size <= 0 || usedDefault) return false;
  text->resize(static_cast<size_t>(size));
  size =
      ::WideCharToMultiByte(codePage, flags, wide.data(), n, &(*text)[0], size, nullptr, defaulted);
  return size > 0 && !usedDefault;
}

}  // namespace

bool SystemTextToUtf8(const std::string& text, std::string* utf8) {
  std::wstring wide;
  return ToWide(text, &wide) && FromWide(wide, CP_UTF8, utf8);
}

bool SystemTextToGbk(const std::string& text, std::string* gbk) {
  std::wstring wide;
  return ToWide(text, &wide) && FromWide(wide, kGbkCodePage, gbk);
}
