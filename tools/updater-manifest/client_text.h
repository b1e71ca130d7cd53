// Names in the forms the product's clients read: the system's text of the
// machine the tool runs on (UTF-8 on POSIX, the ANSI code page on Windows)
// converted to UTF-8 and to GBK, the code page of the product's systems.
#pragma once

#include <string>

// False when the text is not valid in the system's text.
bool SystemTextToUtf8(const std::string& text, std::string* utf8);
// False when the text is not valid, or holds a character GBK has not.
bool SystemTextToGbk(const std::string& text, std::string* gbk);
