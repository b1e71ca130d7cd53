// How deeply the elements of a manifest text nest, found before the text is
// parsed. The XML parser (TinyXML 2.6) descends one call level per element
// level and has no limit of its own, so a manifest nested 100,000 levels deep
// would exhaust the stack; LoadManifest refuses a text deeper than
// kMaxManifestDepth as not well-formed instead.
//
// The scan reads the text exactly as that parser reads it (its white space,
// names, quoted and unquoted attribute values, entities, comments, CDATA
// sections, declarations and its UTF-8 mode, which steps over whole
// characters), because a simpler reading could be led astray: an entity such
// as "&#x<!--x;" hides a comment opener from the parser, and a scan that took
// the comment for real would miss every element after it.
#pragma once

#include <cstddef>
#include <string>

// Far beyond any real manifest (which nests four levels: updateinfo, package,
// actions, action) and far below what the stack holds.
constexpr int kMaxManifestDepth = 256;

struct NestingScan {
  // The deepest element level the parser reaches (the root element is 1);
  // when the limit is exceeded, limit + 1.
  int depth = 0;
  // Set when the limit is exceeded: where the element that goes past it
  // starts (its "<"), as a byte offset and as a 1-based row and column.
  bool tooDeep = false;
  size_t offset = 0;
  int row = 0;
  int col = 0;
};

// Reads `text` up to its first zero byte, as the parser would, and stops at
// the first element deeper than `limit` or where the parser would stop.
NestingScan ScanManifestNesting(const std::string& text, int limit);
