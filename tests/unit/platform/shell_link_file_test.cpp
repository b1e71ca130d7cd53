#include "platform/shell_link_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using platform::DecodeShellLink;
using platform::EncodeShellLink;
using platform::kUtf8CodePage;
using platform::ShellLinkFile;

uint32_t U32At(const std::string& b, size_t at) {
  uint32_t v = 0;
  for (int k = 3; k >= 0; --k) v = (v << 8) | static_cast<unsigned char>(b[at + k]);
  return v;
}

// UTF-8 texts (u8) on every platform: the links are decoded as UTF-8 here.
ShellLinkFile FullLink() {
  ShellLinkFile link;
  link.target = u8"/opt/更新/velmar acc";
  link.description = u8"Velmar Acc 说明 \xF0\x9F\x98\x80";  // with a character beyond the BMP
  link.hasDescription = true;
  link.arguments = "-auto \"C:\\x y\"";
  link.hasArguments = true;
  link.iconLocation = "/opt/velmar/icon.ico";
  link.hasIconLocation = true;
  link.iconIndex = -3;
  link.fileAttributes = 0x20;
  link.writeTime = 0x01D0000012345678ull;
  link.fileSize = 4096;
  return link;
}

std::string Encoded(const ShellLinkFile& link) {
  std::string bytes;
  EXPECT_TRUE(EncodeShellLink(link, kUtf8CodePage, &bytes));
  return bytes;
}

// A little-endian byte writer for links made the way other tools make them.
struct Bytes {
  std::string b;
  Bytes& u16(uint16_t v) {
    b += static_cast<char>(v & 0xFF);
    b += static_cast<char>(v >> 8);
    return *this;
  }
  Bytes& u32(uint32_t v) {
    for (int k = 0; k < 4; ++k) b += static_cast<char>((v >> (8 * k)) & 0xFF);
    return *this;
  }
  Bytes& raw(const std::string& s) {
    b += s;
    return *this;
  }
  Bytes& zeros(size_t n) {
    b.append(n, '\0');
    return *this;
  }
  // A header with these flags and everything else zero.
  Bytes& header(uint32_t flags) {
    static const unsigned char kClsid[16] = {0x01, 0x14, 0x02, 0, 0, 0, 0, 0,
                                             0xC0, 0,    0,    0, 0, 0, 0, 0x46};
    u32(0x4C);
    b.append(reinterpret_cast<const char*>(kClsid), 16);
    u32(flags);
    return zeros(0x4C - 24);
  }
};

TEST(ShellLinkFile, WritesTheDocumentedHeaderAndReadsEveryPropertyBack) {
  ShellLinkFile link = FullLink();
  std::string bytes = Encoded(link);
  ASSERT_GT(bytes.size(), 0x4Cu);
  EXPECT_EQ(U32At(bytes, 0), 0x4Cu);
  const unsigned char clsid[16] = {0x01, 0x14, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
  EXPECT_EQ(memcmp(bytes.data() + 4, clsid, 16), 0);
  // HasLinkInfo, HasName, HasArguments, HasIconLocation, IsUnicode.
  EXPECT_EQ(U32At(bytes, 0x14), 0x02u | 0x04u | 0x20u | 0x40u | 0x80u);
  EXPECT_EQ(U32At(bytes, 0x18), 0x20u);
  EXPECT_EQ(U32At(bytes, 0x34), 4096u);
  EXPECT_EQ(static_cast<int32_t>(U32At(bytes, 0x38)), -3);
  EXPECT_EQ(U32At(bytes, 0x3C), 1u) << "SW_SHOWNORMAL";
  // The LinkInfo's LocalBasePath holds the target in the system code page.
  EXPECT_NE(bytes.find(std::string(u8"/opt/更新/velmar acc") + '\0'), std::string::npos);

  ShellLinkFile back;
  ASSERT_TRUE(DecodeShellLink(bytes, kUtf8CodePage, &back));
  EXPECT_EQ(back.target, link.target);
  EXPECT_EQ(back.description, link.description);
  EXPECT_EQ(back.arguments, link.arguments);
  EXPECT_EQ(back.iconLocation, link.iconLocation);
  EXPECT_EQ(back.iconIndex, -3);
  EXPECT_EQ(back.writeTime, link.writeTime);
  EXPECT_TRUE(back.hasDescription && back.hasArguments && back.hasIconLocation);

  ShellLinkFile bare;
  bare.target = "/bin/true";
  ASSERT_TRUE(DecodeShellLink(Encoded(bare), kUtf8CodePage, &back));
  EXPECT_EQ(back.target, "/bin/true");
  EXPECT_FALSE(back.hasDescription || back.hasArguments || back.hasIconLocation);
  EXPECT_EQ(U32At(Encoded(bare), 0x14), 0x82u);
}

TEST(ShellLinkFile, EveryTruncationAndEveryCorruptedByteIsSafe) {
  std::string bytes = Encoded(FullLink());
  ShellLinkFile back;
  for (size_t n = 0; n < bytes.size(); ++n) {
    EXPECT_FALSE(DecodeShellLink(bytes.substr(0, n), kUtf8CodePage, &back)) << n << " bytes";
  }
  // Any single byte changed: the reader may accept or refuse, never overrun
  // (the sanitizer build watches).
  for (size_t i = 0; i < bytes.size(); ++i) {
    for (unsigned char v : {0x00, 0x7F, 0xFF}) {
      std::string corrupt = bytes;
      corrupt[i] = static_cast<char>(v);
      DecodeShellLink(corrupt, kUtf8CodePage, &back);
    }
  }
}

TEST(ShellLinkFile, MalformedStructuresAreRefused) {
  std::string good = Encoded(FullLink());
  ShellLinkFile back;
  auto refused = [&](std::string bytes) { return !DecodeShellLink(bytes, kUtf8CodePage, &back); };
  std::string b = good;
  b[0] = 0x4D;  // HeaderSize
  EXPECT_TRUE(refused(b));
  b = good;
  b[4] ^= 1;  // LinkCLSID
  EXPECT_TRUE(refused(b));
  b = good;
  b[0x4C] = '\xFF';  // LinkInfoSize past the end
  b[0x4D] = '\xFF';
  EXPECT_TRUE(refused(b));
  b = good;
  b[0x4C + 0x10] = '\xF0';  // LocalBasePathOffset outside the LinkInfo
  EXPECT_TRUE(refused(b));

  // A LocalBasePath without its terminating zero inside the LinkInfo.
  Bytes unterminated;
  unterminated.header(0x02)
      .u32(0x1C + 0x11 + 3)
      .u32(0x1C)
      .u32(1)
      .u32(0x1C)
      .u32(0x1C + 0x11)
      .u32(0)
      .u32(0x1C + 0x11)
      .u32(0x11)
      .u32(3)
      .u32(0)
      .u32(0x10)
      .zeros(1)
      .raw("abc")
      .u32(0);
  EXPECT_TRUE(refused(unterminated.b));
  // A VolumeID too small to hold its own fields.
  Bytes smallVolume;
  smallVolume.header(0x02)
      .u32(0x1C + 0x10 + 2)
      .u32(0x1C)
      .u32(1)
      .u32(0x1C)
      .u32(0x1C + 0x10)
      .u32(0)
      .u32(0x1C + 0x11)
      .u32(0x10)
      .u32(3)
      .u32(0)
      .u32(0x10)
      .raw(std::string("x\0\0", 2))
      .u32(0);
  EXPECT_TRUE(refused(smallVolume.b));
  // A StringData count beyond the file.
  Bytes longString;
  longString.header(0x04 | 0x80).u16(500).raw("ab").u32(0);
  EXPECT_TRUE(refused(longString.b));
  // An IDList item that claims more than the list holds.
  Bytes badIdList;
  badIdList.header(0x01).u16(4).u16(9).u16(0).u32(0);
  EXPECT_TRUE(refused(badIdList.b));
  // An ExtraData block that runs past the end, and a missing TerminalBlock.
  Bytes badExtra;
  badExtra.header(0).u32(0x40).zeros(8);
  EXPECT_TRUE(refused(badExtra.b));
  Bytes noTerminal;
  noTerminal.header(0);
  EXPECT_TRUE(refused(noTerminal.b));
}

TEST(ShellLinkFile, ReadsLinksAsOtherToolsWriteThem) {
  ShellLinkFile back;
  // An IDList, a RELATIVE_PATH and a WORKING_DIR before the arguments, an
  // ExtraData block, and a LinkInfo with LocalBasePath plus CommonPathSuffix.
  Bytes full;
  full.header(0x01 | 0x02 | 0x08 | 0x10 | 0x20 | 0x80)
      .u16(6)
      .u16(4)
      .raw("ab")
      .u16(0)  // IDList: one 4-byte item, then the terminator
      .u32(0x1C + 0x11 + 4 + 6)
      .u32(0x1C)
      .u32(1)
      .u32(0x1C)
      .u32(0x1C + 0x11)
      .u32(0)
      .u32(0x1C + 0x11 + 4)
      .u32(0x11)
      .u32(3)
      .u32(0)
      .u32(0x10)
      .zeros(1)
      .raw(std::string("C:\\\0", 4))
      .raw(std::string("a.txt\0", 6));
  full.u16(2).u16('r').u16('p');               // RELATIVE_PATH
  full.u16(3).u16('C').u16(':').u16('\\');     // WORKING_DIR
  full.u16(2).u16('-').u16('x');               // COMMAND_LINE_ARGUMENTS
  full.u32(12).u32(0xA0000003).u32(7).u32(0);  // one ExtraData block, TerminalBlock
  ASSERT_TRUE(DecodeShellLink(full.b, kUtf8CodePage, &back));
  EXPECT_EQ(back.target, "C:\\a.txt");
  EXPECT_EQ(back.arguments, "-x");
  EXPECT_FALSE(back.hasDescription);

  // A network target: share name and suffix; and narrow (not Unicode) strings.
  Bytes network;
  const std::string share("\\\\srv\\pub\0", 10);
  network.header(0x02 | 0x04)
      .u32(0x1C + 0x14 + 10 + 2)
      .u32(0x1C)
      .u32(2)
      .u32(0)
      .u32(0)
      .u32(0x1C)
      .u32(0x1C + 0x14 + 10)
      .u32(0x14 + 10)
      .u32(0)
      .u32(0x14)
      .u32(0)
      .u32(0)
      .raw(share)
      .raw(std::string("a\0", 2));
  network.u16(4).raw("desc").u32(0);
  ASSERT_TRUE(DecodeShellLink(network.b, kUtf8CodePage, &back));
  EXPECT_EQ(back.target, "\\\\srv\\pub\\a");
  EXPECT_EQ(back.description, "desc");
}

TEST(ShellLinkFile, Utf8ConversionReplacesWhatIsNotText) {
  EXPECT_EQ(kUtf8CodePage.toWide("a\xC3\xA9\xE6\x9B\xB4\xF0\x9F\x98\x80"),
            (std::u16string{u'a', 0xE9, 0x66F4, 0xD83D, 0xDE00}));
  EXPECT_EQ(kUtf8CodePage.toWide("\xFF\xC3"), (std::u16string{0xFFFD, 0xFFFD}));
  EXPECT_EQ(kUtf8CodePage.toWide("\xC0\xAF"), (std::u16string{0xFFFD, 0xFFFD})) << "overlong";
  EXPECT_EQ(kUtf8CodePage.toNarrow(std::u16string{u'x', 0xD800, u'y'}), "x\xEF\xBF\xBDy");
  EXPECT_EQ(kUtf8CodePage.toNarrow(std::u16string{0xD83D, 0xDE00}), "\xF0\x9F\x98\x80");
}

TEST(ShellLinkFile, StringsBeyondTheSixteenBitCountAreNotWritten) {
  ShellLinkFile link;
  link.target = "/bin/true";
  link.arguments.assign(70000, 'a');
  link.hasArguments = true;
  std::string bytes;
  EXPECT_FALSE(EncodeShellLink(link, kUtf8CodePage, &bytes));
}

}  // namespace
