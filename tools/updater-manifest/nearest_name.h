// Suggestions for misspelt names: the known name nearest to a word.
#pragma once

#include <string>
#include <vector>

// Edit distance ignoring ASCII letter case, counting an exchange of two
// neighbouring letters as one edit ("form" is one edit from "from").
int EditDistance(const std::string& a, const std::string& b);

// The name of `names` nearest to `word`, when it is near enough to be what was
// meant (at most two edits, and fewer edits than the word has letters);
// otherwise empty. The first of equally near names wins.
std::string NearestName(const std::string& word, const std::vector<std::string>& names);
