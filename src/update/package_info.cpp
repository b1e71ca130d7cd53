#include "update/package_info.h"

#include <tinyxml.h>

#include "actions/action_registry.h"
#include "app/main_window.h"
#include "app/texts.h"
#include "env/config.h"
#include "env/http_download.h"
#include "env/mbstring.h"
#include "env/update_log.h"
#include "update/file_md5.h"

namespace {

constexpr int kMaxAttempts = 3;

// The text of the first child element of that name: the first child node's
// text as the parser condensed it; empty when either is missing.
std::string ChildText(const TiXmlElement* parent, const char* name) {
  const TiXmlElement* child = parent->FirstChildElement(name);
  const char* text = child ? child->GetText() : nullptr;
  return text ? text : "";
}

// The first "action" child and every sibling element after it, whatever its
// name; elements before the first "action" are passed over.
void LoadActions(const TiXmlElement* package, const char* listName,
                 std::vector<std::unique_ptr<Action>>* list) {
  const TiXmlElement* holder = package->FirstChildElement(listName);
  if (!holder) return;
  for (const TiXmlElement* e = holder->FirstChildElement("action"); e;
       e = e->NextSiblingElement()) {
    const char* type = e->Attribute("type");
    std::unique_ptr<Action> action = CreateAction(type ? type : "");
    if (!action) continue;
    action->LoadFromElement(e);
    list->push_back(std::move(action));
  }
}

void RunActions(const std::vector<std::unique_ptr<Action>>& list, const std::string& localFile) {
  for (const std::unique_ptr<Action>& action : list) {
    action->SubstituteThisFile(localFile);
    action->Execute();
  }
}

}  // namespace

PackageInfo::PackageInfo() = default;

PackageInfo::~PackageInfo() = default;

int PackageInfo::LoadFromXml(const TiXmlElement* element) {
  if (!element) return 1;
  const char* name = element->Attribute("name");
  m_szName = name ? name : "";
  m_szVersion = ChildText(element, "version");
  m_szDescription = ChildText(element, "description");
  if (element->FirstChildElement("url")) m_szUrl = ChildText(element, "url");
  if (!m_szUrl.empty() && element->FirstChildElement("md5")) m_szMd5 = ChildText(element, "md5");
  LoadActions(element, "pre-actions", &m_listPreActions);
  LoadActions(element, "actions", &m_listActions);
  LoadActions(element, "post-actions", &m_listPostActions);
  return 1;
}

int PackageInfo::Process() {
  if (!m_szDescription.empty()) WriteLog(m_szDescription, true);
  m_szLocalFile.clear();

  if (!m_szUrl.empty()) {
    bool ok = false;
    int attempts = 0;
    do {
      // The downloader may have rewritten the URL on a failed attempt: the name
      // comes from the URL as it now stands.
      m_szLocalFile = CollapseSeparators(JoinPath(g_szDownloadPath, UrlFileName(m_szUrl)));
      WriteLog(texts::kDownloadingFile + m_szUrl, true);
      ok = HttpDownload(m_szUrl, m_szLocalFile, true, true);
      if (ok && !m_szMd5.empty()) {
        WriteLog(texts::kCheckingFile, true);
        // No digest (the file cannot be read) never matches.
        std::string digest = FileMd5Hex(m_szLocalFile);
        if (digest.empty() || !MbsEqualNoCase(digest, m_szMd5)) {
          WriteLog(texts::kFileCheckFailed, true);
          ok = false;
        } else {
          WriteLog(texts::kFileCheckOk, true);
        }
      }
      ++attempts;
    } while (!ok && attempts < kMaxAttempts);

    if (!ok) {
      WriteLog(texts::kCannotDownload, true);
      if (g_pMainWnd) g_pMainWnd->MessageBox(texts::kCannotDownload, kMbOk | kMbIconInformation);
    }
  }

  // The actions run whether the file came or not.
  RunActions(m_listPreActions, m_szLocalFile);
  RunActions(m_listActions, m_szLocalFile);
  RunActions(m_listPostActions, m_szLocalFile);
  return 1;
}
