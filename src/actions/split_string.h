#pragma once

#include <string>
#include <vector>

// Cuts `text` at every character of `separators`, trims the characters of
// `trim` from both ends of each item, and returns the item count (at least 1:
// an empty text gives one empty item, and empty items are kept).
int SplitString(std::vector<std::string>& items, const std::string& text, const char* separators,
                const char* trim);
