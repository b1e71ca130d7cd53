#include "actions/run_action.h"

#include "actions/process_launcher.h"
#include "env/config.h"

RunAction::RunAction() : Action("run") { InitDefaults(); }

void RunAction::InitDefaults() {
  m_szArgs.clear();
  m_szCmd.clear();
  m_bWait = true;
  DefineParams("description,cmd,args,async", ",,,false");
}

int RunAction::SetParam(const std::string& name, const std::string& value) {
  std::string key = ParamKey(name);
  if (key == "args") {
    m_szArgs = value;
  } else if (key == "cmd" || key == "file") {
    m_szCmd = value;
  } else if (key == "async") {
    m_bWait = WaitFromAsync(value);
  }
  return Action::SetParam(name, value);
}

int RunAction::Execute() {
  LogDescription();
  // A cmd that names one existing file is that program, blanks and all; one
  // that carries its own arguments is taken as written.
  std::string program = m_szCmd;
  if (PathExists(program) && !IsDirectory(program)) program = QuotedProgramPath(program);
  std::string commandLine = program + " " + m_szArgs;
  if (!m_bWait) return StartProgram(commandLine, false);
  // A waited-for program that did not start or ended with another code than
  // 0 has failed.
  bool endedWell = false;
  return RunAndWait(commandLine, &endedWell) && endedWell;
}

std::unique_ptr<Action> RunAction::Clone() const { return std::make_unique<RunAction>(); }
