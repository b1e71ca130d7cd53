// Numbers in parameter texts, read the way the C scan formats "%d" and "%x"
// read them: leading white space and a sign allowed, reading stops at the
// first character that is not a digit, the value taken modulo 2^32.
#pragma once

#include <cstdint>
#include <string>

// "%d". False, with *value untouched, when the text holds no digit.
bool ScanDecimal(const std::string& text, int32_t* value);
// "%x", with an optional "0x" or "0X" before the digits.
bool ScanHex(const std::string& text, int32_t* value);
// atoi: the "%d" value, or 0 when there is none.
int32_t DecimalValue(const std::string& text);
