// The slack LoadManifest leaves after a manifest for the XML parser, which
// reads a few bytes past the end of some texts: shown with a guard page.
#include <gtest/gtest.h>
#include <tinyxml.h>

#include <string>
#include <vector>

#include "support/guarded_text_posix.h"

namespace {

void ParseGuarded(const std::string& bytes) {
  GuardedText guarded;
  TiXmlDocument doc;
  doc.Parse(guarded.Place(bytes));
}

}  // namespace

// The parser reads up to a few bytes past the end of some texts; the zero
// bytes LoadManifest puts after the text are enough for all of them.
TEST(ManifestParserSlack, TheParserReadsPastTheEndAndSixteenZeroBytesHoldIt) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string text = "\xEF\xBB\xBF<updateinfo>\xF0";
  EXPECT_DEATH(ParseGuarded(text + '\0'), "");
  const std::vector<std::string> texts = {text,
                                          "\xEF\xBB\xBF<r a='\xF4",
                                          "<r><!--",
                                          "<r><![CDATA[",
                                          "<r>&#x",
                                          "\xEF\xBB\xBF<r>\xE4",
                                          "\xEF\xBB\xBF<r><![CDATA[\xF0",
                                          "<?xml encoding='\xF0"};
  for (const std::string& t : texts) ParseGuarded(t + std::string(16, '\0'));
}
