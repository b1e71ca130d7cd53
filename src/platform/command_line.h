// Reading a Windows command line into a program and its arguments, for the
// back-ends whose processes take an argument vector rather than one line.
#pragma once

#include <string>
#include <vector>

namespace platform {

// One reading of where the program ends: its path and the text after it.
struct ProgramChoice {
  std::string program;
  std::string arguments;
};

// The readings CreateProcess tries, in order. A program in double quotes is
// the text up to the closing quote (the arguments start right after it). An
// unquoted one is cut at each run of blanks in turn and finally taken whole,
// so "/opt/my prog/run a" tries "/opt/my", then "/opt/my prog/run", then
// "/opt/my prog/run a". Empty for a line without a program.
std::vector<ProgramChoice> ProgramChoices(const std::string& commandLine);

// The arguments as the Windows C runtime splits them: blanks (space, tab)
// outside double quotes separate; a quote toggles quoting and is dropped; ""
// inside quotes is one literal quote; backslashes are literal except before a
// quote, where 2n of them give n and the quote acts, and 2n+1 give n and a
// literal quote.
std::vector<std::string> SplitArguments(const std::string& text);

}  // namespace platform
