// The pace a back-end holds a transfer to when its client has no rule of its
// own: 1,024 bytes in every window, and the deadline.
#include "platform/http_limits.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using Arrivals = std::vector<std::pair<uint64_t, int64_t>>;  // bytes, at ms

// The index of the arrival at which the transfer is given up; -1 when never.
int GivenUpAt(const Arrivals& arrivals, int64_t deadline = platform::TransferPace::kNoDeadline) {
  platform::TransferPace pace(1000, 30, deadline);
  for (size_t i = 0; i < arrivals.size(); ++i) {
    if (!pace.Arrived(arrivals[i].first, arrivals[i].second)) return static_cast<int>(i);
  }
  return -1;
}

TEST(TransferPace, FewerThan1024BytesInAWindowGiveTheTransferUp) {
  const struct {
    const char* what;
    Arrivals arrivals;
    int64_t deadline;
    int givenUpAt;
  } cases[] = {
      {"fast", {{4096, 1001}, {4096, 1002}, {4096, 90000}}, platform::TransferPace::kNoDeadline, 2},
      {"1024 in each window",
       {{1024, 30999}, {1024, 60998}, {1024, 90997}},
       platform::TransferPace::kNoDeadline,
       -1},
      {"one byte short", {{1023, 20000}, {1, 31000}}, platform::TransferPace::kNoDeadline, 1},
      // Given up at the byte that comes 30 s after the start.
      {"trickle of 20 bytes a second", {}, platform::TransferPace::kNoDeadline, 30 * 20 - 1},
      {"bytes above 1024 start no credit",
       {{3000, 2000}, {100, 31999}, {100, 32001}},
       platform::TransferPace::kNoDeadline,
       2},
      {"deadline",
       {{4096, 2000},
        {4096, 31000},
        {4096, 60000},
        {4096, 89000},
        {4096, 118000},
        {4096, 120999},
        {4096, 121000}},
       121000,
       6},
  };
  for (const auto& c : cases) {
    Arrivals arrivals = c.arrivals;
    if (arrivals.empty()) {
      for (int i = 1; i <= 40 * 20; ++i) arrivals.push_back({1, 1000 + i * 50});
    }
    EXPECT_EQ(GivenUpAt(arrivals, c.deadline), c.givenUpAt) << c.what;
  }
}

}  // namespace
