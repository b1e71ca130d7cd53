#include "update/manifest_nesting.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace {

// Where the parser gives up (its null pointer): nothing after it is read.
constexpr size_t kStop = std::string::npos;
constexpr int kTabSize = 4;

enum class Encoding { kUnknown, kUtf8, kLegacy };
enum class Node { kNone, kDeclaration, kComment, kCdata, kUnknown, kElement };
enum class Tag { kError, kEmpty, kOpen };

// The parser's length of a UTF-8 sequence by its lead byte.
int Utf8Length(unsigned char lead) {
  if (lead < 0xC2) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  if (lead < 0xF5) return 4;
  return 1;
}

bool IsWhite(unsigned char c) { return std::isspace(c) || c == '\n' || c == '\r'; }
// Every byte from 127 up counts as a letter.
bool IsAlpha(unsigned char c) { return c < 127 ? std::isalpha(c) != 0 : true; }
bool IsAlphaNum(unsigned char c) { return c < 127 ? std::isalnum(c) != 0 : true; }
bool IsNameChar(unsigned char c) {
  return IsAlphaNum(c) || c == '_' || c == '-' || c == '.' || c == ':';
}
int HexDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The element whose content is being read, and the end tag it waits for.
struct OpenElement {
  size_t nameStart;
  size_t nameLength;
};

class Scanner {
 public:
  Scanner(const std::string& text, int limit)
      : m_text(text.c_str()), m_size(strnlen(text.c_str(), text.size())), m_limit(limit) {}

  NestingScan Run() {
    size_t p = 0;
    if (!At(0)) return m_result;
    if (At(0) == 0xEF && At(1) == 0xBB && At(2) == 0xBF) m_encoding = Encoding::kUtf8;
    p = SkipWhite(p);
    while (p != kStop && At(p)) {
      Node kind = Identify(p);
      if (kind == Node::kNone) break;
      std::string declared;
      p = kind == Node::kElement ? ParseElementTree(p) : ParseOther(kind, p, &declared);
      if (m_result.tooDeep) break;
      // The first declaration fixes how the rest is read.
      if (m_encoding == Encoding::kUnknown && kind == Node::kDeclaration) {
        declared = declared.c_str();
        m_encoding = declared.empty() || StartsWithNoCase(declared, "UTF-8") ||
                             StartsWithNoCase(declared, "UTF8")
                         ? Encoding::kUtf8
                         : Encoding::kLegacy;
      }
      p = SkipWhite(p);
    }
    return m_result;
  }

 private:
  // The text ends at its first zero byte; reads past it see zeros.
  unsigned char At(size_t p) const {
    return p < m_size ? static_cast<unsigned char>(m_text[p]) : 0;
  }

  static int Lower(unsigned char c) { return std::tolower(c); }

  bool Equal(size_t p, const char* tag, bool ignoreCase) const {
    if (p == kStop) return false;
    for (; *tag; ++p, ++tag) {
      unsigned char c = At(p);
      unsigned char t = static_cast<unsigned char>(*tag);
      if (!c || (ignoreCase ? Lower(c) != Lower(t) : c != t)) return false;
    }
    return true;
  }

  static bool StartsWithNoCase(const std::string& text, const char* prefix) {
    size_t n = std::strlen(prefix);
    if (text.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
      if (Lower(static_cast<unsigned char>(text[i])) !=
          Lower(static_cast<unsigned char>(prefix[i])))
        return false;
    }
    return true;
  }

  size_t SkipWhite(size_t p) const {
    if (p == kStop || !At(p)) return kStop;
    if (m_encoding == Encoding::kUtf8) {
      while (At(p)) {
        // Byte-order marks and two non-characters count as white space.
        if (At(p) == 0xEF && ((At(p + 1) == 0xBB && At(p + 2) == 0xBF) ||
                              (At(p + 1) == 0xBF && (At(p + 2) == 0xBE || At(p + 2) == 0xBF)))) {
          p += 3;
          continue;
        }
        if (!IsWhite(At(p))) break;
        ++p;
      }
    } else {
      while (IsWhite(At(p))) ++p;
    }
    return p;
  }

  size_t ReadName(size_t p) const {
    if (p == kStop || !At(p) || !(IsAlpha(At(p)) || At(p) == '_')) return kStop;
    while (At(p) && IsNameChar(At(p))) ++p;
    return p;
  }

  size_t Find(size_t p, char c) const {
    for (; p < m_size; ++p) {
      if (m_text[p] == c) return p;
    }
    return kStop;
  }

  // A numeric character reference. The parser looks for the first ";" and
  // then reads digits backwards from it up to the nearest "x" (or "#"), so
  // whatever stands between "&#x" and that "x" is stepped over unread.
  size_t NumericEntity(size_t p, std::string* value) const {
    bool hex = At(p + 2) == 'x';
    if (hex && !At(p + 3)) return kStop;
    size_t q = Find(p + (hex ? 3 : 2), ';');
    if (q == kStop) return kStop;
    size_t end = q + 1;
    uint64_t ucs = 0;
    uint32_t mult = 1;
    for (--q; At(q) != (hex ? 'x' : '#'); --q) {
      int digit = hex ? HexDigit(At(q)) : (std::isdigit(At(q)) ? At(q) - '0' : -1);
      if (digit < 0) return kStop;
      ucs += mult * static_cast<uint32_t>(digit);
      mult *= hex ? 16 : 10;
    }
    // Only the declaration's encoding is ever decoded, and only while the
    // encoding is not known yet: the parser then keeps the low byte.
    if (value) value->push_back(static_cast<char>(ucs));
    return end;
  }

  size_t Entity(size_t p, std::string* value) const {
    if (At(p + 1) == '#' && At(p + 2)) return NumericEntity(p, value);
    static const struct {
      const char* text;
      char c;
    } kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    for (const auto& e : kEntities) {
      if (Equal(p, e.text, false)) {
        if (value) value->push_back(e.c);
        return p + std::strlen(e.text);
      }
    }
    return p + 1;  // an unknown entity: the "&" is dropped
  }

  // One character of text. In UTF-8 mode a lead byte takes its whole sequence
  // with it, whatever the following bytes are (even the end of the text).
  size_t NextChar(size_t p, std::string* value) const {
    int length = m_encoding == Encoding::kUtf8 ? Utf8Length(At(p)) : 1;
    if (length == 1) {
      if (At(p) == '&') return Entity(p, value);
      if (value) value->push_back(static_cast<char>(At(p)));
      return p + 1;
    }
    if (value) {
      for (int i = 0; i < length && At(p + i); ++i) value->push_back(static_cast<char>(At(p + i)));
    }
    return p + length;
  }

  // Text up to `end`, which is stepped over. The parser gives up when the
  // text ends first, and also when nothing follows `end`.
  size_t ReadText(size_t p, const char* end, bool trim, std::string* value) const {
    if (trim) p = SkipWhite(p);
    while (p != kStop && At(p) && !Equal(p, end, false)) {
      p = trim && IsWhite(At(p)) ? p + 1 : NextChar(p, value);
    }
    if (p != kStop && At(p)) p += std::strlen(end);
    return p != kStop && At(p) ? p : kStop;
  }

  Node Identify(size_t p) const {
    p = SkipWhite(p);
    if (p == kStop || At(p) != '<') return Node::kNone;
    if (Equal(p, "<?xml", true)) return Node::kDeclaration;
    if (Equal(p, "<!--", false)) return Node::kComment;
    if (Equal(p, "<![CDATA[", false)) return Node::kCdata;
    if (Equal(p, "<!", false)) return Node::kUnknown;
    if (IsAlpha(At(p + 1)) || At(p + 1) == '_') return Node::kElement;
    return Node::kUnknown;
  }

  size_t Attribute(size_t p, std::string_view* name, std::string* value) const {
    p = SkipWhite(p);
    if (p == kStop || !At(p)) return kStop;
    size_t start = p;
    p = ReadName(p);
    if (p == kStop || !At(p)) return kStop;
    if (name) *name = std::string_view(m_text + start, p - start);
    p = SkipWhite(p);
    if (p == kStop || At(p) != '=') return kStop;
    p = SkipWhite(p + 1);
    if (p == kStop || !At(p)) return kStop;
    if (At(p) == '\'') return ReadText(p + 1, "'", false, value);
    if (At(p) == '"') return ReadText(p + 1, "\"", false, value);
    // Unquoted: up to white space, "/" or ">"; a quote inside is an error.
    while (At(p) && !IsWhite(At(p)) && At(p) != '/' && At(p) != '>') {
      if (At(p) == '\'' || At(p) == '"') return kStop;
      if (value) value->push_back(static_cast<char>(At(p)));
      ++p;
    }
    return p;
  }

  // A start tag: its name and attributes, up to "/>" or ">".
  Tag StartTag(size_t* position, OpenElement* element) const {
    size_t p = SkipWhite(*position);
    if (p == kStop || At(p) != '<') return Tag::kError;
    p = SkipWhite(p + 1);
    size_t start = p;
    p = ReadName(p);
    if (p == kStop || !At(p)) return Tag::kError;
    *element = {start, p - start};
    std::unordered_set<std::string_view> names;
    for (;;) {
      p = SkipWhite(p);
      if (p == kStop || !At(p)) return Tag::kError;
      if (At(p) == '/') {
        if (At(p + 1) != '>') return Tag::kError;
        *position = p + 2;
        return Tag::kEmpty;
      }
      if (At(p) == '>') {
        *position = p + 1;
        return Tag::kOpen;
      }
      std::string_view name;
      p = Attribute(p, &name, nullptr);
      if (p == kStop || !At(p)) return Tag::kError;
      // The parser stops at an attribute given twice.
      if (!names.insert(name).second) return Tag::kError;
    }
  }

  // One more element level at p; false where the parser stops (or the limit
  // is passed). An element that stays open is pushed.
  bool BeginElement(size_t* p, std::vector<OpenElement>* open) {
    int depth = static_cast<int>(open->size()) + 1;
    if (depth > m_limit) {
      MarkTooDeep(SkipWhite(*p));
      return false;
    }
    if (depth > m_result.depth) m_result.depth = depth;
    OpenElement element;
    Tag tag = StartTag(p, &element);
    if (tag == Tag::kError) return false;
    if (tag == Tag::kOpen) open->push_back(element);
    return true;
  }

  // "</" and the element's name (a longer name passes here and fails on the
  // missing ">"), white space, ">": where the end tag ends, or kStop.
  size_t EndTag(size_t p, const OpenElement& element) const {
    if (At(p) != '<' || At(p + 1) != '/') return kStop;
    for (size_t i = 0; i < element.nameLength; ++i) {
      if (At(p + 2 + i) != static_cast<unsigned char>(m_text[element.nameStart + i])) return kStop;
    }
    p = SkipWhite(p + 2 + element.nameLength);
    return p != kStop && At(p) == '>' ? p + 1 : kStop;
  }

  // An element with everything inside it, without recursion.
  size_t ParseElementTree(size_t p) {
    std::vector<OpenElement> open;
    if (!BeginElement(&p, &open)) return kStop;
    while (!open.empty()) {
      bool descended = false;
      p = SkipWhite(p);
      while (p != kStop && At(p)) {
        if (At(p) != '<') {
          p = ReadText(p, "<", true, nullptr);
          if (p != kStop) --p;  // the "<" is the next node's
        } else if (At(p + 1) == '/') {
          break;
        } else {
          Node kind = Identify(p);
          if (kind == Node::kElement) {
            size_t before = open.size();
            if (!BeginElement(&p, &open)) return kStop;
            if (open.size() > before) {
              descended = true;
              break;
            }
          } else {
            p = ParseOther(kind, p, nullptr);
          }
        }
        p = SkipWhite(p);
      }
      if (descended) continue;
      if (p == kStop || !At(p)) return kStop;
      p = EndTag(p, open.back());
      if (p == kStop) return kStop;
      open.pop_back();
    }
    return p;
  }

  // Declarations, comments, CDATA sections and the rest ("<!...>", "<?...>").
  size_t ParseOther(Node kind, size_t p, std::string* declaredEncoding) const {
    p = SkipWhite(p);
    if (p == kStop) return kStop;
    switch (kind) {
      case Node::kComment:
        for (p += 4; At(p) && !Equal(p, "-->", false);) ++p;
        return At(p) ? p + 3 : p;
      case Node::kCdata:
        for (p += 9; At(p) && !Equal(p, "]]>", false);) ++p;
        return ReadText(p, "]]>", false, nullptr);
      case Node::kDeclaration:
        for (p += 5; p != kStop && At(p);) {
          if (At(p) == '>') return p + 1;
          p = SkipWhite(p);
          if (p == kStop || !At(p)) break;
          if (Equal(p, "version", true) || Equal(p, "standalone", true)) {
            p = Attribute(p, nullptr, nullptr);
          } else if (Equal(p, "encoding", true)) {
            // Only a declaration at the top changes how the text is read.
            std::string value;
            p = Attribute(p, nullptr, &value);
            if (declaredEncoding) *declaredEncoding = value;
          } else {
            while (At(p) && At(p) != '>' && !IsWhite(At(p))) ++p;
          }
        }
        return kStop;
      default:
        if (At(p) != '<') return kStop;
        for (++p; At(p) && At(p) != '>';) ++p;
        return At(p) == '>' ? p + 1 : p;
    }
  }

  // Rows and columns as the parser counts them for its own errors.
  void MarkTooDeep(size_t offset) {
    m_result.tooDeep = true;
    m_result.depth = m_limit + 1;
    m_result.offset = offset;
    int row = 0;
    int col = 0;
    for (size_t p = 0; p < offset && p < m_size;) {
      unsigned char c = At(p);
      if (c == '\r' || c == '\n') {
        ++row;
        col = 0;
        ++p;
        if (At(p) == (c == '\r' ? '\n' : '\r')) ++p;
      } else if (c == '\t') {
        col = (col / kTabSize + 1) * kTabSize;
        ++p;
      } else {
        p += m_encoding == Encoding::kUtf8 ? Utf8Length(c) : 1;
        ++col;
      }
    }
    m_result.row = row + 1;
    m_result.col = col + 1;
  }

  const char* m_text;
  size_t m_size;
  int m_limit;
  Encoding m_encoding = Encoding::kUnknown;
  NestingScan m_result;
};

}  // namespace

NestingScan ScanManifestNesting(const std::string& text, int limit) {
  return Scanner(text, limit).Run();
}
