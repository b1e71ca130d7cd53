// For Windows: narrow text in the ANSI code page (GBK on the product's
// systems) and UTF-16, for the names the system hands back in either. A name
// with a character the code page has not would come back from an ANSI
// function with "?" in its place, another name or none: it is refused here.
#pragma once

#include <string>

namespace platform {

// The UTF-16 text in the ANSI code page; false when a character has no form
// there (not even a "best fit" look-alike is taken).
bool WideToAnsi(const std::wstring& wide, std::string* ansi);
// ANSI text in UTF-16, converted as the ANSI functions convert their names.
bool AnsiToWide(const std::string& ansi, std::wstring* wide);
// How many characters (UTF-16 units) the ANSI functions see in the text: their
// limit of MAX_PATH counts these, not bytes.
size_t AnsiCharacterCount(const std::string& ansi);

}  // namespace platform
