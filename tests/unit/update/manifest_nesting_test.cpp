// The nesting scan against the parser it stands in front of: for texts that
// try to hide elements from a simpler reading, the scan must find exactly the
// depth of the tree the parser builds.
#include "update/manifest_nesting.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <string>
#include <vector>

#include "support/parser_probe.h"

namespace {

int ParsedDepth(const std::string& text) {
  std::string padded = text + std::string(16, '\0');
  TiXmlDocument doc;
  doc.Parse(padded.c_str());
  return XmlTreeDepth(&doc);
}

std::string Nest(int levels, const std::string& open = "<a>", const std::string& close = "</a>") {
  std::string text;
  for (int i = 0; i < levels; ++i) text += open;
  for (int i = 0; i < levels; ++i) text += close;
  return text;
}

}  // namespace

TEST(ManifestNesting, FindsTheDepthOfTheTreeTheParserBuilds) {
  const std::string deep = Nest(30);
  const std::vector<std::string> texts = {
      "<updateinfo version='1.0.0.1'><package><actions><action type='run'/></actions>"
      "</package></updateinfo>",
      // Elements the parser never sees as elements.
      "<r><!-- " + deep + " --></r>",
      "<r><![CDATA[" + deep + "]]></r>",
      "<r a='" + deep + "' b=\"<a><a>/>\"/>",
      "<!DOCTYPE r [ <!ELEMENT a ANY> ]><r/>" + deep,
      // An entity steps over everything between "&#x" and the "x" nearest its
      // ";": here a comment opener that would hide the elements after it.
      "<r>&#x<!--x;" + deep + "</r>",
      "<r a='&#<!--#65;'>" + deep + "</r>",
      // In UTF-8 mode (a byte-order mark, or a declaration naming UTF-8 or no
      // encoding) a lead byte takes the next bytes with it, "<" included.
      "\xEF\xBB\xBF<r>\xE4<!--" + deep + "</r>",
      "<?xml version='1.0' encoding='utf-8'?><r>\xF0<a>x" + deep + "</r>",
      "<?xml version='1.0'?><r>\xE4<!" + deep + "</r>",
      "<?xml version='1.0' encoding='GBK'?><r>\xE4<!--" + deep + "--></r>",
      "<?xml version='1.0' encoding='&#85;TF-8'?><r>\xE4<!--" + deep + "--></r>",
      // Unusual forms the parser still takes.
      "<r><a></a \n><b>" + deep + "</b\t></r>",
      "<r><?xml version='1.0' encoding='x'?>" + deep + "</r>",
      "<r a=b c = \"d\">" + Nest(5, "< a>", "</a>") + "</r>",
      "<r>" + Nest(10, "<a x='1'>", "</a>") + Nest(3, "<b/>", "") + "</r><r2>" + deep + "</r2>",
      "<r><?pi <a><a> ?>" + deep + "</r>",
      // Where the parser stops, whatever follows is not read.
      "<r a='1' a='2'>" + deep + "</r>",
      "<r>" + Nest(3) + "</x>" + deep + "</r>",
      "<r a=b'c>" + deep,
      "<r><a>" + deep,
      "<r>&#xZ;" + deep + "</r>",
      "\xEF\xBB\xBF<r>\xF0",
      "<r><!-- unterminated " + deep,
      "text before <r>" + deep + "</r>",
      // A value or a section that ends the text ends the parse as well.
      "<r a='x'",
      "<r><![CDATA[x]]>",
      "<r>text<",
      "<r></ra>" + deep,
  };
  for (const std::string& text : texts) {
    EXPECT_EQ(ScanManifestNesting(text, 1000).depth, ParsedDepth(text)) << text;
  }
}

TEST(ManifestNesting, TheLimitItselfPassesAndOneLevelMoreIsMarkedWhereItStarts) {
  NestingScan atLimit = ScanManifestNesting(Nest(kMaxManifestDepth), kMaxManifestDepth);
  EXPECT_FALSE(atLimit.tooDeep);
  EXPECT_EQ(atLimit.depth, kMaxManifestDepth);

  NestingScan scan = ScanManifestNesting("<r>\n\t<a>\r\n  <b><c>", 2);
  EXPECT_TRUE(scan.tooDeep);
  EXPECT_EQ(scan.depth, 3);
  EXPECT_EQ(scan.offset, 12u);
  EXPECT_EQ(scan.row, 3);
  EXPECT_EQ(scan.col, 3);
}

TEST(ManifestNesting, AHundredThousandLevelsAreCountedWithoutRecursion) {
  NestingScan scan = ScanManifestNesting(Nest(100000), 200000);
  EXPECT_FALSE(scan.tooDeep);
  EXPECT_EQ(scan.depth, 100000);
  EXPECT_TRUE(ScanManifestNesting(Nest(100000), kMaxManifestDepth).tooDeep);
}

TEST(ManifestNesting, TheTextEndsAtItsFirstZeroByte) {
  std::string text = "<r>" + std::string(1, '\0') + Nest(10) + "</r>";
  EXPECT_EQ(ScanManifestNesting(text, 100).depth, 1);
}
