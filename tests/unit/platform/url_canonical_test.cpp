#include "platform/url_canonical.h"

#include <gtest/gtest.h>

namespace {

std::string Canonical(const std::string& url, size_t capacity = 1024) {
  std::string out = "(unchanged)";
  if (!platform::BrowserCanonicalUrl(url, capacity, &out)) return "(malformed)";
  return out;
}

TEST(BrowserCanonicalUrl, UnsafeBytesOfThePathAreEncodedAndTheQueryIsLeftAlone) {
  EXPECT_EQ(Canonical("http://h/a b.zip"), "http://h/a%20b.zip");
  EXPECT_EQ(Canonical("http://h/a\tb\x7f"), "http://h/a%09b%7F");
  EXPECT_EQ(Canonical("http://h/<\"{}|\\^`>"), "http://h/%3C%22%7B%7D%7C%5C%5E%60%3E");
  EXPECT_EQ(Canonical("http://h/\xe6\x9b\xb4\xe6\x96\xb0.zip"), "http://h/%E6%9B%B4%E6%96%B0.zip");
  // Already encoded text and reserved characters stay.
  EXPECT_EQ(Canonical("http://h/a%20b;c=d,e+f@g!$&'()*:~"), "http://h/a%20b;c=d,e+f@g!$&'()*:~");
  EXPECT_EQ(Canonical("http://h/a b?x=1 2&y=<>#frag ment"), "http://h/a%20b?x=1 2&y=<>#frag ment");
  EXPECT_EQ(Canonical("http://h/a b#x y?z"), "http://h/a%20b#x y?z");
}

TEST(BrowserCanonicalUrl, DotSegmentsAreResolvedInThePathOnly) {
  EXPECT_EQ(Canonical("http://h/a/b/../c/./d"), "http://h/a/c/d");
  EXPECT_EQ(Canonical("http://h/a/b/.."), "http://h/a/");
  EXPECT_EQ(Canonical("http://h/a/."), "http://h/a/");
  EXPECT_EQ(Canonical("http://h/../../x"), "http://h/x");
  EXPECT_EQ(Canonical("http://h/.."), "http://h/");
  EXPECT_EQ(Canonical("http://h/a/../"), "http://h/");
  EXPECT_EQ(Canonical("http://h/a//b/.x/..y"), "http://h/a//b/.x/..y");
  EXPECT_EQ(Canonical("http://h/a/..?p=/../x"), "http://h/?p=/../x");
}

TEST(BrowserCanonicalUrl, SchemeAndHostAreLowerCasedAndAnEmptyPathIsTheRoot) {
  EXPECT_EQ(Canonical("HTTPS://Download.Example.COM:8443"), "https://download.example.com:8443/");
  EXPECT_EQ(Canonical("http://User:PW@Host?q"), "http://User:PW@host/?q");
  EXPECT_EQ(Canonical("http://[::1]:8080/A"), "http://[::1]:8080/A");
  EXPECT_EQ(Canonical("http://127.0.0.1/x"), "http://127.0.0.1/x");
}

TEST(BrowserCanonicalUrl, MalformedUrlsAreRefused) {
  for (const char* url : {"",
                          "h/x",
                          "://h/x",
                          "1http://h/",
                          "ftp://h/x",
                          "file:///etc/passwd",
                          "http:h/x",
                          "http:/h/x",
                          "http://",
                          "http:///x",
                          "http://h:/x",
                          "http://h:0/x",
                          "http://h:65536/x",
                          "http://h:8a/x",
                          "http://h h/x",
                          "http://h\xe6/x",
                          "http://[::1/x",
                          "http://[]/x",
                          "http://u ser@h/x",
                          "http://h%41/x"}) {
    EXPECT_EQ(Canonical(url), "(malformed)") << url;
  }
  EXPECT_EQ(Canonical(std::string("http://h/a\0b", 12)), "(malformed)");
}

TEST(BrowserCanonicalUrl, CanonicalFormMustFitTheBufferWithItsZero) {
  EXPECT_EQ(Canonical("http://h/ab", 12), "http://h/ab");
  EXPECT_EQ(Canonical("http://h/abc", 12), "(malformed)");
  // The encoded form is what must fit: 11 bytes of input grow to 13.
  EXPECT_EQ(Canonical("http://h/a ", 12), "(malformed)");
  std::string out = "kept";
  EXPECT_FALSE(platform::BrowserCanonicalUrl("http://h/abc", 12, &out));
  EXPECT_EQ(out, "kept");
}

TEST(RequestTargetUrl, SpacesAndControlBytesAfterTheQueryMarkGoOutEncoded) {
  EXPECT_EQ(platform::RequestTargetUrl("http://h/a%20b?x=1 2\x01&y=\xe6"),
            "http://h/a%20b?x=1%202%01&y=\xe6");
}

}  // namespace
