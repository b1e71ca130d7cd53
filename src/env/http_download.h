// Fetching a URL over HTTP into a file or a string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// 16 MiB: hundreds of times a real manifest, small enough to hold in memory
// and parse.
constexpr uint64_t kMaxTextDownload = 16u << 20;
// A download into a file stops before the free space of its volume would fall
// below this, so an endless body never fills the disk.
constexpr uint64_t kMinFreeSpace = 64u << 20;

// What a caller knows of the length of the body it asks for.
struct BodyLimit {
  // A body longer than this fails the download as a read error does, as soon
  // as it goes past it.
  uint64_t nMaxBytes = UINT64_MAX;
  // nMaxBytes is the length the body should have (a package's size): the file
  // bar's range when the server sends no length.
  bool bIsSize = false;

  static BodyLimit AtMost(uint64_t n) { return {n, false}; }
  static BodyLimit Size(uint64_t n) { return {n, true}; }
};

// True when the machine reports a connection.
bool IsOnline();

// Downloads `url` (rewritten in place into its canonical form) into the file
// named by `target` (toFile) or into `target` itself. With showProgress the
// main window's file bar follows the bytes and one window message is pumped
// after every 4096-byte block. Reports its own failures through WriteLog: a
// target that cannot be created, a failed read (also a malformed URL, one that
// cannot be opened, a response of status 400 or above, whose page is never
// delivered, a body longer than `limit` and a server too slow for the
// low-speed rule of platform/http_limits.h), and each block written short. A
// file is written beside the target and replaces it only when the whole body
// was received and saved: a failed download leaves no partial file under the
// target's name. One that would leave less than kMinFreeSpace free stops as a
// failed save. A download into memory (a manifest or its signature) never
// goes past kMaxTextDownload bytes and has the overall time limit of
// http_limits.h; the bytes received before a failure stay in the string.
bool HttpDownload(std::string& url, std::string& target, bool toFile, bool showProgress,
                  BodyLimit limit = BodyLimit());

// Dispatches at most one pending window message of the main window.
void PumpMessage();
