#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::ProgramChoices;
using platform::SplitArguments;
using Args = std::vector<std::string>;

TEST(SplitArguments, BlanksSeparateAndQuotesGroup) {
  EXPECT_EQ(SplitArguments(" a  b\tc "), (Args{"a", "b", "c"}));
  EXPECT_EQ(SplitArguments(R"("a b" c)"), (Args{"a b", "c"}));
  EXPECT_EQ(SplitArguments(R"(ab"cd ef"gh)"), (Args{"abcd efgh"}));
  EXPECT_EQ(SplitArguments(R"("" x "")"), (Args{"", "x", ""}));
  EXPECT_EQ(SplitArguments(R"("unterminated  quote)"), (Args{"unterminated  quote"}));
  EXPECT_EQ(SplitArguments(R"("a""b" c)"), (Args{"a\"b", "c"}));
  EXPECT_EQ(SplitArguments("   "), Args{});
  EXPECT_EQ(SplitArguments(""), Args{});
}

TEST(SplitArguments, BackslashesAreLiteralExceptBeforeAQuote) {
  // Not before a quote: every backslash stays.
  EXPECT_EQ(SplitArguments(R"(C:\dir\\x.exe a\)"), (Args{R"(C:\dir\\x.exe)", R"(a\)"}));
  // 2n + quote: n backslashes, and the quote opens or closes.
  EXPECT_EQ(SplitArguments(R"(a\\"b c")"), (Args{R"(a\b c)"}));
  EXPECT_EQ(SplitArguments(R"("C:\dir\\" next)"), (Args{R"(C:\dir\)", "next"}));
  EXPECT_EQ(SplitArguments(R"(a\\\\"b")"), (Args{R"(a\\b)"}));
  // 2n + 1 + quote: n backslashes and a literal quote.
  EXPECT_EQ(SplitArguments(R"(a\"b c)"), (Args{"a\"b", "c"}));
  EXPECT_EQ(SplitArguments(R"(a\\\"b)"), (Args{R"(a\"b)"}));
  EXPECT_EQ(SplitArguments(R"("say \"hi there\"")"), (Args{R"(say "hi there")"}));
}

struct Choice {
  std::string program;
  std::string arguments;
  bool operator==(const Choice& o) const {
    return program == o.program && arguments == o.arguments;
  }
};

std::vector<Choice> Choices(const std::string& line) {
  std::vector<Choice> out;
  for (const auto& c : ProgramChoices(line)) out.push_back({c.program, c.arguments});
  return out;
}

TEST(ProgramChoices, UnquotedPathWithBlanksIsTriedAtEachBlankThenWhole) {
  EXPECT_EQ(Choices(R"(C:\Program Files\x y.exe a)"),
            (std::vector<Choice>{{R"(C:\Program)", R"( Files\x y.exe a)"},
                                 {R"(C:\Program Files\x)", " y.exe a"},
                                 {R"(C:\Program Files\x y.exe)", " a"},
                                 {R"(C:\Program Files\x y.exe a)", ""}}));
  // A run of blanks is one cut; blanks around the line are no part of it.
  EXPECT_EQ(Choices("  prog  a "), (std::vector<Choice>{{"prog", "  a "}, {"prog  a", " "}}));
  EXPECT_EQ(Choices("prog "), (std::vector<Choice>{{"prog", " "}}));
  EXPECT_EQ(Choices("prog"), (std::vector<Choice>{{"prog", ""}}));
}

TEST(ProgramChoices, QuotedProgramIsTheOnlyChoice) {
  EXPECT_EQ(Choices(R"("/opt/my prog/run" a "b c")"),
            (std::vector<Choice>{{"/opt/my prog/run", R"( a "b c")"}}));
  EXPECT_EQ(Choices(R"( "/opt/x"y)"), (std::vector<Choice>{{"/opt/x", "y"}}));
  EXPECT_EQ(Choices(R"("/opt/my prog)"), (std::vector<Choice>{{"/opt/my prog", ""}}));
}

TEST(ProgramChoices, LineWithoutAProgramHasNoChoice) {
  EXPECT_TRUE(Choices("").empty());
  EXPECT_TRUE(Choices(" \t ").empty());
  EXPECT_TRUE(Choices(R"("" a)").empty());
}

}  // namespace
