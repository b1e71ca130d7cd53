#include "platform/shell_link_file.h"

#include <cstring>

namespace platform {
namespace {

constexpr uint32_t kHeaderSize = 0x4C;
// 00021401-0000-0000-C000-000000000046 as stored (first three fields little-endian).
constexpr unsigned char kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                          0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// LinkFlags.
constexpr uint32_t kHasLinkTargetIdList = 0x01;
constexpr uint32_t kHasLinkInfo = 0x02;
constexpr uint32_t kHasName = 0x04;
constexpr uint32_t kHasRelativePath = 0x08;
constexpr uint32_t kHasWorkingDir = 0x10;
constexpr uint32_t kHasArguments = 0x20;
constexpr uint32_t kHasIconLocation = 0x40;
constexpr uint32_t kIsUnicode = 0x80;

// LinkInfoFlags.
constexpr uint32_t kVolumeIdAndLocalBasePath = 0x01;
constexpr uint32_t kCommonNetworkRelativeLinkAndPathSuffix = 0x02;

constexpr uint32_t kLinkInfoHeaderSize = 0x1C;
constexpr uint32_t kLinkInfoHeaderSizeUnicode = 0x24;
constexpr uint32_t kVolumeIdHeaderSize = 0x10;
constexpr uint32_t kDriveFixed = 3;
constexpr uint32_t kCommonNetworkRelativeLinkMinSize = 0x14;

// ---- UTF-8 <-> UTF-16 ----

constexpr char32_t kReplacement = 0xFFFD;

std::u16string Utf8ToUtf16(const std::string& in) {
  std::u16string out;
  size_t i = 0;
  while (i < in.size()) {
    unsigned char c = static_cast<unsigned char>(in[i]);
    char32_t cp;
    size_t len;
    if (c < 0x80) {
      cp = c;
      len = 1;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      len = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      len = 3;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      len = 4;
    } else {
      out += static_cast<char16_t>(kReplacement);
      ++i;
      continue;
    }
    bool valid = i + len <= in.size();
    for (size_t k = 1; valid && k < len; ++k) {
      unsigned char cc = static_cast<unsigned char>(in[i + k]);
      if ((cc & 0xC0) != 0x80) valid = false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static const char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (!valid || cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out += static_cast<char16_t>(kReplacement);
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += len;
  }
  return out;
}

void AppendUtf8(std::string* out, char32_t cp) {
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (cp >> 18));
    *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string Utf16ToUtf8(const std::u16string& in) {
  std::string out;
  for (size_t i = 0; i < in.size(); ++i) {
    char32_t cp = in[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 &&
        in[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (in[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;  // a lone surrogate
    }
    AppendUtf8(&out, cp);
  }
  return out;
}

// ---- writing ----

void PutU16(std::string* out, uint16_t v) {
  *out += static_cast<char>(v & 0xFF);
  *out += static_cast<char>(v >> 8);
}

void PutU32(std::string* out, uint32_t v) {
  for (int k = 0; k < 4; ++k) *out += static_cast<char>((v >> (8 * k)) & 0xFF);
}

void PutU64(std::string* out, uint64_t v) {
  PutU32(out, static_cast<uint32_t>(v));
  PutU32(out, static_cast<uint32_t>(v >> 32));
}

void PutWide(std::string* out, const std::u16string& text) {
  for (char16_t c : text) PutU16(out, c);
}

bool IsAscii(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// A LinkInfo with a VolumeID (fixed drive, no label) and the target as
// LocalBasePath with an empty CommonPathSuffix. A target beyond ASCII is also
// stored as LocalBasePathUnicode, so that readers in another code page see it.
std::string EncodeLinkInfo(const std::string& target, const CodePage& codePage) {
  bool unicode = !IsAscii(target);
  uint32_t headerSize = unicode ? kLinkInfoHeaderSizeUnicode : kLinkInfoHeaderSize;
  uint32_t volumeIdSize = kVolumeIdHeaderSize + 1;
  uint32_t volumeIdOffset = headerSize;
  uint32_t localBasePathOffset = volumeIdOffset + volumeIdSize;
  uint32_t suffixOffset = localBasePathOffset + static_cast<uint32_t>(target.size()) + 1;
  std::u16string wideTarget = unicode ? codePage.toWide(target) : std::u16string();
  uint32_t localBasePathUnicodeOffset = suffixOffset + 1;
  uint32_t suffixUnicodeOffset =
      localBasePathUnicodeOffset + 2 * (static_cast<uint32_t>(wideTarget.size()) + 1);
  uint32_t size = unicode ? suffixUnicodeOffset + 2 : suffixOffset + 1;

  std::string out;
  PutU32(&out, size);
  PutU32(&out, headerSize);
  PutU32(&out, kVolumeIdAndLocalBasePath);
  PutU32(&out, volumeIdOffset);
  PutU32(&out, localBasePathOffset);
  PutU32(&out, 0);  // CommonNetworkRelativeLinkOffset
  PutU32(&out, suffixOffset);
  if (unicode) {
    PutU32(&out, localBasePathUnicodeOffset);
    PutU32(&out, suffixUnicodeOffset);
  }
  PutU32(&out, volumeIdSize);
  PutU32(&out, kDriveFixed);
  PutU32(&out, 0);  // DriveSerialNumber
  PutU32(&out, kVolumeIdHeaderSize);
  out += '\0';  // empty volume label
  out += target;
  out += '\0';
  out += '\0';  // CommonPathSuffix
  if (unicode) {
    PutWide(&out, wideTarget);
    PutU16(&out, 0);
    PutU16(&out, 0);
  }
  return out;
}

bool PutStringData(std::string* out, const std::string& text, const CodePage& codePage) {
  std::u16string wide = codePage.toWide(text);
  if (wide.size() > 0xFFFF) return false;
  PutU16(out, static_cast<uint16_t>(wide.size()));
  PutWide(out, wide);
  return true;
}

// ---- reading ----

// A bounds-checked little-endian view of [begin, end) of the file.
class Reader {
 public:
  Reader(const std::string& bytes, size_t begin, size_t end)
      : m_data(reinterpret_cast<const unsigned char*>(bytes.data())), m_pos(begin), m_end(end) {}

  size_t pos() const { return m_pos; }
  size_t left() const { return m_end - m_pos; }

  bool U16(uint16_t* v) {
    if (left() < 2) return false;
    *v = static_cast<uint16_t>(m_data[m_pos] | (m_data[m_pos + 1] << 8));
    m_pos += 2;
    return true;
  }
  bool U32(uint32_t* v) {
    if (left() < 4) return false;
    *v = 0;
    for (int k = 3; k >= 0; --k) *v = (*v << 8) | m_data[m_pos + k];
    m_pos += 4;
    return true;
  }
  bool U64(uint64_t* v) {
    uint32_t lo, hi;
    if (!U32(&lo) || !U32(&hi)) return false;
    *v = (static_cast<uint64_t>(hi) << 32) | lo;
    return true;
  }
  bool Skip(size_t n) {
    if (left() < n) return false;
    m_pos += n;
    return true;
  }
  bool Bytes(size_t n, std::string* out) {
    if (left() < n) return false;
    out->assign(reinterpret_cast<const char*>(m_data + m_pos), n);
    m_pos += n;
    return true;
  }
  bool Wide(size_t count, std::u16string* out) {
    if (count > left() / 2) return false;
    out->clear();
    for (size_t k = 0; k < count; ++k) {
      uint16_t c = 0;
      U16(&c);
      out->push_back(static_cast<char16_t>(c));
    }
    return true;
  }

 private:
  const unsigned char* m_data;
  size_t m_pos;
  size_t m_end;
};

// A NUL-terminated narrow string that starts at `offset` and ends before `end`.
bool NarrowAt(const std::string& bytes, size_t offset, size_t end, std::string* out) {
  if (offset >= end) return false;
  const void* nul = memchr(bytes.data() + offset, '\0', end - offset);
  if (!nul) return false;
  out->assign(bytes.data() + offset, static_cast<const char*>(nul) - (bytes.data() + offset));
  return true;
}

// The same for a NUL-terminated UTF-16 string.
bool WideAt(const std::string& bytes, size_t offset, size_t end, std::u16string* out) {
  out->clear();
  Reader r(bytes, offset, end);
  if (offset >= end) return false;
  for (;;) {
    uint16_t c;
    if (!r.U16(&c)) return false;
    if (c == 0) return true;
    out->push_back(static_cast<char16_t>(c));
  }
}

// Reads the LinkInfo at `start` and moves `*next` past it.
bool DecodeLinkInfo(const std::string& bytes, size_t start, const CodePage& codePage,
                    std::string* target, size_t* next) {
  Reader r(bytes, start, bytes.size());
  uint32_t size, headerSize, flags, volumeIdOffset, localBasePathOffset, networkOffset,
      suffixOffset;
  if (!r.U32(&size) || size < kLinkInfoHeaderSize || size > bytes.size() - start) return false;
  size_t end = start + size;
  r = Reader(bytes, start + 4, end);
  if (!r.U32(&headerSize) || !r.U32(&flags) || !r.U32(&volumeIdOffset) ||
      !r.U32(&localBasePathOffset) || !r.U32(&networkOffset) || !r.U32(&suffixOffset)) {
    return false;
  }
  if (headerSize < kLinkInfoHeaderSize || headerSize > size) return false;
  uint32_t localBasePathUnicodeOffset = 0;
  uint32_t suffixUnicodeOffset = 0;
  if (headerSize >= kLinkInfoHeaderSizeUnicode) {
    if (!r.U32(&localBasePathUnicodeOffset) || !r.U32(&suffixUnicodeOffset)) return false;
  }

  std::string suffix;
  std::u16string wideSuffix;
  if (flags & (kVolumeIdAndLocalBasePath | kCommonNetworkRelativeLinkAndPathSuffix)) {
    if (!NarrowAt(bytes, start + size_t{suffixOffset}, end, &suffix)) return false;
    if (suffixUnicodeOffset &&
        !WideAt(bytes, start + size_t{suffixUnicodeOffset}, end, &wideSuffix)) {
      return false;
    }
  }

  target->clear();
  if (flags & kVolumeIdAndLocalBasePath) {
    // VolumeID: its size covers at least its four fields, and it lies inside.
    Reader v(bytes, start + size_t{volumeIdOffset}, end);
    uint32_t volumeIdSize;
    if (volumeIdOffset >= size || !v.U32(&volumeIdSize) || volumeIdSize <= kVolumeIdHeaderSize ||
        volumeIdSize > size - volumeIdOffset) {
      return false;
    }
    std::string base;
    if (!NarrowAt(bytes, start + size_t{localBasePathOffset}, end, &base)) return false;
    if (localBasePathUnicodeOffset) {
      std::u16string wideBase;
      if (!WideAt(bytes, start + size_t{localBasePathUnicodeOffset}, end, &wideBase)) return false;
      if (suffixUnicodeOffset) {
        *target = codePage.toNarrow(wideBase + wideSuffix);
      } else {
        *target = codePage.toNarrow(wideBase) + suffix;
      }
    } else {
      *target = base + suffix;
    }
  } else if (flags & kCommonNetworkRelativeLinkAndPathSuffix) {
    Reader n(bytes, start + size_t{networkOffset}, end);
    uint32_t networkSize, networkFlags, netNameOffset;
    if (networkOffset >= size || !n.U32(&networkSize) ||
        networkSize < kCommonNetworkRelativeLinkMinSize || networkSize > size - networkOffset ||
        !n.U32(&networkFlags) || !n.U32(&netNameOffset)) {
      return false;
    }
    std::string netName;
    size_t networkEnd = start + size_t{networkOffset} + networkSize;
    if (!NarrowAt(bytes, start + size_t{networkOffset} + netNameOffset, networkEnd, &netName)) {
      return false;
    }
    *target = suffix.empty() ? netName : netName + "\\" + suffix;
  }
  *next = end;
  return true;
}

}  // namespace

const CodePage kUtf8CodePage = {Utf8ToUtf16, Utf16ToUtf8};

bool EncodeShellLink(const ShellLinkFile& link, const CodePage& codePage, std::string* bytes) {
  uint32_t flags = kIsUnicode;
  if (!link.target.empty()) flags |= kHasLinkInfo;
  if (link.hasDescription) flags |= kHasName;
  if (link.hasArguments) flags |= kHasArguments;
  if (link.hasIconLocation) flags |= kHasIconLocation;

  std::string out;
  PutU32(&out, kHeaderSize);
  out.append(reinterpret_cast<const char*>(kLinkClsid), sizeof kLinkClsid);
  PutU32(&out, flags);
  PutU32(&out, link.fileAttributes);
  PutU64(&out, link.creationTime);
  PutU64(&out, link.accessTime);
  PutU64(&out, link.writeTime);
  PutU32(&out, link.fileSize);
  PutU32(&out, static_cast<uint32_t>(link.iconIndex));
  PutU32(&out, link.showCommand);
  PutU16(&out, 0);  // HotKey
  PutU16(&out, 0);  // Reserved1
  PutU32(&out, 0);  // Reserved2
  PutU32(&out, 0);  // Reserved3

  if (flags & kHasLinkInfo) out += EncodeLinkInfo(link.target, codePage);
  // StringData, in the order the format fixes.
  if (link.hasDescription && !PutStringData(&out, link.description, codePage)) return false;
  if (link.hasArguments && !PutStringData(&out, link.arguments, codePage)) return false;
  if (link.hasIconLocation && !PutStringData(&out, link.iconLocation, codePage)) return false;
  PutU32(&out, 0);  // TerminalBlock: no ExtraData
  *bytes = std::move(out);
  return true;
}

bool DecodeShellLink(const std::string& bytes, const CodePage& codePage, ShellLinkFile* link) {
  ShellLinkFile result;
  Reader r(bytes, 0, bytes.size());
  uint32_t headerSize, flags;
  std::string clsid;
  if (!r.U32(&headerSize) || headerSize != kHeaderSize || !r.Bytes(16, &clsid) ||
      memcmp(clsid.data(), kLinkClsid, 16) != 0 || !r.U32(&flags) ||
      !r.U32(&result.fileAttributes) || !r.U64(&result.creationTime) ||
      !r.U64(&result.accessTime) || !r.U64(&result.writeTime) || !r.U32(&result.fileSize)) {
    return false;
  }
  uint32_t iconIndex;
  if (!r.U32(&iconIndex) || !r.U32(&result.showCommand) || !r.Skip(2 + 2 + 4 + 4)) return false;
  result.iconIndex = static_cast<int32_t>(iconIndex);

  if (flags & kHasLinkTargetIdList) {
    // An IDList: ItemIDs, each counting its own two size bytes, up to a zero.
    uint16_t listSize;
    if (!r.U16(&listSize) || r.left() < listSize) return false;
    Reader items(bytes, r.pos(), r.pos() + listSize);
    for (;;) {
      uint16_t itemSize;
      if (!items.U16(&itemSize)) return false;
      if (itemSize == 0) break;
      if (itemSize < 2 || !items.Skip(itemSize - 2u)) return false;
    }
    r.Skip(listSize);
  }

  if (flags & kHasLinkInfo) {
    size_t next;
    if (!DecodeLinkInfo(bytes, r.pos(), codePage, &result.target, &next)) return false;
    r.Skip(next - r.pos());
  }

  bool unicode = (flags & kIsUnicode) != 0;
  auto stringData = [&](std::string* out) {
    uint16_t count;
    if (!r.U16(&count)) return false;
    if (!unicode) return r.Bytes(count, out);
    std::u16string wide;
    if (!r.Wide(count, &wide)) return false;
    *out = codePage.toNarrow(wide);
    return true;
  };
  std::string unused;
  result.hasDescription = (flags & kHasName) != 0;
  result.hasArguments = (flags & kHasArguments) != 0;
  result.hasIconLocation = (flags & kHasIconLocation) != 0;
  if (result.hasDescription && !stringData(&result.description)) return false;
  if ((flags & kHasRelativePath) && !stringData(&unused)) return false;
  if ((flags & kHasWorkingDir) && !stringData(&unused)) return false;
  if (result.hasArguments && !stringData(&result.arguments)) return false;
  if (result.hasIconLocation && !stringData(&result.iconLocation)) return false;

  // ExtraData: blocks that count their own size, up to a TerminalBlock (< 4).
  for (;;) {
    uint32_t blockSize;
    if (!r.U32(&blockSize)) return false;
    if (blockSize < 4) break;
    if (blockSize - 4 > r.left()) return false;
    r.Skip(blockSize - 4);
  }
  *link = std::move(result);
  return true;
}

}  // namespace platform
