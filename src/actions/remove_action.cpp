#include "actions/remove_action.h"

#include "actions/journal.h"
#include "actions/space_needs.h"
#include "env/config.h"
#include "env/delete_tree.h"
#include "platform/env.h"
#include "platform/separators.h"

RemoveAction::RemoveAction() : Action("remove") { InitDefaults(); }

void RemoveAction::InitDefaults() {
  m_szPath.clear();
  DefineParams("description,path", ",");
}

int RemoveAction::SetParam(const std::string& name, const std::string& value) {
  if (ParamKey(name) == "path") m_szPath = value;
  return Action::SetParam(name, value);
}

std::unique_ptr<Action> RemoveAction::Clone() const { return std::make_unique<RemoveAction>(); }

void RemoveAction::AddSpaceNeeded(SpaceNeeds* needs) const {
  needs->AddAside(platform::TrimTrailingSeparators(m_szPath));
}

int RemoveAction::Execute() {
  LogDescription();
  // "link/" names what the link points to; without the separator the link
  // itself is examined and removed, and its target is never walked.
  std::string path = platform::TrimTrailingSeparators(m_szPath);
  if (!PathExists(path)) return 0;
  // Kept aside, so that it can be put back.
  if (g_pJournal && !IsThisFile(path)) return g_pJournal->RemoveAside(path);
  // A link to a directory reads as a directory; DeleteTree removes the link.
  if (IsDirectory(path)) return DeleteTree(path);
  if (IsThisFile(path)) return 1;
  // Not the C library's remove: a read-only file must fail here as on Windows,
  // also for root.
  return platform::Env::Get().fs().DeleteFile(path) == platform::kErrorSuccess;
}
