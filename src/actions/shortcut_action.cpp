#include "actions/shortcut_action.h"

#include <cstdint>

#include "actions/scan_number.h"
#include "actions/shortcut_manager.h"
#include "env/main_window.h"
#include "env/mbstring.h"

namespace {

constexpr char kParamNames[] = "cmd,id,name,target,arg,lnkdesc,iconfile,iconindex,newitems";
constexpr char kParamDefaults[] = "create,0,,,,,,1,";
constexpr char kWhiteSpace[] = " \t\r\n\v\f";
constexpr char kCmdCreate[] = "create";
constexpr char kCmdUpdate[] = "update";
constexpr char kCmdDelete[] = "delete";

// "0x" or "0X" first: "%x", otherwise "%d". No number leaves the field alone.
void ScanFolderOrIndex(const std::string& value, int* field) {
  std::string text = value;
  text.erase(0, text.find_first_not_of(kWhiteSpace));
  int32_t number;
  bool hex = text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (hex ? ScanHex(text, &number) : ScanDecimal(text, &number)) *field = number;
}

}  // namespace

bool IsShortcutCommand(const std::string& cmd) {
  return cmd == kCmdCreate || cmd == kCmdUpdate || cmd == kCmdDelete;
}

std::vector<std::string> ShortcutCommands() { return {kCmdCreate, kCmdUpdate, kCmdDelete}; }

ShortcutAction::ShortcutAction() : Action("shortcut") { InitDefaults(); }

ShortcutAction::~ShortcutAction() = default;

void ShortcutAction::InitDefaults() {
  m_szCmd = kCmdCreate;
  m_nFolderId = 0;
  m_szName.clear();
  m_szTarget.clear();
  m_szArgs.clear();
  m_szLinkDesc.clear();
  m_szIconFile.clear();
  m_nIconIndex = 1;
  m_szNewItems.clear();
  DefineParams(kParamNames, kParamDefaults);
}

int ShortcutAction::SetParam(const std::string& name, const std::string& value) {
  std::string key = ParamKey(name);
  if (key == "cmd") {
    m_szCmd = MbsLower(TrimChars(value, kWhiteSpace));
    if (m_szCmd.empty()) m_szCmd = kCmdCreate;
  } else if (key == "id") {
    ScanFolderOrIndex(value, &m_nFolderId);
  } else if (key == "name") {
    m_szName = value;
  } else if (key == "target") {
    m_szTarget = value;
  } else if (key == "arg") {
    m_szArgs = value;
  } else if (key == "lnkdesc") {
    m_szLinkDesc = value;
  } else if (key == "iconfile") {
    m_szIconFile = value;
  } else if (key == "iconindex") {
    ScanFolderOrIndex(value, &m_nIconIndex);
  } else if (key == "newitems") {
    m_szNewItems = MbsLower(TrimChars(value, kWhiteSpace));
    ReplaceAll(&m_szNewItems, " ,", ",");
    m_szNewItems += ",";
  }
  return Action::SetParam(name, value);
}

int ShortcutAction::Execute() {
  LogDescription();
  if (m_szName.empty()) return 0;
  auto manager = std::make_unique<ShortcutManager>();
  int result = 0;
  if (m_szCmd == kCmdCreate) {
    result = manager->CreateShortcut(m_nFolderId, m_szName, m_szTarget, m_szArgs, m_szLinkDesc,
                                     m_szIconFile, m_nIconIndex);
  } else if (m_szCmd == kCmdUpdate) {
    if (manager->ShortcutExists(m_nFolderId, m_szName)) {
      std::string target, args, description, iconFile;
      int iconIndex = 0;
      platform::WindowId window = g_pMainWnd ? g_pMainWnd->GetWindowId() : 0;
      if (manager->ReadShortcut(window, m_nFolderId, m_szName, target, args, description, iconFile,
                                iconIndex) >= 0) {
        auto wanted = [this](const char* item) {
          return m_szNewItems.find(item) != std::string::npos;
        };
        if (wanted("target,")) target = m_szTarget;
        if (wanted("arg,")) args = m_szArgs;
        if (wanted("lnkdesc,")) description = m_szLinkDesc;
        if (wanted("iconfile,")) iconFile = m_szIconFile;
        if (wanted("iconindex,")) iconIndex = m_nIconIndex;
        result = manager->CreateShortcut(m_nFolderId, m_szName, target, args, description, iconFile,
                                         iconIndex);
      }
    }
  } else if (m_szCmd == kCmdDelete) {
    result = manager->DeleteShortcut(m_nFolderId, m_szName);
  }
  return result;
}

std::unique_ptr<Action> ShortcutAction::Clone() const { return std::make_unique<ShortcutAction>(); }
