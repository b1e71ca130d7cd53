#include "support/recording_action.h"

#include "actions/action_registry.h"
#include "env/config.h"

RecordingAction::RecordingAction(const std::string& type) : Action(type) { InitDefaults(); }

void RecordingAction::InitDefaults() {
  m_szFile.clear();
  m_szCmd.clear();
  m_szWhere.clear();
  m_szFrom.clear();
  m_nFlag = 0;
  DefineParams(kParams, kDefaults);
}

int RecordingAction::SetParam(const std::string& name, const std::string& value) {
  m_aSetCalls.push_back(name + "=" + value);
  std::string key = ParamKey(name);
  if (key == "file") {
    m_szFile = value;
  } else if (key == "cmd") {
    m_szCmd = value;
  } else if (key == "where") {
    m_szWhere = value;
  } else if (key == "from") {
    m_szFrom = value;
  } else if (key == "flag") {
    m_nFlag = ParseFlag(value);
  }
  return Action::SetParam(name, value);
}

int RecordingAction::Execute() {
  LogDescription();
  Journal().push_back(m_szType + " file=" + m_szFile + " cmd=" + m_szCmd + " where=" + m_szWhere +
                      " from=" + m_szFrom + " flag=" + std::to_string(m_nFlag) +
                      (PathExists(m_szFile) ? " exists" : ""));
  return 1;
}

std::unique_ptr<Action> RecordingAction::Clone() const {
  return std::make_unique<RecordingAction>(m_szType);
}

std::vector<std::string>& RecordingAction::Journal() {
  static std::vector<std::string> journal;
  return journal;
}

ScopedRecordingTypes::ScopedRecordingTypes(const std::vector<std::string>& types) {
  ClearActionTypes();
  RecordingAction::Journal().clear();
  for (const std::string& type : types) {
    RegisterActionType(type, std::make_unique<RecordingAction>(type));
  }
}

ScopedRecordingTypes::~ScopedRecordingTypes() {
  ClearActionTypes();
  RecordingAction::Journal().clear();
}
