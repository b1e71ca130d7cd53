// updater-reg: the updater's registry from the command line, with the syntax
// of Windows reg.exe for add, query, delete, export and import.
#include <cstdio>
#include <string>

#include "commands.h"
#include "env/mbstring.h"
#include "reg_texts.h"

int main(int argc, char** argv) {
  Arguments args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "/?" || args[0] == "-?") {
    fputs(regtexts::kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? 1 : 0;
  }
  std::string operation = MbsLower(args[0]);
  args.erase(args.begin());
  for (const std::string& arg : args) {
    if (arg == "/?" || arg == "-?") {
      fputs(regtexts::kUsage, stdout);
      return 0;
    }
  }
  if (operation == "add") return RunAdd(args);
  if (operation == "query") return RunQuery(args);
  if (operation == "delete") return RunDelete(args);
  if (operation == "export") return RunExport(args);
  if (operation == "import") return RunImport(args);
  fprintf(stderr, "%s\n", regtexts::kInvalidSyntax);
  fputs(regtexts::kUsage, stderr);
  return 1;
}
