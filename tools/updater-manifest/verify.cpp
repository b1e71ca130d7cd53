#include "verify.h"

#include <tinyxml.h>

#include <filesystem>
#include <vector>

#include "client_setting.h"
#include "env/config.h"
#include "env/http_download.h"
#include "manifest_texts.h"
#include "update/file_md5.h"
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

}  // namespace

bool VerifyManifest(const std::string& url, std::ostream& out) {
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
    // One attempt, where the updater makes three: a file that fails once
    // would also keep clients waiting.
    std::string downloadUrl = package.m_szUrl;
    std::string localFile = PackageLocalFile(package.m_szUrl);
    if (!HttpDownload(downloadUrl, localFile, true, false)) {
      Line(out, Format(kVerifyDownloadFailedFormat, label.c_str(), fileUrl));
      ShowLog(client, out);
      ok = false;
      continue;
    }
    std::string digest = FileMd5Hex(localFile);
    if (package.m_szMd5.empty()) {
      Line(out, Format(kVerifyNoMd5Format, label.c_str(), fileUrl, digest.c_str()));
    } else if (Md5Matches(digest, package.m_szMd5)) {
      Line(out, Format(kVerifyOkFormat, label.c_str(), fileUrl));
    } else {
      Line(out, Format(kVerifyMismatchFormat, label.c_str(), fileUrl, package.m_szMd5.c_str(),
                       digest.empty() ? kVerifyUnreadable : digest.c_str()));
      ok = false;
    }
    std::error_code ec;
    std::filesystem::remove(localFile, ec);
  }
  return ok;
}
