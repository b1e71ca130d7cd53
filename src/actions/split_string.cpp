#include "actions/split_string.h"

#include "env/mbstring.h"

int SplitString(std::vector<std::string>& items, const std::string& text, const char* separators,
                const char* trim) {
  std::string rest = TrimChars(text, trim);
  items.clear();
  for (;;) {
    size_t p = rest.find_first_of(separators);
    if (p == std::string::npos) {
      items.push_back(TrimChars(rest, trim));
      break;
    }
    items.push_back(TrimChars(rest.substr(0, p), trim));
    rest = TrimChars(rest.substr(p + 1), trim);
  }
  return static_cast<int>(items.size());
}
