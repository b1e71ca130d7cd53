#include "plan.h"

#include <tinyxml.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "actions/action_registry.h"
#include "app/texts.h"
#include "client_setting.h"
#include "env/config.h"
#include "env/mbstring.h"
#include "update/package_info.h"
#include "update/update_run.h"

namespace {

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

void ShowLog(ClientSetting& client, std::ostream& out) {
  for (const std::string& line : client.TakeLog()) {
    out << "the updater logs: " << TrimChars(line, "\r\n") << "\n";
  }
}

// The parameter table as bound: an absent attribute binds the empty text, not
// the type's default, and the action's own reading of that is its business.
void ShowAction(const Action& action, const TiXmlElement* element, int index, std::ostream& out) {
  out << "    " << index << ". " << action.GetType() << " (line " << element->Row() << ")\n";
  const std::vector<std::string>& names = action.GetParamNames();
  const std::vector<std::string>& values = action.GetParamValues();
  size_t width = 0;
  for (const std::string& name : names) width = std::max(width, name.size());
  for (size_t i = 0; i < names.size() && i < values.size(); ++i) {
    out << "         " << names[i] << std::string(width - names[i].size(), ' ') << " = "
        << Quote(values[i]) << (element->Attribute(names[i].c_str()) ? "" : " (attribute absent)")
        << "\n";
  }
}

// The list's action elements beside the actions the updater made of them: an
// element whose type is not registered made none.
void ShowList(const TiXmlElement* packageElement, const char* listName,
              const std::vector<std::unique_ptr<Action>>& actions, std::ostream& out) {
  std::vector<const TiXmlElement*> elements = ActionElements(packageElement, listName);
  if (elements.empty()) {
    out << "  " << listName << ": none\n";
    return;
  }
  out << "  " << listName << ":\n";
  size_t next = 0;
  int index = 0;
  for (const TiXmlElement* e : elements) {
    const char* type = e->Attribute("type");
    ++index;
    if (!CreateAction(type ? type : "") || next >= actions.size()) {
      out << "    " << index << ". (line " << e->Row() << ") type " << Quote(type ? type : "")
          << " is not registered: passed over\n";
      continue;
    }
    ShowAction(*actions[next++], e, index, out);
  }
}

void ShowPackage(const PackageInfo& package, const TiXmlElement* element, int index,
                 std::ostream& out) {
  out << "\npackage " << index;
  if (!package.m_szName.empty()) out << " " << Quote(package.m_szName);
  out << " (line " << element->Row() << ")\n";
  if (!package.m_szVersion.empty()) out << "  version: " << package.m_szVersion << "\n";
  if (!package.m_szDescription.empty()) {
    out << "  description: " << Quote(package.m_szDescription) << " (logged and shown first)\n";
  }
  if (package.m_szUrl.empty()) {
    out << "  file: none; only the actions run, and " << kThisFileVar << " is empty\n";
  } else {
    out << "  file: " << package.m_szUrl << "\n";
    out << "  saved as: " << PackageLocalFile(package.m_szUrl) << " (" << kThisFileVar
        << " in its actions)\n";
    if (package.m_szMd5.empty()) {
      out << "  md5: none; the file is not checked\n";
    } else {
      out << "  md5: " << package.m_szMd5 << " (checked after each download, three attempts at "
          << "most)\n";
    }
  }
  ShowList(element, kActionListNames[0], package.m_listPreActions, out);
  ShowList(element, kActionListNames[1], package.m_listActions, out);
  ShowList(element, kActionListNames[2], package.m_listPostActions, out);
}

}  // namespace

bool PlanManifest(const std::string& text, const std::string& installed, const std::string& appPath,
                  std::ostream& out) {
  platform::SystemPaths& system = platform::Env::Get().paths();
  ClientPaths paths{appPath.empty() ? std::string(kAppPathVar) : appPath, system.WindowsDirectory(),
                    system.SystemDirectory()};
  ClientSetting client(installed, paths);
  UpdateRun run;
  bool loaded = run.LoadManifest(text);
  const TiXmlElement* root = loaded ? ManifestRoot(run.m_xmlDoc) : nullptr;
  out << "installed version: " << (installed.empty() ? "(none)" : installed) << "\n";
  if (!root) {
    ShowLog(client, out);
    out << "the updater cannot use this manifest: it shows " << Quote(texts::kUpdateInfoWrong)
        << " and installs nothing\n";
    return false;
  }
  out << "manifest version: " << run.m_szLatestVersion << " (line " << root->Row() << ")\n";
  if (!CompareVersion(installed, run.m_szLatestVersion)) {
    out << "not newer: nothing is downloaded or run, and the installed version stays\n";
    ShowLog(client, out);
    return true;
  }
  std::vector<const TiXmlElement*> elements = PackageElements(root);
  if (run.m_listPackages.empty()) {
    out << "newer, but without packages: nothing is installed, and the installed version stays\n";
    return true;
  }
  out << "newer: the update runs " << run.m_listPackages.size() << " package"
      << (run.m_listPackages.size() == 1 ? "" : "s") << ", then records " << run.m_szLatestVersion
      << " as the installed version\n";
  for (size_t i = 0; i < run.m_listPackages.size() && i < elements.size(); ++i) {
    ShowPackage(*run.m_listPackages[i], elements[i], static_cast<int>(i + 1), out);
  }
  return true;
}
