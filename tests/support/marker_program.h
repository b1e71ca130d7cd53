// A real program that waits, then writes a line to a marker file: /bin/sh on
// POSIX, test_window.exe on Windows.
#pragma once

#include <string>

struct MarkerCommand {
  std::string szProgram;
  std::string szArguments;
};

// The program and its arguments that wait `seconds`, then write "<text>\n".
MarkerCommand MarkerProgram(double seconds, const std::string& marker, const std::string& text);

// The program and its arguments that end at once with `code`.
MarkerCommand ExitingProgram(int code);

// Writes into `folder` a program file that does the same, the arguments it is
// started with following the text, and returns that path.
std::string WriteMarkerScript(const std::string& folder, double seconds, const std::string& marker,
                              const std::string& text);

// Plants a program at `path` (with ".exe" on Windows) that is never meant to
// run; returns the file that it writes whenever it is started.
std::string PlantDecoy(const std::string& path);
