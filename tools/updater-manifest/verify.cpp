#include "verify.h"

#include <tinyxml.h>

#include <filesystem>
#include <vector>

#include "client_setting.h"
#include "env/config.h"
#include "env/http_download.h"
#include "env/mbstring.h"
#include "update/file_md5.h"
#include "update/package_info.h"
#include "update/update_run.h"

namespace {

void ShowLog(ClientSetting& client, std::ostream& out) {
  for (const std::string& line : client.TakeLog()) {
    out << "  the updater logs: " << TrimChars(line, "\r\n") << "\n";
  }
}

}  // namespace

bool VerifyManifest(const std::string& url, std::ostream& out) {
  ClientSetting client(std::string(), UnexpandedPaths());
  if (!client.HasScratch()) {
    out << "no scratch folder for the downloads\n";
    return false;
  }
  g_szDownloadPath = DownloadPathOf(client.ScratchDir());
  if (!CreateDirectoryTree(g_szDownloadPath)) {
    out << "cannot create " << g_szDownloadPath << "\n";
    return false;
  }

  std::string manifestUrl = url;
  std::string text;
  if (!HttpDownload(manifestUrl, text, false, false)) {
    out << "FAILED manifest " << url << ": cannot be downloaded\n";
    ShowLog(client, out);
    return false;
  }
  if (text.empty()) {
    out << "FAILED manifest " << url << ": empty\n";
    return false;
  }
  UpdateRun run;
  run.LoadManifest(text);
  const TiXmlElement* root = ManifestRoot(run.m_xmlDoc);
  if (!root) {
    out << "FAILED manifest " << url << ": the updater cannot use it\n";
    ShowLog(client, out);
    return false;
  }
  client.TakeLog();
  out << "manifest " << url << ": version " << run.m_szLatestVersion << "\n";

  bool ok = true;
  int index = 0;
  for (const TiXmlElement* element : PackageElements(root)) {
    ++index;
    PackageInfo package;
    package.LoadFromXml(element);
    std::string label =
        "package " + std::to_string(index) + " (line " + std::to_string(element->Row()) + ")";
    if (package.m_szUrl.empty()) {
      out << "no file  " << label << "\n";
      continue;
    }
    std::string fileUrl = package.m_szUrl;
    std::string localFile = PackageLocalFile(package.m_szUrl);
    if (!HttpDownload(fileUrl, localFile, true, false)) {
      out << "FAILED   " << label << " " << package.m_szUrl << ": cannot be downloaded\n";
      ShowLog(client, out);
      ok = false;
      continue;
    }
    std::string digest = FileMd5Hex(localFile);
    if (package.m_szMd5.empty()) {
      out << "no md5   " << label << " " << package.m_szUrl << ": not checked by the updater ("
          << digest << ")\n";
    } else if (Md5Matches(digest, package.m_szMd5)) {
      out << "ok       " << label << " " << package.m_szUrl << "\n";
    } else {
      out << "MISMATCH " << label << " " << package.m_szUrl << ": the manifest says "
          << package.m_szMd5 << ", the server's file is "
          << (digest.empty() ? "unreadable" : digest) << "\n";
      ok = false;
    }
    std::error_code ec;
    std::filesystem::remove(localFile, ec);
  }
  return ok;
}
