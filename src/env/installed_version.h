// The installed version: packed into the first four bytes of "cert" under the
// product key, and written as "DisplayVersion" under the uninstall key.
#pragma once

#include <string>

// "%u.%u.%u.%u" text, or empty when "cert" cannot be read or is shorter than
// four bytes.
std::string GetInstalledVersion();
void SetInstalledVersion(const std::string& version);

// Reads "%u.%u.%u.%u"; numbers that cannot be read are 0. The one rule for
// the store and CompareVersion.
void ParseVersion(const std::string& text, unsigned int numbers[4]);
