// For POSIX: the system's text is UTF-8; GBK comes from the C library's iconv.
#include <iconv.h>

#include <cerrno>

#include "client_text.h"
#include "platform/shell_link_file.h"

bool SystemTextToUtf8(const std::string& text, std::string* utf8) {
  // Malformed UTF-8 comes back from the round trip with U+FFFD in it.
  const platform::CodePage& utf8Page = platform::kUtf8CodePage;
  if (utf8Page.toNarrow(utf8Page.toWide(text)) != text) return false;
  *utf8 = text;
  return true;
}

bool SystemTextToGbk(const std::string& text, std::string* gbk) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string in = text;
  std::string out(text.size() + 4, '\0');
  char* inPtr = in.empty() ? nullptr : &in[0];
  size_t inLeft = in.size();
  char* outPtr = &out[0];
  size_t outLeft = out.size();
  // GBK text is never longer than its UTF-8, so the output never runs short;
  // EILSEQ and EINVAL are text GBK cannot hold or no UTF-8 at all.
  bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) &&
            iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<size_t>(-1);
  iconv_close(cd);
  if (!ok || inLeft != 0) return false;
  out.resize(out.size() - outLeft);
  *gbk = out;
  return true;
}
