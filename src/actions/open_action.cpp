#include "actions/open_action.h"

#include "actions/process_launcher.h"
#include "env/config.h"

OpenAction::OpenAction() : Action("open") { InitDefaults(); }

void OpenAction::InitDefaults() {
  m_szFile.clear();
  m_bWait = true;
  DefineParams("description,file,async", ",,false");
}

int OpenAction::SetParam(const std::string& name, const std::string& value) {
  std::string key = ParamKey(name);
  if (key == "file" || key == "cmd") {
    m_szFile = value;
  } else if (key == "async") {
    m_bWait = WaitFromAsync(value);
  }
  return Action::SetParam(name, value);
}

int OpenAction::Execute() {
  LogDescription();
  if (!PathExists(m_szFile)) return 0;
  return StartProgram(QuotedProgramPath(m_szFile), m_bWait);
}

std::unique_ptr<Action> OpenAction::Clone() const { return std::make_unique<OpenAction>(); }
