// The status line holds one line, as the Windows dialog's status control shows
// it: a message ending in a line feed (a parser error, say) shows without it.
#pragma once

#include <string>

// The text without the CR and LF bytes at its end.
std::string WithoutLineEnd(const std::string& text);
