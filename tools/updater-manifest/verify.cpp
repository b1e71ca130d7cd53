#include "verify.h"

#include <tinyxml.h>

#include <ctime>
#include <filesystem>
#include <vector>

#include "client_setting.h"
#include "env/config.h"
#include "env/http_download.h"
#include "manifest_texts.h"
#include "update/file_md5.h"
#include "update/file_sha256.h"
#include "update/manifest_signature.h"
#include "update/manifest_trust.h"
#include "update/package_info.h"
#include "update/update_run.h"

using namespace manifesttexts;

namespace {

void Line(std::ostream& out, const std::string& text) { out << text << "\n"; }

// What the downloader logged about a failure.
void ShowLog(ClientSetting& client, std::ostream& out) {
  for (const std::string& line : client.TakeLog()) {
    Line(out, Format(kVerifyUpdaterLogsFormat, line.c_str()));
  }
}

// The signature beside the manifest, checked as a client with these keys
// checks it; the timestamp is shown, since only a client knows the last one.
bool VerifySignature(const std::string& manifestUrl, const std::string& text,
                     const std::vector<std::string>& keys, ClientSetting& client,
                     std::ostream& out) {
  std::string url = SignatureUrl(manifestUrl);
  std::string signature;
  if (!HttpDownload(url, signature, false, false, BodyLimit::AtMost(kMaxSignatureDownload))) {
    Line(out, Format(kVerifySignatureFailedFormat, url.c_str()));
    ShowLog(client, out);
    return false;
  }
  std::string comment;
  uint64_t timestamp = 0;
  if (signature.empty()) {
    Line(out, Format(kVerifySignatureEmptyFormat, url.c_str()));
    return false;
  }
  if (!VerifyMinisign(text, signature, keys, &comment)) {
    Line(out, Format(kVerifySignatureInvalidFormat, url.c_str()));
    return false;
  }
  if (!CommentTimestamp(comment, &timestamp)) {
    Line(out, Format(kVerifyNoTimestampFormat, url.c_str()));
    return false;
  }
  Line(out, Format(kVerifySignatureOkFormat, url.c_str(), std::to_string(timestamp).c_str()));
  return true;
}

}  // namespace

bool VerifyManifest(const std::string& url, const std::vector<std::string>& keys,
                    std::ostream& out) {
  ClientSetting client(std::string(), UnexpandedPaths());
  if (!client.HasScratch()) {
    Line(out, kVerifyNoScratch);
    return false;
  }
  g_szDownloadPath = DownloadPathOf(client.ScratchDir());
  if (!CreateDirectoryTree(g_szDownloadPath)) {
    Line(out, Format(kVerifyCannotCreateFormat, g_szDownloadPath.c_str()));
    return false;
  }

  std::string manifestUrl = url;
  std::string text;
  if (!HttpDownload(manifestUrl, text, false, false)) {
    Line(out, Format(kVerifyManifestFailedFormat, url.c_str()));
    ShowLog(client, out);
    return false;
  }
  if (text.empty()) {
    Line(out, Format(kVerifyManifestEmptyFormat, url.c_str()));
    return false;
  }
  if (!keys.empty() && !VerifySignature(manifestUrl, text, keys, client, out)) return false;
  UpdateRun run;
  run.LoadManifest(text);
  const TiXmlElement* root = ManifestRoot(run.m_xmlDoc);
  if (!root) {
    Line(out, Format(kVerifyManifestUnusableFormat, url.c_str()));
    ShowLog(client, out);
    return false;
  }
  client.TakeLog();
  Line(out, Format(kVerifyManifestFormat, url.c_str(), run.m_szLatestVersion.c_str()));
  const char* expires = root->Attribute(kExpiresAttribute);
  if (!keys.empty() && !expires) {
    Line(out, kVerifyNoExpires);
    return false;
  }
  if (!keys.empty() && ManifestExpired(expires, std::time(nullptr))) {
    Line(out, Format(kVerifyExpiredFormat, expires));
    return false;
  }

  bool ok = true;
  int index = 0;
  for (const TiXmlElement* element : PackageElements(root)) {
    PackageInfo package;
    package.LoadFromXml(element);
    std::string label = Format(kVerifyPackageLabelFormat, ++index, element->Row());
    const char* fileUrl = package.m_szUrl.c_str();
    if (package.m_szUrl.empty()) {
      Line(out, Format(kVerifyNoFileFormat, label.c_str()));
      continue;
    }
    uint64_t size = 0;
    bool sized = ParsePackageSize(package.m_szSize, &size);
    if (!keys.empty() && (!IsHexDigest(package.m_szSha256, 64) || !sized)) {
      Line(out, Format(kVerifyNotVouchedFormat, label.c_str(), fileUrl));
      ok = false;
      continue;
    }
    // One attempt, where the updater makes three: a file that fails once
    // would also keep clients waiting.
    std::string downloadUrl = package.m_szUrl;
    std::string localFile = PackageLocalFile(package.m_szUrl);
    if (!HttpDownload(downloadUrl, localFile, true, false,
                      sized ? BodyLimit::Size(size) : BodyLimit())) {
      Line(out, Format(kVerifyDownloadFailedFormat, label.c_str(), fileUrl));
      ShowLog(client, out);
      ok = false;
      continue;
    }
    std::string digest = FileMd5Hex(localFile);
    std::string sha256 = FileSha256Hex(localFile);
    std::error_code ec;
    uintmax_t length = std::filesystem::file_size(localFile, ec);
    FileFacts facts;
    facts.nSize = ec ? UINT64_MAX : length;
    facts.szMd5 = digest;
    facts.szSha256 = sha256;
    if (package.m_szMd5.empty() && package.m_szSha256.empty() && package.m_szSize.empty()) {
      Line(out, Format(kVerifyNoMd5Format, label.c_str(), fileUrl, digest.c_str()));
    } else if (!ec &&
               FileFactsMatch(facts, package.m_szMd5, package.m_szSha256, package.m_szSize)) {
      Line(out, Format(kVerifyOkFormat, label.c_str(), fileUrl));
    } else {
      // The size and each digest given that the file does not have.
      if (!package.m_szSize.empty() && (!sized || ec || length != size)) {
        Line(out,
             Format(kVerifySizeMismatchFormat, label.c_str(), fileUrl, package.m_szSize.c_str(),
                    ec ? kVerifyUnreadable : std::to_string(length).c_str()));
      }
      if (!package.m_szMd5.empty() && !Md5Matches(digest, package.m_szMd5)) {
        Line(out, Format(kVerifyMismatchFormat, label.c_str(), fileUrl, package.m_szMd5.c_str(),
                         digest.empty() ? kVerifyUnreadable : digest.c_str()));
      }
      if (!package.m_szSha256.empty() && !Md5Matches(sha256, package.m_szSha256)) {
        Line(out,
             Format(kVerifySha256MismatchFormat, label.c_str(), fileUrl, package.m_szSha256.c_str(),
                    sha256.empty() ? kVerifyUnreadable : sha256.c_str()));
      }
      ok = false;
    }
    std::filesystem::remove(localFile, ec);
  }
  return ok;
}
