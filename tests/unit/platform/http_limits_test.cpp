#include "platform/http_limits.h"

#include <gtest/gtest.h>

namespace {

TEST(RedirectAllowed, OnlyToHttpOrHttpsAndNeverFromHttpsDownToHttp) {
  struct Case {
    const char* from;
    const char* to;
    bool allowed;
  } cases[] = {
      {"http://a/x", "http://b/y", true},     {"http://a/x", "HTTPS://b/y", true},
      {"https://a/x", "https://b/y", true},   {"https://a/x", "http://b/y", false},
      {"HTTPS://a/x", "Http://a/x", false},   {"http://a/x", "ftp://b/y", false},
      {"http://a/x", "file:///etc/x", false}, {"http://a/x", "http:b", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::RedirectAllowed(c.from, c.to), c.allowed) << c.from << " -> " << c.to;
  }
}

}  // namespace
