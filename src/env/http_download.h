// Fetching a URL over HTTP into a file or a string.
#pragma once

#include <cstddef>
#include <string>

// 16 MiB: hundreds of times a real manifest, small enough to hold in memory
// and parse.
constexpr size_t kMaxTextDownload = 16u << 20;

// True when the machine reports a connection.
bool IsOnline();

// Downloads `url` (rewritten in place into its canonical form) into the file
// named by `target` (toFile) or into `target` itself. With showProgress the
// main window's file bar follows the bytes and one window message is pumped
// after every 4096-byte block. Reports its own failures through WriteLog: a
// target that cannot be created, a failed read (also a malformed URL, one that
// cannot be opened, and a response of status 400 or above, whose page is never
// delivered), and each block written short. Bytes received before a failure
// stay in the target. A download into memory that goes past `maxText` bytes
// stops there and fails as a read error does.
bool HttpDownload(std::string& url, std::string& target, bool toFile, bool showProgress,
                  size_t maxText = kMaxTextDownload);

// Dispatches at most one pending window message of the main window.
void PumpMessage();
