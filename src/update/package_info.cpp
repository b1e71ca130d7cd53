#include "update/package_info.h"

#include <tinyxml.h>

#include "actions/action_registry.h"
#include "env/config.h"
#include "env/http_download.h"
#include "env/main_window.h"
#include "env/mbstring.h"
#include "env/texts.h"
#include "env/update_log.h"
#include "platform/separators.h"
#include "update/file_md5.h"
#include "update/package_file_name.h"

namespace {

constexpr int kMaxAttempts = 3;

void LoadActions(const TiXmlElement* package, const char* listName,
                 std::vector<std::unique_ptr<Action>>* list) {
  for (const TiXmlElement* e : ActionElements(package, listName)) {
    const char* type = e->Attribute("type");
    std::unique_ptr<Action> action = CreateAction(type ? type : "");
    if (!action) continue;
    action->LoadFromElement(e);
    list->push_back(std::move(action));
  }
}

bool RunActions(const std::vector<std::unique_ptr<Action>>& list, const std::string& localFile,
                bool stopAtFailure) {
  for (const std::unique_ptr<Action>& action : list) {
    action->SubstituteThisFile(localFile);
    if (!action->Execute() && stopAtFailure) return false;
  }
  return true;
}

}  // namespace

const char kPackageVersion[] = "version";
const char kPackageDescription[] = "description";
const char kPackageUrl[] = "url";
const char kPackageMd5[] = "md5";
const char kPackageSha256[] = "sha256";
const char kPackageSize[] = "size";
const char* const kActionListNames[3] = {"pre-actions", "actions", "post-actions"};

std::vector<std::string> PackageChildNames() {
  std::vector<std::string> names = {kPackageVersion, kPackageDescription, kPackageUrl,
                                    kPackageMd5,     kPackageSha256,      kPackageSize};
  names.insert(names.end(), std::begin(kActionListNames), std::end(kActionListNames));
  return names;
}

std::string ChildText(const TiXmlElement* parent, const char* name) {
  const TiXmlElement* child = parent->FirstChildElement(name);
  const char* text = child ? child->GetText() : nullptr;
  return text ? text : "";
}

std::vector<const TiXmlElement*> ActionElements(const TiXmlElement* package, const char* listName) {
  std::vector<const TiXmlElement*> elements;
  const TiXmlElement* holder = package->FirstChildElement(listName);
  if (!holder) return elements;
  for (const TiXmlElement* e = holder->FirstChildElement("action"); e;
       e = e->NextSiblingElement()) {
    elements.push_back(e);
  }
  return elements;
}

std::string PackageLocalFile(const std::string& url) {
  return platform::CollapseDoubledSeparators(JoinPath(g_szDownloadPath, PackageFileName(url)));
}

bool ParsePackageSize(const std::string& text, uint64_t* size) {
  return ParseDecimal64(text, size);
}

bool FileFactsMatch(const FileFacts& facts, const std::string& md5, const std::string& sha256,
                    const std::string& size) {
  uint64_t expected = 0;
  // The same rule for either digest: equal ignoring case, and no digest (the
  // bytes could not be read) matches nothing.
  return (size.empty() || (ParsePackageSize(size, &expected) && facts.nSize == expected)) &&
         (md5.empty() || Md5Matches(facts.szMd5, md5)) &&
         (sha256.empty() || Md5Matches(facts.szSha256, sha256));
}

PackageInfo::PackageInfo() = default;

PackageInfo::~PackageInfo() = default;

int PackageInfo::LoadFromXml(const TiXmlElement* element) {
  if (!element) return 1;
  const char* name = element->Attribute("name");
  m_szName = name ? name : "";
  m_szVersion = ChildText(element, kPackageVersion);
  m_szDescription = ChildText(element, kPackageDescription);
  if (element->FirstChildElement(kPackageUrl)) m_szUrl = ChildText(element, kPackageUrl);
  if (!m_szUrl.empty() && element->FirstChildElement(kPackageMd5)) {
    m_szMd5 = ChildText(element, kPackageMd5);
  }
  if (!m_szUrl.empty() && element->FirstChildElement(kPackageSha256)) {
    m_szSha256 = ChildText(element, kPackageSha256);
  }
  if (!m_szUrl.empty() && element->FirstChildElement(kPackageSize)) {
    m_szSize = ChildText(element, kPackageSize);
  }
  LoadActions(element, kActionListNames[0], &m_listPreActions);
  LoadActions(element, kActionListNames[1], &m_listActions);
  LoadActions(element, kActionListNames[2], &m_listPostActions);
  return 1;
}

int PackageInfo::Process() {
  if (!Fetch()) {
    // Its actions would install an unverified file, or remove old files with
    // nothing to put in their place.
    WriteLog(texts::kSkipPackage, true);
    return 0;
  }
  RunAllActions(false);
  return 1;
}

bool PackageInfo::RunAllActions(bool stopAtFailure) {
  for (const auto* list : {&m_listPreActions, &m_listActions, &m_listPostActions}) {
    if (!RunActions(*list, m_szLocalFile, stopAtFailure)) return false;
  }
  return true;
}

void PackageInfo::AddSpaceNeeded(SpaceNeeds* needs) {
  for (const auto* list : {&m_listPreActions, &m_listActions, &m_listPostActions}) {
    for (const std::unique_ptr<Action>& action : *list) {
      action->SubstituteThisFile(m_szLocalFile);
      action->AddSpaceNeeded(needs);
    }
  }
}

bool PackageInfo::Fetch() {
  if (!m_szDescription.empty()) WriteLog(m_szDescription, true);
  m_szLocalFile.clear();

  if (!m_szUrl.empty()) {
    // A size that is no number limits nothing; the check then fails.
    uint64_t size = 0;
    BodyLimit limit;
    if (ParsePackageSize(m_szSize, &size)) limit = BodyLimit::Size(size);
    bool ok = false;
    int attempts = 0;
    // The digests come with the bytes; a later attempt continues the bytes an
    // earlier one kept when it was cut off.
    FileDownload download(!m_szMd5.empty(), !m_szSha256.empty());
    do {
      // The downloader may have rewritten the URL on a failed attempt: the name
      // comes from the URL as it now stands.
      m_szLocalFile = PackageLocalFile(m_szUrl);
      WriteLog(texts::kDownloadingFile + m_szUrl, true);
      ok = download.Attempt(m_szUrl, m_szLocalFile, true, limit);
      if (ok && (!m_szMd5.empty() || !m_szSha256.empty() || !m_szSize.empty())) {
        WriteLog(texts::kCheckingFile, true);
        FileFacts facts;
        facts.nSize = download.Received();
        facts.szMd5 = download.DigestHex(platform::DigestKind::kMd5);
        facts.szSha256 = download.DigestHex(platform::DigestKind::kSha256);
        if (!FileFactsMatch(facts, m_szMd5, m_szSha256, m_szSize)) {
          WriteLog(texts::kFileCheckFailed, true);
          ok = false;
        } else {
          WriteLog(texts::kFileCheckOk, true);
        }
      }
      // Only a file that passed its check takes its name.
      if (ok && !download.Commit()) {
        WriteLog(texts::kSaveDownloadError, true);
        ok = false;
      }
      ++attempts;
    } while (!ok && attempts < kMaxAttempts);

    if (!ok) {
      WriteLog(texts::kCannotDownload, true);
      if (g_pMainWnd) g_pMainWnd->MessageBox(texts::kCannotDownload, kMbOk | kMbIconInformation);
      return false;
    }
  }
  return true;
}
