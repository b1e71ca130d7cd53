#include "plan.h"

#include <tinyxml.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "actions/action_registry.h"
#include "actions/zip_extractor.h"
#include "client_setting.h"
#include "env/config.h"
#include "env/texts.h"
#include "manifest_texts.h"
#include "update/package_file_name.h"
#include "update/package_info.h"
#include "update/update_run.h"

using namespace manifesttexts;

namespace {

void Line(std::ostream& out, const std::string& text) { out << text << "\n"; }

void ShowLog(ClientSetting& client, std::ostream& out) {
  for (const std::string& line : client.TakeLog()) {
    Line(out, Format(kPlanUpdaterLogsFormat, line.c_str()));
  }
}

// The parameter table as bound: an absent attribute binds the empty text, not
// the type's default, and the action's own reading of that is its business.
void ShowAction(const Action& action, const TiXmlElement* element, int index, std::ostream& out) {
  Line(out, Format(kPlanActionFormat, index, action.GetType().c_str(), element->Row()));
  const std::vector<std::string>& names = action.GetParamNames();
  const std::vector<std::string>& values = action.GetParamValues();
  size_t width = 0;
  for (const std::string& name : names) width = std::max(width, name.size());
  for (size_t i = 0; i < names.size() && i < values.size(); ++i) {
    out << "         " << names[i] << std::string(width - names[i].size(), ' ') << " = \""
        << values[i] << "\"" << (element->Attribute(names[i].c_str()) ? "" : kPlanAbsent) << "\n";
  }
}

// The list's action elements beside the actions the updater made of them: an
// element whose type is not registered made none.
void ShowList(const TiXmlElement* packageElement, const char* listName,
              const std::vector<std::unique_ptr<Action>>& actions, std::ostream& out) {
  std::vector<const TiXmlElement*> elements = ActionElements(packageElement, listName);
  if (elements.empty()) {
    Line(out, Format(kPlanListNoneFormat, listName));
    return;
  }
  Line(out, Format(kPlanListFormat, listName));
  size_t next = 0;
  int index = 0;
  for (const TiXmlElement* e : elements) {
    const char* type = e->Attribute("type");
    ++index;
    if (!CreateAction(type ? type : "") || next >= actions.size()) {
      Line(out, Format(kPlanNotRegisteredFormat, index, e->Row(), type ? type : ""));
      continue;
    }
    ShowAction(*actions[next++], e, index, out);
  }
}

// The entries of the package file found in `filesDir`, in the order the unzip
// writes them.
void ShowEntries(const std::string& url, const std::string& filesDir, std::ostream& out) {
  std::string name = PackageFileName(url);
  if (filesDir.empty() || name.empty()) return;
  ZipExtractor zip;
  std::string path = JoinPath(filesDir, name);
  int count = zip.Open(path) ? zip.GetEntryCount() : 0;
  if (count == 0 || !zip.GoToFirstEntry()) return;
  Line(out, Format(kPlanEntriesFormat, path.c_str(), count));
  do {
    ZipEntryInfo info;
    if (!zip.GetEntryInfo(&info)) {
      Line(out, kPlanEntryUnreadable);
      return;
    }
    Line(out, info.m_nUnixMode
                  ? Format(kPlanUnixEntryFormat, info.m_szName.c_str(), info.m_nUnixMode)
                  : Format(kPlanEntryFormat, info.m_szName.c_str()));
  } while (zip.GoToNextEntry());
}

void ShowPackage(const PackageInfo& package, const TiXmlElement* element, int index,
                 const std::string& filesDir, std::ostream& out) {
  std::string name = package.m_szName.empty() ? "" : " \"" + package.m_szName + "\"";
  out << "\n";
  Line(out, Format(kPlanPackageFormat, index, name.c_str(), element->Row()));
  if (!package.m_szVersion.empty()) {
    Line(out, Format(kPlanVersionFormat, package.m_szVersion.c_str()));
  }
  if (!package.m_szDescription.empty()) {
    Line(out, Format(kPlanDescriptionFormat, package.m_szDescription.c_str()));
  }
  if (package.m_szUrl.empty()) {
    Line(out, Format(kPlanNoFileFormat, kThisFileVar));
  } else {
    Line(out, Format(kPlanFileFormat, package.m_szUrl.c_str()));
    Line(out, Format(kPlanSavedAsFormat, PackageLocalFile(package.m_szUrl).c_str(), kThisFileVar));
    if (package.m_szMd5.empty() && package.m_szSha256.empty() && package.m_szSize.empty()) {
      Line(out, kPlanNoMd5);
    }
    if (!package.m_szMd5.empty()) Line(out, Format(kPlanMd5Format, package.m_szMd5.c_str()));
    if (!package.m_szSha256.empty()) {
      Line(out, Format(kPlanSha256Format, package.m_szSha256.c_str()));
    }
    if (!package.m_szSize.empty()) Line(out, Format(kPlanSizeFormat, package.m_szSize.c_str()));
    ShowEntries(package.m_szUrl, filesDir, out);
  }
  ShowList(element, kActionListNames[0], package.m_listPreActions, out);
  ShowList(element, kActionListNames[1], package.m_listActions, out);
  ShowList(element, kActionListNames[2], package.m_listPostActions, out);
}

}  // namespace

bool PlanManifest(const std::string& text, const std::string& installed, const std::string& appPath,
                  std::ostream& out, const std::string& filesDir) {
  platform::SystemPaths& system = platform::Env::Get().paths();
  ClientPaths paths{appPath.empty() ? std::string(kAppPathVar) : appPath, system.WindowsDirectory(),
                    system.SystemDirectory()};
  ClientSetting client(installed, paths);
  UpdateRun run;
  bool loaded = run.LoadManifest(text);
  const TiXmlElement* root = loaded ? ManifestRoot(run.m_xmlDoc) : nullptr;
  Line(out, Format(kPlanInstalledFormat, installed.empty() ? kPlanNoInstalled : installed.c_str()));
  if (!root) {
    ShowLog(client, out);
    Line(out, Format(kPlanUnusableFormat, texts::kUpdateInfoWrong));
    return false;
  }
  Line(out, Format(kPlanManifestVersionFormat, run.m_szLatestVersion.c_str(), root->Row()));
  if (!CompareVersion(installed, run.m_szLatestVersion)) {
    Line(out, kPlanNotNewer);
    ShowLog(client, out);
    return true;
  }
  if (run.m_listPackages.empty()) {
    Line(out, kPlanNoPackages);
    return true;
  }
  size_t count = run.m_listPackages.size();
  Line(out, Format(kPlanNewerFormat, static_cast<int>(count), count == 1 ? "" : "s",
                   run.m_szLatestVersion.c_str()));
  std::vector<const TiXmlElement*> elements = PackageElements(root);
  for (size_t i = 0; i < count && i < elements.size(); ++i) {
    ShowPackage(*run.m_listPackages[i], elements[i], static_cast<int>(i + 1), filesDir, out);
  }
  return true;
}
