#include "value_data.h"

#include <cstdio>

#include "env/mbstring.h"
#include "platform/registry_store.h"

namespace {

const char* const kTypeNames[] = {"REG_NONE",
                                  "REG_SZ",
                                  "REG_EXPAND_SZ",
                                  "REG_BINARY",
                                  "REG_DWORD",
                                  "REG_DWORD_BIG_ENDIAN",
                                  "REG_LINK",
                                  "REG_MULTI_SZ",
                                  "REG_RESOURCE_LIST",
                                  "REG_FULL_RESOURCE_DESCRIPTOR",
                                  "REG_RESOURCE_REQUIREMENTS_LIST",
                                  "REG_QWORD"};

bool ParseDword(const std::string& text, uint32_t* value) {
  uint64_t v = 0;
  size_t i = 0;
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    i = 2;
  }
  if (i >= text.size()) return false;
  for (; i < text.size(); ++i) {
    int d = HexDigitValue(text[i]);
    if (d < 0 || d >= base) return false;
    v = v * base + static_cast<unsigned>(d);
    if (v > UINT32_MAX) return false;
  }
  *value = static_cast<uint32_t>(v);
  return true;
}

uint64_t LittleEndian(const std::string& bytes) {
  uint64_t v = 0;
  for (size_t i = bytes.size(); i-- > 0;) v = v << 8 | static_cast<unsigned char>(bytes[i]);
  return v;
}

void PutUnit(std::string* out, uint32_t unit) {
  out->push_back(static_cast<char>(unit & 0xFF));
  out->push_back(static_cast<char>(unit >> 8));
}

void PutUtf8(std::string* out, uint32_t cp) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | cp >> 6));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | cp >> 12));
    out->push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | cp >> 18));
    out->push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// One well-formed UTF-8 sequence at text[i]: its code point and length, or 0.
size_t DecodeUtf8(const std::string& text, size_t i, uint32_t* cp) {
  unsigned char c = static_cast<unsigned char>(text[i]);
  if (c < 0x80) {
    *cp = c;
    return 1;
  }
  size_t length;
  uint32_t min;
  if ((c & 0xE0) == 0xC0) {
    length = 2, min = 0x80, *cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    length = 3, min = 0x800, *cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    length = 4, min = 0x10000, *cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    unsigned char t = static_cast<unsigned char>(text[i + k]);
    if ((t & 0xC0) != 0x80) return 0;
    *cp = *cp << 6 | (t & 0x3F);
  }
  if (*cp < min || *cp > 0x10FFFF || (*cp >= 0xD800 && *cp <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string TypeName(uint32_t type) {
  if (type < sizeof kTypeNames / sizeof kTypeNames[0]) return kTypeNames[type];
  return "REG_UNKNOWN";
}

bool ParseAddType(const std::string& text, uint32_t* type) {
  for (uint32_t t :
       {platform::kRegSz, platform::kRegExpandSz, platform::kRegDword, platform::kRegBinary}) {
    if (MbsEqualNoCase(text, kTypeNames[t])) {
      *type = t;
      return true;
    }
  }
  return false;
}

bool DataFromArgument(uint32_t type, const std::string& text, std::string* bytes) {
  bytes->clear();
  if (type == platform::kRegDword) {
    uint32_t v = 0;
    if (!ParseDword(text, &v)) return false;
    for (int i = 0; i < 4; ++i) bytes->push_back(static_cast<char>(v >> (8 * i)));
    return true;
  }
  if (type == platform::kRegBinary) {
    if (text.size() % 2) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
      int hi = HexDigitValue(text[i]), lo = HexDigitValue(text[i + 1]);
      if (hi < 0 || lo < 0) return false;
      bytes->push_back(static_cast<char>(hi << 4 | lo));
    }
    return true;
  }
  *bytes = text;
  bytes->push_back('\0');
  return true;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string HexUpper(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 0xF]);
  }
  return out;
}

std::string FormatQueryData(uint32_t type, const std::string& bytes) {
  char number[24];
  switch (type) {
    case platform::kRegSz:
    case platform::kRegExpandSz:
      return bytes.substr(0, bytes.find('\0'));
    case platform::kRegMultiSz: {
      std::string items = bytes;
      while (!items.empty() && items.back() == '\0') items.pop_back();
      ReplaceAll(&items, std::string(1, '\0'), "\\0");
      return items;
    }
    case platform::kRegDword:
    case platform::kRegQword:
      if (bytes.size() == (type == platform::kRegDword ? 4u : 8u)) {
        snprintf(number, sizeof number, "0x%llx",
                 static_cast<unsigned long long>(LittleEndian(bytes)));
        return number;
      }
      return HexUpper(bytes);
    default:
      return HexUpper(bytes);
  }
}

std::string ToUtf16Le(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    uint32_t cp = 0;
    size_t length = DecodeUtf8(text, i, &cp);
    if (length == 0) {
      PutUnit(&out, 0xDC00 | static_cast<unsigned char>(text[i]));
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      PutUnit(&out, 0xD800 | cp >> 10);
      PutUnit(&out, 0xDC00 | (cp & 0x3FF));
    } else {
      PutUnit(&out, cp);
    }
    i += length;
  }
  return out;
}

bool FromUtf16Le(const std::string& units, std::string* text) {
  if (units.size() % 2) return false;
  std::string out;
  auto unitAt = [&units](size_t i) {
    return static_cast<uint32_t>(static_cast<unsigned char>(units[i])) |
           static_cast<uint32_t>(static_cast<unsigned char>(units[i + 1])) << 8;
  };
  for (size_t i = 0; i < units.size(); i += 2) {
    uint32_t u = unitAt(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 2 < units.size()) {
      uint32_t low = unitAt(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        PutUtf8(&out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    if (u >= 0xDC80 && u <= 0xDCFF) {
      out.push_back(static_cast<char>(u & 0xFF));
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      return false;
    } else {
      PutUtf8(&out, u);
    }
  }
  *text = out;
  return true;
}
