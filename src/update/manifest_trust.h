// The run's trust in its manifest: with at least one trusted key, a manifest
// is used only when it is signed by one of them, is not older than the last
// one accepted and has not expired. Without a trusted key nothing here
// fetches, shows or refuses anything.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

class TiXmlElement;

// The largest signature file fetched.
constexpr size_t kMaxSignatureDownload = 64u << 10;
// The root's attribute that ends a manifest's life: "YYYY-MM-DD", UTC, valid
// through that day.
extern const char kExpiresAttribute[];

// ".minisig" appended to the URL's path, before any "?" or "#".
std::string SignatureUrl(const std::string& manifestUrl);
// The day of a "YYYY-MM-DD" date, in days since 1970-01-01; false for any
// other text or a day the calendar does not have.
bool ParseExpiryDate(const std::string& text, int64_t* day);
// True when the day of `now` (UTC) is after the day `expires` names; a text
// that is no date counts as expired, so a freeze the publisher meant is never
// ignored.
bool ManifestExpired(const std::string& expires, std::time_t now);

class ManifestTrust {
 public:
  // True when at least one key is trusted.
  static bool Required();

  // Fetches the signature of the manifest at `manifestUrl` into memory.
  void FetchSignature(const std::string& manifestUrl);
  // Checks the fetched signature over the manifest text as downloaded. Shows
  // why a manifest is refused, or that it verified; true when it may be used.
  bool Verify(const std::string& manifestText);
  // Shows and returns true when the root has expired.
  static bool Expired(const TiXmlElement* root);
  // Records the verified manifest's timestamp as the newest one accepted.
  void Accept() const;

 private:
  bool m_bFetched = false;
  std::string m_szSignature;
  uint64_t m_nTimestamp = 0;
};
