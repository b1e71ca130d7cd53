#include "app/mnemonic.h"

std::string ConvertMnemonic(const std::string& label, char marker) {
  std::string out;
  for (size_t i = 0; i < label.size(); ++i) {
    char c = label[i];
    if (c == '&' && i + 1 < label.size()) {
      c = label[++i];
      if (c != '&' && marker != '\0') out += marker;
    } else if (marker != '\0' && c == marker) {
      out += marker;
    }
    out += c;
  }
  return out;
}

char AccessKey(const std::string& label) {
  for (size_t i = 0; i + 1 < label.size(); ++i) {
    if (label[i] != '&') continue;
    char c = label[i + 1];
    if (c != '&') return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    ++i;
  }
  return '\0';
}
