// The one reading of Content-Length that both back-ends and the bar share.
#include "platform/content_length.h"

#include <gtest/gtest.h>

namespace {

TEST(ContentLength, LeadingDigitsOrNoLength) {
  struct Case {
    const char* szText;
    bool bHasLength;
    uint64_t nLength;
  } cases[] = {
      {"0", true, 0},
      {"1234", true, 1234},
      {"  77", true, 77},
      {"12abc", true, 12},
      {"1099511627776", true, 1099511627776ull},
      {"99999999999999999999999", true, UINT64_MAX},
      {"-5", false, 0},
      {"-0", false, 0},
      {"", false, 0},
      {"abc", false, 0},
      {"+5", false, 0},
  };
  for (const Case& c : cases) {
    uint64_t length = 42;
    EXPECT_EQ(platform::ParseContentLength(c.szText, &length), c.bHasLength) << c.szText;
    if (c.bHasLength) {
      EXPECT_EQ(length, c.nLength) << c.szText;
    }
    // A header that was sent but gives no length refuses the answer.
    EXPECT_EQ(platform::ContentLengthIsMalformed(c.szText), !c.bHasLength && *c.szText) << c.szText;
  }
  // A negative length is no length, so no body is short of it.
  EXPECT_FALSE(platform::BodyEndedShort("-5", 3));
  EXPECT_FALSE(platform::BodyEndedShort("", 0));
  EXPECT_TRUE(platform::BodyEndedShort("10", 9));
  EXPECT_FALSE(platform::BodyEndedShort("10", 10));
}

}  // namespace
