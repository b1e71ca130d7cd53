// Fetching a URL over HTTP into a file or a string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// 16 MiB: hundreds of times a real manifest, small enough to hold in memory
// and parse.
constexpr size_t kMaxTextDownload = 16u << 20;
// A download into a file stops before the free space of its volume would fall
// below this, so an endless body never fills the disk.
constexpr uint64_t kMinFreeSpace = 64u << 20;

// True when the machine reports a connection.
bool IsOnline();

// Downloads `url` (rewritten in place into its canonical form) into the file
// named by `target` (toFile) or into `target` itself. With showProgress the
// main window's file bar follows the bytes and one window message is pumped
// after every 4096-byte block. Reports its own failures through WriteLog: a
// target that cannot be created, a failed read (also a malformed URL, one that
// cannot be opened, and a response of status 400 or above, whose page is never
// delivered), and each block written short. A file is written beside the
// target and replaces it only when the whole body was received and saved: a
// failed download leaves no partial file under the target's name. One that
// would leave less than kMinFreeSpace free stops as a failed save. A download
// into memory (the manifest) that goes past kMaxTextDownload bytes stops there
// and fails as a read error does; the bytes received before a failure stay in
// the string.
bool HttpDownload(std::string& url, std::string& target, bool toFile, bool showProgress);

// Dispatches at most one pending window message of the main window.
void PumpMessage();
