#include "actions/split_string.h"

#include "env/mbstring.h"

// One pass over the text: what is left to split is always text[begin, end),
// trimmed at both ends, so a list of a million items costs no more than its
// length (cutting and re-trimming copies of the rest would cost its square).
int SplitString(std::vector<std::string>& items, const std::string& text, const char* separators,
                const char* trim) {
  items.clear();
  size_t begin = text.find_first_not_of(trim);
  size_t end = begin == std::string::npos ? 0 : text.find_last_not_of(trim) + 1;
  if (begin == std::string::npos) begin = 0;
  for (;;) {
    size_t p = text.find_first_of(separators, begin);
    if (p == std::string::npos || p >= end) {
      items.push_back(TrimChars(text.substr(begin, end - begin), trim));
      break;
    }
    items.push_back(TrimChars(text.substr(begin, p - begin), trim));
    begin = text.find_first_not_of(trim, p + 1);
    if (begin == std::string::npos || begin > end) begin = end;
  }
  return static_cast<int>(items.size());
}
