#include "actions/scan_number.h"

namespace {

int DigitValue(char c, int base) {
  int d = -1;
  if (c >= '0' && c <= '9') d = c - '0';
  if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
  return d < base ? d : -1;
}

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool Scan(const std::string& text, int base, int32_t* value) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  size_t digits = i;
  // "0x" is consumed only in hexadecimal; "0x" without hex digits after it
  // still reads as the 0 before it.
  if (base == 16 && i + 1 < text.size() && text[i] == '0' && (text[i + 1] | 0x20) == 'x') {
    i += 2;
    if (i >= text.size() || DigitValue(text[i], 16) < 0) {
      *value = 0;
      return true;
    }
    digits = i;
  }
  uint32_t n = 0;
  while (i < text.size() && DigitValue(text[i], base) >= 0) {
    n = n * static_cast<uint32_t>(base) + static_cast<uint32_t>(DigitValue(text[i], base));
    ++i;
  }
  if (i == digits) return false;
  if (negative) n = 0u - n;
  *value = static_cast<int32_t>(n);
  return true;
}

}  // namespace

bool ScanDecimal(const std::string& text, int32_t* value) { return Scan(text, 10, value); }

bool ScanHex(const std::string& text, int32_t* value) { return Scan(text, 16, value); }

int32_t DecimalValue(const std::string& text) {
  int32_t value = 0;
  ScanDecimal(text, &value);
  return value;
}
