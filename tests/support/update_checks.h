// Helpers for checking update runs: the log by lines, its time lines, and
// package bytes with their digests.
#pragma once

#include <string>
#include <vector>

// updater.log (or any file) cut at its CR LF line ends; a last piece without
// one is marked "<no line end>".
std::vector<std::string> LogLines(const std::string& path);
// True when `line` is `prefix`, a local time "YYYY-MM-DD hh:mm:ss", then `end`.
bool IsTimeLine(const std::string& line, const std::string& prefix, const std::string& end = "");
// `size` pseudo-random bytes, the same for the same seed.
std::string RandomBytes(size_t size, unsigned seed);
// The MD5 digest of the bytes, 32 lower-case hex digits.
std::string Md5Of(const std::string& bytes);
