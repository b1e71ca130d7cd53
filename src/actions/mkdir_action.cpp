#include "actions/mkdir_action.h"

#include "actions/journal.h"
#include "env/config.h"
#include "platform/separators.h"

MkdirAction::MkdirAction() : Action("mkdir") { InitDefaults(); }

void MkdirAction::InitDefaults() {
  m_szDir.clear();
  DefineParams("description,dir", ",");
}

int MkdirAction::SetParam(const std::string& name, const std::string& value) {
  if (ParamKey(name) == "dir") m_szDir = value;
  return Action::SetParam(name, value);
}

std::unique_ptr<Action> MkdirAction::Clone() const { return std::make_unique<MkdirAction>(); }

int MkdirAction::Execute() {
  LogDescription();
  if (PathExists(m_szDir)) return 1;
  // "a/b/c/" would be created through "a/b/c" and then found existing by its
  // own last step: the trailing separators go first.
  std::string dir = platform::TrimTrailingSeparators(m_szDir);
  if (!JournalWillCreateDirs(dir)) return 0;
  return CreateDirectoryTree(dir);
}
