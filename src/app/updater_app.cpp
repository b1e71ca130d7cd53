#include "app/updater_app.h"

#include "env/config.h"
#include "env/main_window.h"
#include "env/mbstring.h"
#include "env/texts.h"

std::string AppNameFromPath(const std::string& path) {
  std::string name = SplitPath(path);
  size_t dot = MbsFindLast(name, '.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

UpdaterApp::UpdaterApp(std::vector<std::string> args, FrontEnd& frontEnd, UpdateRunner runner)
    : m_aArgs(std::move(args)), m_frontEnd(frontEnd), m_runUpdate(std::move(runner)) {}

bool UpdaterApp::InitInstance() {
  LoadConfig();
  m_szAppName = AppNameFromPath(g_szThisFile);
  if (g_szAppPath.empty()) {
    m_frontEnd.MessageBox(m_szAppName, texts::kInstallFirst, kMbOk | kMbIconStop);
    return false;
  }
  UpdateDialog dialog(m_aArgs, m_runUpdate);
  std::unique_ptr<DialogView> view = m_frontEnd.CreateDialogView(m_szAppName);
  g_pMainWnd = &dialog;
  dialog.DoModal(*view);
  g_pMainWnd = nullptr;
  return false;
}
