// Labels with an access key: "&" marks the key's letter and "&&" is a literal
// "&", as in the Windows resources. Toolkits with another marker get the label
// converted here. Texts are in the system code page; a marker other than
// "&" or the console's none is only used with UTF-8 toolkits, whose bytes
// above 0x7F never equal it.
#pragma once

#include <string>

// The label with each "&x" written `marker` + x, "&&" written "&", and every
// `marker` already in the text doubled. A marker of '\0' drops the "&"s.
std::string ConvertMnemonic(const std::string& label, char marker);

// The access key's character, upper-cased; '\0' when the label has none.
char AccessKey(const std::string& label);
