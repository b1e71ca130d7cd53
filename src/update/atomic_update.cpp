#include "update/atomic_update.h"

#include <tinyxml.h>

#include "actions/journal.h"
#include "actions/space_needs.h"
#include "env/config.h"
#include "env/installed_version.h"
#include "env/mbstring.h"
#include "env/texts.h"
#include "env/update_log.h"

const char kAtomicAttribute[] = "atomic";

namespace {

bool JournalVersionValue(platform::RootKey root, const std::string& subKey, const std::string& name,
                         const std::string& data, uint32_t type) {
  return JournalWillChangeValue(root, subKey, name, &data, type);
}

// Every volume the actions write to has room for all of it and for the
// asides the journal will keep.
bool RoomForEverything(const std::vector<std::unique_ptr<PackageInfo>>& packages) {
  SpaceNeeds needs;
  for (const std::unique_ptr<PackageInfo>& package : packages) package->AddSpaceNeeded(&needs);
  std::string full;
  if (needs.Fit(&full)) return true;
  WriteLog(texts::kNotEnoughSpace + full, true);
  return false;
}

}  // namespace

bool IsAtomicManifest(const TiXmlElement* root) {
  const char* value = root ? root->Attribute(kAtomicAttribute) : nullptr;
  return value && MbsEqualNoCase(value, "true");
}

bool RunPackagesAtomically(const std::vector<std::unique_ptr<PackageInfo>>& packages,
                           const std::string& version, void (*progress)(int done)) {
  // Nothing is changed before every file is here and has room.
  for (const std::unique_ptr<PackageInfo>& package : packages) {
    if (!package->Fetch()) {
      WriteLog(texts::kUpdateIncomplete, true);
      return false;
    }
  }
  if (!RoomForEverything(packages)) {
    WriteLog(texts::kUpdateIncomplete, true);
    return false;
  }

  std::string folder = RollbackPathOf(g_szAppPath);
  Journal journal(folder);
  Journal::Status begun = journal.Begin(g_szAppPath, g_szVersion);
  if (begun != Journal::Status::kOk) {
    WriteLog(begun == Journal::Status::kUntrusted ? texts::kAtomicRefused + folder
                                                  : std::string(texts::kUpdateIncomplete),
             true);
    return false;
  }
  g_pJournal = &journal;
  bool ok = true;
  int done = 0;
  for (const std::unique_ptr<PackageInfo>& package : packages) {
    ok = package->RunAllActions(true);
    if (!ok) break;
    progress(++done);
  }
  // The version is one more change under the journal; removing the journal
  // is the commit.
  if (ok) ok = SetInstalledVersion(version, JournalVersionValue);
  g_pJournal = nullptr;

  if (ok && journal.Commit()) return true;
  // What could not be put back stays in the journal for the next start.
  WriteLog(journal.Undo(g_szAppPath) == Journal::Status::kOk ? texts::kUpdateRolledBack
                                                             : texts::kUpdateIncomplete,
           true);
  return false;
}

bool RecoverUnfinishedUpdate() {
  std::string folder = RollbackPathOf(g_szAppPath);
  Journal journal(folder);
  switch (journal.Undo(g_szAppPath)) {
    case Journal::Status::kNone:
      return true;
    case Journal::Status::kUntrusted:
      // Nobody can say what wrote it: it is not acted on, not even emptied.
      WriteLog(texts::kRollbackFolderUntrusted + folder, false);
      return true;
    case Journal::Status::kOk:
      WriteLog(texts::kLastUpdateRolledBack, true);
      // The version the undo put back, which start-up may not have read.
      if (!journal.FromVersion().empty()) g_szVersion = journal.FromVersion();
      return true;
    case Journal::Status::kBad:
    case Journal::Status::kFailed:
      break;
  }
  WriteLog(texts::kLastUpdateNotRestored, true);
  return false;
}
