// The update log: updater.log in the current directory, one line per call.
#pragma once

#include <string>

// Appends the message and CR LF to updater.log (opened and closed per call; a
// log that cannot be opened drops the line silently). When `show` is set, the
// main window's status line shows the message first.
void WriteLog(const std::string& message, bool show);
