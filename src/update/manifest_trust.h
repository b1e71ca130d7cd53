// The run's trust in its manifest: with at least one trusted key (or a
// "pubkey" value of any kind), a manifest is used only when it is signed by
// one of those keys, is not older than the last one accepted, carries an
// expiry date that has not passed and vouches for every package file by its
// SHA-256 and size. Without a trusted key nothing here fetches, shows or
// refuses anything.
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
// The day of `now` in UTC, in days since 1970-01-01.
int64_t UtcDay(std::time_t now);
// The "YYYY-MM-DD" text of a day that ParseExpiryDate reads back.
std::string ExpiryDateText(int64_t day);
// True when the day of `now` (UTC) is after the day `expires` names; a text
// that is no date counts as expired, so a freeze the publisher meant is never
// ignored.
bool ManifestExpired(const std::string& expires, std::time_t now);

class ManifestTrust {
 public:
  // True when manifests must be signed: a key is trusted or "pubkey" exists.
  static bool Required();

  // Fetches the signature of the manifest at `manifestUrl` into memory.
  void FetchSignature(const std::string& manifestUrl);
  // Checks the fetched signature over the manifest text as downloaded (an
  // empty text as well: it is then refused for having no expiry). Shows why a
  // manifest is refused, or that it verified; true when it may be used.
  bool Verify(const std::string& manifestText);
  // The parsed manifest's own promises: an "expires" that has not passed, and
  // for every package with a url a well-formed sha256 and size. Shows why not
  // and returns false.
  static bool Usable(const TiXmlElement* root);
  // Records the verified manifest's timestamp as the newest one accepted.
  // False, with its one line shown, when the record cannot be written: no
  // package may then be processed.
  bool Accept();
  // True when the manifest was refused for the client's own record of
  // timestamps, which its one line explains: the manifest is not at fault.
  bool RecordFault() const { return m_bRecordFault; }

 private:
  bool m_bRecordFault = false;
  bool m_bFetched = false;
  std::string m_szSignature;
  uint64_t m_nTimestamp = 0;
};
