#pragma once

#include <string>

// Deletes a directory with everything below it. A symbolic link (a junction on
// Windows) is removed itself; what it points to is never touched. False when
// something could not be deleted; what could not be deleted stays.
bool DeleteTree(const std::string& path);
