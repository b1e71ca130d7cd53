// The application object: loads the configuration, refuses to run without an
// installed product, and otherwise runs the update dialog until it is closed.
#pragma once

#include <string>
#include <vector>

#include "app/dialog_view.h"
#include "app/update_dialog.h"

// The executable's file name without its extension: the caption of every
// message box.
std::string AppNameFromPath(const std::string& path);

class UpdaterApp {
 public:
  // `args`: the command line after the program name.
  UpdaterApp(std::vector<std::string> args, FrontEnd& frontEnd, UpdateRunner runner = RunNewUpdate);

  // The whole life of the process: LoadConfig, then the "Please install" box or
  // the dialog. g_pMainWnd refers to the dialog only while it runs. Returns
  // false, as there is nothing to run afterwards.
  bool InitInstance();

  const std::string& AppName() const { return m_szAppName; }

 private:
  std::vector<std::string> m_aArgs;
  std::string m_szAppName;
  FrontEnd& m_frontEnd;
  UpdateRunner m_runUpdate;
};
