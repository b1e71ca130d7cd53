#include "platform/command_line.h"

namespace platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<ProgramChoice> ProgramChoices(const std::string& commandLine) {
  std::vector<ProgramChoice> choices;
  size_t start = 0;
  while (start < commandLine.size() && IsBlank(commandLine[start])) ++start;
  if (start == commandLine.size()) return choices;

  if (commandLine[start] == '"') {
    size_t close = commandLine.find('"', start + 1);
    ProgramChoice choice;
    if (close == std::string::npos) {
      choice.program = commandLine.substr(start + 1);
    } else {
      choice.program = commandLine.substr(start + 1, close - start - 1);
      choice.arguments = commandLine.substr(close + 1);
    }
    if (!choice.program.empty()) choices.push_back(choice);
    return choices;
  }

  size_t end = start;
  while (end < commandLine.size()) {
    if (IsBlank(commandLine[end])) {
      choices.push_back({commandLine.substr(start, end - start), commandLine.substr(end)});
      while (end < commandLine.size() && IsBlank(commandLine[end])) ++end;
    } else {
      ++end;
    }
  }
  // The whole line, unless it ended in blanks and its last cut already is it.
  if (!IsBlank(commandLine.back())) choices.push_back({commandLine.substr(start), std::string()});
  return choices;
}

std::vector<std::string> SplitArguments(const std::string& text) {
  std::vector<std::string> args;
  std::string current;
  bool inArgument = false;
  bool quoted = false;
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (IsBlank(c) && !quoted) {
      if (inArgument) args.push_back(current);
      current.clear();
      inArgument = false;
      ++i;
      continue;
    }
    inArgument = true;
    if (c == '\\') {
      size_t run = text.find_first_not_of('\\', i);
      if (run == std::string::npos) run = text.size();
      size_t count = run - i;
      if (run < text.size() && text[run] == '"') {
        current.append(count / 2, '\\');
        if (count % 2) {
          current += '"';
          i = run + 1;
        } else {
          i = run;  // the quote acts on the next pass
        }
      } else {
        current.append(count, '\\');
        i = run;
      }
      continue;
    }
    if (c == '"') {
      if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
        current += '"';
        i += 2;
      } else {
        quoted = !quoted;
        ++i;
      }
      continue;
    }
    current += c;
    ++i;
  }
  if (inArgument) args.push_back(current);
  return args;
}

}  // namespace platform
