#include "update/update_run.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "env/config.h"
#include "env/delete_tree.h"
#include "env/http_download.h"
#include "env/installed_version.h"
#include "env/main_window.h"
#include "env/texts.h"
#include "env/update_log.h"
#include "platform/in_use_retry.h"
#include "update/atomic_update.h"
#include "update/manifest_nesting.h"
#include "update/manifest_trust.h"
#include "update/write_access.h"

namespace {

constexpr int kFullBar = 10;
constexpr size_t kParserSlack = 16;
constexpr int kKeepRange = -1;

void TotalProgress(int position, int range = kKeepRange) {
  if (g_pMainWnd) g_pMainWnd->SetTotalProgress(position, range);
}

void Show(const std::string& text) { WriteLog(text, true); }

// The current local time in one of the two time formats, logged unshown.
void LogTime(const char* format) {
  std::time_t now = std::time(nullptr);
  char text[128];
  const std::tm* local = std::localtime(&now);
  if (local && std::strftime(text, sizeof(text), format, local) > 0) WriteLog(text, false);
}

// The parse error line: a 1-based row and column, the document name (empty:
// the manifest is parsed from memory) and the description.
std::string ParseErrorText(int row, int col, const char* name, const char* description) {
  int size = std::snprintf(nullptr, 0, texts::kParseErrorFormat, row, col, name, description);
  if (size < 0) return std::string();
  std::string text(static_cast<size_t>(size) + 1, '\0');
  std::snprintf(&text[0], text.size(), texts::kParseErrorFormat, row, col, name, description);
  text.resize(static_cast<size_t>(size));
  return text;
}

std::string ParseErrorText(const TiXmlDocument& doc) {
  // ErrorRow and ErrorCol are the parser's 0-based position plus 1. A
  // document the parser could not start reading has no position: it is then
  // reported at its start.
  int row = doc.ErrorRow() > 0 ? doc.ErrorRow() : 1;
  int col = doc.ErrorCol() > 0 ? doc.ErrorCol() : 1;
  return ParseErrorText(row, col, doc.Value(), doc.ErrorDesc());
}

}  // namespace

UpdateRun::UpdateRun() = default;

UpdateRun::~UpdateRun() = default;

bool UpdateRun::RunUpdate(std::string url, std::string& manifestText) {
  // Files in use are waited for up to 30 s in each run.
  platform::ResetInUseBudget();
  // An update over a product that is half put back would be undone by the
  // journal's next try.
  if (!RecoverUnfinishedUpdate()) return false;
  if (!IsOnline()) return false;

  TotalProgress(0);
  LogTime(texts::kStartTimeFormat);
  Show(texts::kCheckingUpdate);
  manifestText.clear();
  bool fetched = HttpDownload(url, manifestText, false, true);
  TotalProgress(1);
  if (!fetched) {
    Show(texts::kCannotFetchUpdate);
    TotalProgress(kFullBar);
    return false;
  }
  // With a key an empty body is checked like any other, and refused.
  if (manifestText.empty() && !ManifestTrust::Required()) {
    Show(texts::kNoUpdateInfo);
    TotalProgress(kFullBar);
    return true;
  }

  ManifestTrust trust;
  trust.FetchSignature(url);
  Show(texts::kAnalysingUpdate);
  // The time of a manifest is recorded before any of its packages, so that
  // it can never be replayed after an update that was cut short.
  bool loaded = trust.Verify(manifestText) && LoadManifest(manifestText) && trust.Accept();
  TotalProgress(2);
  if (!loaded) {
    if (!trust.RecordFault()) Show(texts::kUpdateInfoWrong);
    TotalProgress(kFullBar);
  } else {
    int n = static_cast<int>(m_listPackages.size());
    TotalProgress(2, n + 2);
    // Only an update that is due asks for the rights to change the product.
    WriteAccess access = n > 0 ? EnsureWriteAccess() : WriteAccess::kGranted;
    // The download folder and the log belong to the elevated updater now.
    if (access == WriteAccess::kRestarted) return true;
    if (access == WriteAccess::kRefused) TotalProgress(n + 2);
    if (n > 0 && access == WriteAccess::kGranted) {
      Show(texts::kStartingUpdate);
      bool complete = true;
      if (m_bAtomic) {
        // Says itself why the update is not complete.
        complete = RunPackagesAtomically(m_listPackages, m_szLatestVersion,
                                         [](int k) { TotalProgress(2 + k); });
      } else {
        for (int k = 1; k <= n; ++k) {
          if (!m_listPackages[k - 1]->Process()) complete = false;
          TotalProgress(2 + k);
        }
        // A package that did not arrive, or a version that could not be
        // recorded, leaves the version as it was, so the next run finds the
        // manifest newer and tries again.
        if (complete && !SetInstalledVersion(m_szLatestVersion)) complete = false;
        if (!complete) Show(texts::kUpdateIncomplete);
      }
      if (complete) Show(texts::kUpdateFinished);
    }
  }

  if (IsDirectory(g_szDownloadPath)) DeleteTree(g_szDownloadPath);
  LogTime(texts::kEndTimeFormat);
  return true;
}

bool UpdateRun::LoadManifest(std::string text) {
  text = ExpandPathVars(text);
  m_listPackages.clear();
  m_szLatestVersion.clear();
  m_bAtomic = false;
  m_xmlDoc.Clear();
  // The parser reads up to the first zero byte, but in UTF-8 mode a lead byte
  // just before it takes it along: nothing after it may be there to be read.
  text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
  // The parser recurses once per element level: a text nested too deeply is
  // refused before it could exhaust the stack.
  NestingScan nesting = ScanManifestNesting(text, kMaxManifestDepth);
  if (nesting.tooDeep) {
    Show(ParseErrorText(nesting.row, nesting.col, m_xmlDoc.Value(), texts::kNestingTooDeep));
    return false;
  }
  // The parser steps a few bytes past the end of a text that stops inside a
  // UTF-8 sequence, an entity or a comment; zero bytes keep it in the buffer.
  text.append(kParserSlack, '\0');
  m_xmlDoc.Parse(text.c_str());
  if (m_xmlDoc.Error()) {
    Show(ParseErrorText(m_xmlDoc));
    return false;
  }

  // Well-formed but without its root: as unusable as a parse error.
  const TiXmlElement* root = ManifestRoot(m_xmlDoc);
  if (!root || !ManifestTrust::Usable(root)) return false;
  const char* version = root->Attribute("version");
  m_szLatestVersion = version ? version : "";
  m_bAtomic = IsAtomicManifest(root);
  if (g_pMainWnd) g_pMainWnd->ShowLatestVersion(m_szLatestVersion);

  if (CompareVersion(g_szVersion, m_szLatestVersion)) {
    for (const TiXmlElement* e : PackageElements(root)) {
      auto package = std::make_unique<PackageInfo>();
      package->LoadFromXml(e);
      m_listPackages.push_back(std::move(package));
    }
  } else {
    Show(texts::kAlreadyLatest);
  }
  return true;
}

const char kManifestRootElement[] = "updateinfo";
const char kPackageElement[] = "package";

const TiXmlElement* ManifestRoot(const TiXmlDocument& doc) {
  return doc.FirstChildElement(kManifestRootElement);
}

std::vector<const TiXmlElement*> PackageElements(const TiXmlElement* root) {
  std::vector<const TiXmlElement*> packages;
  for (const TiXmlElement* e = root->FirstChildElement(kPackageElement); e;
       e = e->NextSiblingElement(kPackageElement)) {
    packages.push_back(e);
  }
  return packages;
}

bool CompareVersion(const std::string& installed, const std::string& latest) {
  unsigned int have[4];
  unsigned int offered[4];
  ParseVersion(installed, have);
  ParseVersion(latest, offered);
  for (int i = 0; i < 4; ++i) {
    if (have[i] != offered[i]) return offered[i] > have[i];
  }
  return false;
}
