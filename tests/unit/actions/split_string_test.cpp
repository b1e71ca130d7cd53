#include "actions/split_string.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> Split(const std::string& text, const char* separators = ",",
                               const char* trim = " \t") {
  std::vector<std::string> items = {"left over"};
  int count = SplitString(items, text, separators, trim);
  EXPECT_EQ(count, static_cast<int>(items.size()));
  return items;
}

using Items = std::vector<std::string>;

}  // namespace

TEST(SplitString, ItemsAreTrimmedAndEmptyItemsKept) {
  EXPECT_EQ(Split("a, b ,,c"), (Items{"a", "b", "", "c"}));
  EXPECT_EQ(Split("\t a\t,\tb \t"), (Items{"a", "b"}));
  EXPECT_EQ(Split(",,"), (Items{"", "", ""}));
}

TEST(SplitString, AlwaysAtLeastOneItem) {
  EXPECT_EQ(Split(""), (Items{""}));
  EXPECT_EQ(Split("   "), (Items{""}));
  EXPECT_EQ(Split("x,"), (Items{"x", ""}));
  EXPECT_EQ(Split(" , "), (Items{"", ""}));
}

TEST(SplitString, EverySeparatorCharacterCutsAndOnlyTrimCharactersGo) {
  EXPECT_EQ(Split("a;b,c", ",;"), (Items{"a", "b", "c"}));
  // A blank is kept inside an item and when it is not in the trim set.
  EXPECT_EQ(Split(" a b ,c", ",", "\t"), (Items{" a b ", "c"}));
  // The trim set works at both ends of the whole text as well.
  EXPECT_EQ(Split("**a*,*b**", ",", "*"), (Items{"a", "b"}));
}

TEST(SplitString, OutputArrayIsEmptiedFirst) {
  std::vector<std::string> items = {"old", "older"};
  EXPECT_EQ(SplitString(items, "new", ",", " "), 1);
  EXPECT_EQ(items, (Items{"new"}));
}
