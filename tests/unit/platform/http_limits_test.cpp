// The pace a back-end holds a transfer to when its client has no rule of its
// own (1,024 bytes in every window of 30 s, and the deadline), and the redirects
// it follows.
#include "platform/http_limits.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

TEST(TransferPace, FewerThan1024BytesInAWindowOrTheDeadlineGiveTheTransferUp) {
  using Arrivals = std::vector<std::pair<uint64_t, int64_t>>;  // bytes, at ms from 0
  Arrivals trickle;                                            // 20 bytes a second
  for (int i = 1; i <= 800; ++i) trickle.push_back({1, i * 50});
  const struct {
    const char* what;
    Arrivals arrivals;
    int64_t deadline;
    int givenUpAt;  // the arrival that gives it up; -1: none
  } cases[] = {
      {"1024 in each window", {{1024, 29999}, {1024, 59998}, {1024, 89997}}, INT64_MAX, -1},
      {"a window without", {{4096, 1}, {4096, 2}, {4096, 30002}}, INT64_MAX, 2},
      {"one byte short", {{1023, 20000}, {1, 30000}}, INT64_MAX, 1},
      {"bytes above 1024 count for nothing later",
       {{3000, 2000}, {100, 31999}, {100, 32000}},
       INT64_MAX,
       2},
      {"20 bytes a second, up at 30 s", trickle, INT64_MAX, 599},
      {"deadline", {{4096, 29000}, {4096, 58000}, {4096, 59999}, {4096, 60000}}, 60000, 3},
  };
  for (const auto& c : cases) {
    platform::TransferPace pace(0, 30, c.deadline);
    int givenUpAt = -1;
    for (size_t i = 0; i < c.arrivals.size() && givenUpAt < 0; ++i) {
      if (!pace.Arrived(c.arrivals[i].first, c.arrivals[i].second)) givenUpAt = static_cast<int>(i);
    }
    EXPECT_EQ(givenUpAt, c.givenUpAt) << c.what;
  }
}

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
