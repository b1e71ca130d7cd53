#include "update/manifest_trust.h"

#include <tinyxml.h>

#include <cstdio>

#include "env/http_download.h"
#include "env/texts.h"
#include "env/trusted_keys.h"
#include "env/update_log.h"
#include "update/file_md5.h"
#include "update/manifest_signature.h"
#include "update/package_info.h"
#include "update/update_run.h"

const char kExpiresAttribute[] = "expires";

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr size_t kSha256Digits = 64;

bool IsLeapYear(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int64_t year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// The proleptic Gregorian date of a day since 1970-01-01.
void CivilFromDays(int64_t z, int64_t* y, int* m, int* d) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = yoe + era * 400 + (*m <= 2);
}

bool Digits(const std::string& text, size_t start, size_t count, int* value) {
  *value = 0;
  for (size_t i = start; i < start + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    *value = *value * 10 + (text[i] - '0');
  }
  return true;
}

void Show(const char* text) { WriteLog(text, true); }

}  // namespace

std::string SignatureUrl(const std::string& manifestUrl) {
  size_t end = manifestUrl.find_first_of("?#");
  if (end == std::string::npos) end = manifestUrl.size();
  std::string url = manifestUrl;
  url.insert(end, ".minisig");
  return url;
}

bool ParseExpiryDate(const std::string& text, int64_t* day) {
  int year = 0, month = 0, dayOfMonth = 0;
  if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !Digits(text, 0, 4, &year) ||
      !Digits(text, 5, 2, &month) || !Digits(text, 8, 2, &dayOfMonth)) {
    return false;
  }
  if (month < 1 || month > 12 || dayOfMonth < 1 || dayOfMonth > DaysInMonth(year, month)) {
    return false;
  }
  *day = DaysFromCivil(year, month, dayOfMonth);
  return true;
}

int64_t UtcDay(std::time_t now) {
  int64_t seconds = static_cast<int64_t>(now);
  return seconds / kSecondsPerDay - (seconds % kSecondsPerDay < 0 ? 1 : 0);
}

std::string ExpiryDateText(int64_t day) {
  int64_t year = 0;
  int month = 0, dayOfMonth = 0;
  CivilFromDays(day, &year, &month, &dayOfMonth);
  char text[32];
  std::snprintf(text, sizeof text, "%04lld-%02d-%02d", static_cast<long long>(year), month,
                dayOfMonth);
  return text;
}

bool ManifestExpired(const std::string& expires, std::time_t now) {
  int64_t last = 0;
  if (!ParseExpiryDate(expires, &last)) return true;
  return UtcDay(now) > last;
}

bool ManifestTrust::Required() { return g_bPubkeyPresent || !g_aTrustedKeys.empty(); }

void ManifestTrust::FetchSignature(const std::string& manifestUrl) {
  if (!Required()) return;
  std::string url = SignatureUrl(manifestUrl);
  m_bFetched =
      HttpDownload(url, m_szSignature, false, true, BodyLimit::AtMost(kMaxSignatureDownload));
}

bool ManifestTrust::Verify(const std::string& manifestText) {
  if (!Required()) return true;
  if (g_bManifestTimeUnusable) {
    m_bRecordFault = true;
    Show(texts::kManifestTimeUnusable);
    return false;
  }
  // An empty body is no signature at all, like an empty manifest.
  if (!m_bFetched || m_szSignature.empty()) {
    Show(texts::kSignatureUnavailable);
    return false;
  }
  std::string comment;
  if (!VerifyMinisign(manifestText, m_szSignature, g_aTrustedKeys, &comment) ||
      !CommentTimestamp(comment, &m_nTimestamp)) {
    Show(texts::kSignatureInvalid);
    return false;
  }
  if (m_nTimestamp < g_nManifestTime) {
    Show(texts::kManifestReplayed);
    return false;
  }
  Show(texts::kSignatureOk);
  // "Nothing new" is said by a signed manifest of the installed version: an
  // empty one has no expiry, so a captured one cannot freeze a client.
  if (manifestText.empty()) {
    Show(texts::kManifestNoExpiry);
    return false;
  }
  return true;
}

bool ManifestTrust::Usable(const TiXmlElement* root) {
  if (!Required()) return true;
  const char* expires = root->Attribute(kExpiresAttribute);
  if (!expires) {
    Show(texts::kManifestNoExpiry);
    return false;
  }
  if (ManifestExpired(expires, std::time(nullptr))) {
    Show(texts::kManifestExpired);
    return false;
  }
  uint64_t size = 0;
  for (const TiXmlElement* package : PackageElements(root)) {
    if (ChildText(package, kPackageUrl).empty()) continue;
    if (!IsHexDigest(ChildText(package, kPackageSha256), kSha256Digits) ||
        !ParsePackageSize(ChildText(package, kPackageSize), &size)) {
      Show(texts::kPackageNotVouched);
      return false;
    }
  }
  return true;
}

bool ManifestTrust::Accept() {
  if (!Required() || RecordManifestTime(m_nTimestamp)) return true;
  m_bRecordFault = true;
  Show(texts::kManifestTimeNotSaved);
  return false;
}
