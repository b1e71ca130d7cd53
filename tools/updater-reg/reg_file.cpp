#include "reg_file.h"

#include <cstdio>

#include "env/mbstring.h"
#include "platform/registry_store.h"
#include "reg_texts.h"
#include "value_data.h"

namespace {

const char kLineEnd[] = "\r\n";
const char kBlanks[] = " \t";

bool StartsWithNoCase(const std::string& text, size_t pos, const char* prefix) {
  std::string want = prefix;
  return text.size() >= pos + want.size() && MbsEqualNoCase(text.substr(pos, want.size()), want);
}

bool IsTextType(uint32_t type) {
  return type == platform::kRegSz || type == platform::kRegExpandSz ||
         type == platform::kRegMultiSz;
}

// A quoted string at text[*pos] (on the opening quote); \\ and \" are escapes.
bool ReadQuoted(const std::string& text, size_t* pos, std::string* out) {
  out->clear();
  for (size_t i = *pos + 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      *pos = i + 1;
      return true;
    }
    if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"'))
      c = text[++i];
    out->push_back(c);
  }
  return false;
}

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out + "\"";
}

// "01,ab, 2" and so on; empty text is no bytes.
bool ParseHexList(const std::string& text, std::string* bytes) {
  bytes->clear();
  std::string rest = TrimChars(text, kBlanks);
  if (rest.empty()) return true;
  size_t start = 0;
  while (true) {
    size_t comma = rest.find(',', start);
    std::string item = TrimChars(rest.substr(start, comma - start), kBlanks);
    if (item.empty() || item.size() > 2) return false;
    int value = 0;
    for (char c : item) {
      int d = HexDigitValue(c);
      if (d < 0) return false;
      value = value * 16 + d;
    }
    bytes->push_back(static_cast<char>(value));
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

// The right side of a value line.
const char* ParseData(const std::string& text, RegFileValue* value) {
  if (text == "-") {
    value->remove = true;
    return nullptr;
  }
  if (!text.empty() && text[0] == '"') {
    size_t pos = 0;
    std::string s;
    if (!ReadQuoted(text, &pos, &s) || !TrimChars(text.substr(pos), kBlanks).empty())
      return regtexts::kBadString;
    value->type = platform::kRegSz;
    value->bytes = s + '\0';
    return nullptr;
  }
  if (StartsWithNoCase(text, 0, "dword:")) {
    std::string digits = TrimChars(text.substr(6), kBlanks);
    if (digits.empty() || digits.size() > 8) return regtexts::kBadDword;
    uint32_t v = 0;
    for (char c : digits) {
      int d = HexDigitValue(c);
      if (d < 0) return regtexts::kBadDword;
      v = v << 4 | static_cast<uint32_t>(d);
    }
    value->type = platform::kRegDword;
    value->bytes.clear();
    for (int i = 0; i < 4; ++i) value->bytes.push_back(static_cast<char>(v >> (8 * i)));
    return nullptr;
  }
  if (StartsWithNoCase(text, 0, "hex:")) {
    value->type = platform::kRegBinary;
    return ParseHexList(text.substr(4), &value->bytes) ? nullptr : regtexts::kBadHexList;
  }
  if (StartsWithNoCase(text, 0, "hex(")) {
    size_t close = text.find("):", 4);
    if (close == std::string::npos || close == 4 || close > 12) return regtexts::kBadData;
    uint64_t type = 0;
    for (size_t i = 4; i < close; ++i) {
      int d = HexDigitValue(text[i]);
      if (d < 0) return regtexts::kBadData;
      type = type * 16 + static_cast<unsigned>(d);
    }
    if (type > UINT32_MAX) return regtexts::kBadData;
    value->type = static_cast<uint32_t>(type);
    if (!ParseHexList(text.substr(close + 2), &value->bytes)) return regtexts::kBadHexList;
    if (IsTextType(value->type) && !FromUtf16Le(value->bytes, &value->bytes))
      return regtexts::kBadTextData;
    return nullptr;
  }
  return regtexts::kBadData;
}

// "name"=data or @=data.
const char* ParseValueLine(const std::string& line, RegFileValue* value) {
  size_t pos = 0;
  if (line[0] == '@') {
    value->name.clear();
    pos = 1;
  } else if (!ReadQuoted(line, &pos, &value->name) || value->name.find('\0') != std::string::npos) {
    return regtexts::kBadValueName;
  }
  pos = line.find_first_not_of(kBlanks, pos);
  if (pos == std::string::npos || line[pos] != '=') return regtexts::kNoEquals;
  return ParseData(TrimChars(line.substr(pos + 1), kBlanks), value);
}

const char* ParseKeyLine(const std::string& line, RegFileKey* key) {
  if (line.size() < 3 || line.back() != ']') return regtexts::kBadSection;
  std::string name = line.substr(1, line.size() - 2);
  key->remove = !name.empty() && name[0] == '-';
  if (key->remove) name.erase(0, 1);
  if (!ParseKeyName(name, &key->key)) return regtexts::kBadRoot;
  if (key->remove && key->key.subKey.empty()) return regtexts::kRootNotDeletedInFile;
  return nullptr;
}

}  // namespace

bool ParseRegFile(const std::string& bytes, std::vector<RegFileKey>* keys, int* errorLine,
                  std::string* problem) {
  keys->clear();
  std::string text = bytes;
  if (text.compare(0, 2, "\xFF\xFE") == 0) {
    if (!FromUtf16Le(text.substr(2), &text)) {
      *errorLine = 1;
      *problem = regtexts::kBadUtf16;
      return false;
    }
  } else if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    text.erase(0, 3);
  }
  std::vector<std::string> lines = SplitLines(text);
  std::vector<RegFileKey> parsed;
  bool header = false;
  auto fail = [&](size_t index, const char* what) {
    *errorLine = static_cast<int>(index) + 1;
    *problem = what;
    return false;
  };
  for (size_t i = 0; i < lines.size(); ++i) {
    size_t first = i;
    std::string line = TrimChars(lines[i], kBlanks);
    if (line.empty() || line[0] == ';') continue;
    if (!header) {
      if (line != regtexts::kRegFileHeader) return fail(i, regtexts::kNoHeader);
      header = true;
      continue;
    }
    // Hex data goes on over the next lines after a trailing backslash.
    while (!line.empty() && line.back() == '\\' && line[0] != '[') {
      if (++i >= lines.size()) return fail(first, regtexts::kContinuationAtEnd);
      line.pop_back();
      line += TrimChars(lines[i], kBlanks);
    }
    if (line[0] == '[') {
      RegFileKey key;
      if (const char* what = ParseKeyLine(line, &key)) return fail(first, what);
      parsed.push_back(key);
    } else if (line[0] == '"' || line[0] == '@') {
      if (parsed.empty()) return fail(first, regtexts::kValueOutsideKey);
      if (parsed.back().remove) return fail(first, regtexts::kValueInDeletion);
      RegFileValue value;
      if (const char* what = ParseValueLine(line, &value)) return fail(first, what);
      parsed.back().values.push_back(value);
    } else {
      return fail(first, regtexts::kBadLine);
    }
  }
  if (!header) return fail(0, regtexts::kNoHeader);
  *keys = std::move(parsed);
  return true;
}

std::string RegFileHeader() { return std::string(regtexts::kRegFileHeader) + kLineEnd + kLineEnd; }

std::string RegFileKeyLine(const std::string& display) { return "[" + display + "]" + kLineEnd; }

std::string RegFileValueLine(const std::string& name, uint32_t type, const std::string& bytes) {
  std::string line = name.empty() ? "@=" : Quoted(name) + "=";
  size_t nul = bytes.find('\0');
  bool plainString = type == platform::kRegSz && nul != std::string::npos &&
                     nul + 1 == bytes.size() && bytes.find_first_of("\r\n") == std::string::npos;
  if (plainString) return line + Quoted(bytes.substr(0, nul)) + kLineEnd;
  if (type == platform::kRegDword && bytes.size() == 4) {
    char number[16];
    unsigned v = static_cast<unsigned char>(bytes[0]) | static_cast<unsigned char>(bytes[1]) << 8 |
                 static_cast<unsigned char>(bytes[2]) << 16 |
                 static_cast<unsigned>(static_cast<unsigned char>(bytes[3])) << 24;
    snprintf(number, sizeof number, "dword:%08x", v);
    return line + number + kLineEnd;
  }
  std::string data = IsTextType(type) ? ToUtf16Le(bytes) : bytes;
  if (type == platform::kRegBinary) {
    line += "hex:";
  } else {
    char prefix[24];
    snprintf(prefix, sizeof prefix, "hex(%x):", type);
    line += prefix;
  }
  std::string out;
  std::string hex = HexUpper(data);
  for (size_t i = 0; i < data.size(); ++i) {
    if (line.size() + 3 > 79 && line.back() == ',') {
      out += line + "\\" + kLineEnd;
      line = "  ";
    }
    line += MbsLower(hex.substr(2 * i, 2));
    if (i + 1 < data.size()) line += ",";
  }
  return out + line + kLineEnd;
}
