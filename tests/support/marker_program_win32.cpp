// For Windows: the marker programs are test_window.exe and a .cmd file that
// starts it.
#include "support/marker_program.h"
#include "support/temp_dir.h"
#include "support/win32/test_programs.h"

namespace {

std::string Milliseconds(double seconds) {
  return std::to_string(static_cast<int>(seconds * 1000));
}

}  // namespace

MarkerCommand MarkerProgram(double seconds, const std::string& marker, const std::string& text) {
  return {"\"" + TestWindowProgram() + "\"",
          "marker " + Milliseconds(seconds) + " \"" + marker + "\" " + text};
}

MarkerCommand ExitingProgram(int code) { return {"cmd.exe", "/c exit " + std::to_string(code)}; }

std::string WriteMarkerScript(const std::string& folder, double seconds, const std::string& marker,
                              const std::string& text) {
  std::string script = folder + "\\start.cmd";
  MarkerCommand command = MarkerProgram(seconds, marker, text);
  WriteFileBytes(script, "@" + command.szProgram + " " + command.szArguments + " %*\r\n");
  return script;
}

std::string PlantDecoy(const std::string& path) {
  std::string program = path + ".exe";
  WriteFileBytes(program, ReadFileBytes(TestWindowProgram()));
  return program + ".ran";
}
