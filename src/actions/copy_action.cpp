#include "actions/copy_action.h"

#include "actions/journal.h"
#include "actions/space_needs.h"
#include "env/config.h"
#include "env/replacing_file.h"
#include "env/texts.h"
#include "env/update_log.h"
#include "platform/env.h"
#include "platform/separators.h"

namespace {

// Two names of one file: the same path spelled differently, or a link to it.
bool SameFile(const std::string& a, const std::string& b) {
  platform::Fs& fs = platform::Env::Get().fs();
  platform::FileId idA;
  platform::FileId idB;
  return fs.GetFileId(a, &idA) == platform::kErrorSuccess &&
         fs.GetFileId(b, &idB) == platform::kErrorSuccess && idA == idB;
}

// The copy goes to a temporary beside the destination, which replaces the
// destination only once the copy is complete.
bool CopyReplacing(const std::string& from, const std::string& to, bool overwrite) {
  if (!overwrite && PathExists(to)) return false;
  ReplacingFile file;
  if (file.Prepare(to) != platform::kErrorSuccess ||
      file.CopyFrom(from) != platform::kErrorSuccess || file.Flush() != platform::kErrorSuccess) {
    return false;
  }
  JournalLeaves(file.Target(), file.TempPath());
  return file.Commit() == platform::kErrorSuccess;
}

}  // namespace

CopyAction::CopyAction() : Action("copy") { InitDefaults(); }

void CopyAction::InitDefaults() {
  m_szFrom.clear();
  m_szTo.clear();
  m_bMove = 1;
  m_bOverwrite = 1;
  DefineParams("description,from,to,move,overwrite", ",,,true,true");
}

int CopyAction::SetParam(const std::string& name, const std::string& value) {
  std::string key = ParamKey(name);
  if (key == "from") {
    m_szFrom = value;
  } else if (key == "to") {
    m_szTo = value;
  } else if (key == "move") {
    m_bMove = ParseFlag(value);
  } else if (key == "overwrite") {
    m_bOverwrite = ParseFlag(value);
  }
  return Action::SetParam(name, value);
}

std::unique_ptr<Action> CopyAction::Clone() const { return std::make_unique<CopyAction>(); }

void CopyAction::AddSpaceNeeded(SpaceNeeds* needs) const {
  platform::FileIdentity source;
  if (m_bMove ||
      platform::Env::Get().fs().GetIdentity(m_szFrom, &source) != platform::kErrorSuccess) {
    return;
  }
  std::string to = m_szTo;
  if (IsDirectory(to)) to = JoinPath(platform::TrimTrailingSeparators(to), SplitPath(m_szFrom));
  needs->Add(to, source.size);
  needs->AddAside(to);
}

int CopyAction::Execute() {
  LogDescription();
  if (!PathExists(m_szFrom)) {
    WriteLog(texts::kFileNotFound + m_szFrom, true);
    return 0;
  }
  if (IsDirectory(m_szTo)) {
    // A folder given with its trailing separator must still name the updater
    // exactly when the file lands on it, so no separator is doubled.
    m_szTo = JoinPath(platform::TrimTrailingSeparators(m_szTo), SplitPath(m_szFrom));
  }
  if (IsThisFile(m_szTo)) GetSelfUpdateName(m_szTo);

  // A copy onto itself is refused, as Windows refuses it.
  if (SameFile(m_szFrom, m_szTo)) return 0;
  if (!(m_bMove ? JournalWillMove(m_szFrom, m_szTo) : JournalWillReplace(m_szTo))) return 0;
  if (m_bMove) {
    if (platform::Env::Get().fs().MoveFile(m_szFrom, m_szTo) != platform::kErrorSuccess) return 0;
    JournalLeaves(m_szTo);
    return 1;
  }
  return CopyReplacing(m_szFrom, m_szTo, m_bOverwrite);
}
