// Fetching a URL over HTTP into a file or a string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/digest.h"

class ReplacingFile;

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

// The download of one file over several attempts (a package's three). Each
// attempt continues from the bytes an earlier one kept when it was cut off,
// if the server allows it: it asks for the rest with Range and If-Range (the
// first answer's strong ETag, else its Last-Modified), and only a 206 for
// exactly that rest of the same resource is appended; any other answer (a 200,
// another range, a changed validator), or a first answer without a validator,
// starts from byte 0. The digests asked for are computed over the whole body
// as it arrives, and the file takes its name only by Commit, so the caller
// checks the digests first. The kept bytes live in the target's temporary,
// which is removed when the object ends without a Commit.
class FileDownload {
 public:
  FileDownload(bool md5, bool sha256);
  ~FileDownload();
  FileDownload(const FileDownload&) = delete;
  FileDownload& operator=(const FileDownload&) = delete;

  // One attempt, with the arguments, messages and results of HttpDownload
  // into a file; true when the whole body was received and saved (not yet
  // under its name). A file of another name or URL than the kept bytes', or
  // an attempt after a complete one, starts from byte 0. The file bar's range
  // is the whole file and a resumed attempt's position starts at the bytes
  // kept.
  bool Attempt(std::string& url, const std::string& target, bool showProgress, BodyLimit limit);
  // After a successful attempt: the body's length, and its digest as
  // lower-case hex digits (no text when it was not asked for or the library
  // failed). A digest is handed out once.
  uint64_t Received() const { return m_nReceived; }
  std::string DigestHex(platform::DigestKind kind);
  // Puts the file of a successful attempt under its name; false when that
  // fails.
  bool Commit();

 private:
  void Forget();

  bool m_bMd5;
  bool m_bSha256;
  std::string m_szUrl;
  std::string m_szTarget;
  std::string m_szFolder;
  std::unique_ptr<ReplacingFile> m_file;
  std::unique_ptr<platform::Digest> m_md5;
  std::unique_ptr<platform::Digest> m_sha256;
  uint64_t m_nReceived = 0;
  // The validator the kept bytes came with, and the resource's length from
  // that answer (UINT64_MAX when it gave none).
  std::string m_szValidator;
  uint64_t m_nTotal = UINT64_MAX;
  // The kept bytes are the start of the resource, written whole: a later
  // attempt may continue them.
  bool m_bResumable = false;
  bool m_bComplete = false;
};

// Dispatches at most one pending window message of the main window.
void PumpMessage();
