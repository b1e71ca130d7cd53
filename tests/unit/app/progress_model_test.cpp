#include "app/progress_model.h"

#include <gtest/gtest.h>

TEST(ProgressModel, RangeOnlyChangesWhenPositiveAndPositionAboveRangeIsFull) {
  ProgressModel bar;
  bar.Apply(0, 400000);
  EXPECT_EQ(bar.Range(), 400000);
  bar.Apply(200000, -1);
  EXPECT_DOUBLE_EQ(bar.Fraction(), 0.5);
  bar.Apply(3, 0);
  EXPECT_EQ(bar.Range(), 400000);
  EXPECT_EQ(bar.Position(), 3);
  bar.Apply(500000, -1);
  EXPECT_DOUBLE_EQ(bar.Fraction(), 1.0);
}
