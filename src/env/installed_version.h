// The installed version: packed into the first four bytes of "cert" under the
// product key, and written as "DisplayVersion" under the uninstall key.
#pragma once

#include <cstdint>
#include <string>

#include "platform/registry_store.h"

// "%u.%u.%u.%u" text, or empty when "cert" cannot be read or is shorter than
// four bytes.
std::string GetInstalledVersion();
// Asked before each value SetInstalledVersion writes, with the bytes it will
// hold; false stops the writing.
using VersionWriteCheck = bool (*)(platform::RootKey root, const std::string& subKey,
                                   const std::string& name, const std::string& data, uint32_t type);
// False when a value could not be written (or a check said no).
bool SetInstalledVersion(const std::string& version, VersionWriteCheck check = nullptr);

// Reads "%u.%u.%u.%u" as sscanf does: each number may have white space before
// it, the dots must follow directly, and reading stops at the first mismatch.
// Numbers that cannot be read are 0 ("2.1" is 2.1.0.0); numbers past the
// 32-bit range read as 4294967295. The one rule for the store and
// CompareVersion.
void ParseVersion(const std::string& text, unsigned int numbers[4]);

// The version GetInstalledVersion reads back after SetInstalledVersion recorded
// `version`: "cert" keeps 4, 8, 4 and 16 bits of the four numbers, so a number
// beyond them comes back cut.
std::string RecordedVersion(const std::string& version);
