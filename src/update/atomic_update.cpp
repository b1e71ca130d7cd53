#include "update/atomic_update.h"

#include <tinyxml.h>

#include "actions/journal.h"
#include "env/config.h"
#include "env/mbstring.h"
#include "env/texts.h"
#include "env/update_log.h"

const char kAtomicAttribute[] = "atomic";

bool IsAtomicManifest(const TiXmlElement* root) {
  const char* value = root ? root->Attribute(kAtomicAttribute) : nullptr;
  return value && MbsEqualNoCase(value, "true");
}

bool RunPackagesAtomically(const std::vector<std::unique_ptr<PackageInfo>>& packages,
                           void (*progress)(int done)) {
  // Nothing is changed before every file is here.
  for (const std::unique_ptr<PackageInfo>& package : packages) {
    if (!package->Fetch()) {
      WriteLog(texts::kUpdateIncomplete, true);
      return false;
    }
  }

  Journal journal(RollbackPathOf(g_szAppPath));
  if (!journal.Begin()) {
    WriteLog(texts::kUpdateIncomplete, true);
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
  g_pJournal = nullptr;

  if (ok && journal.Remove()) return true;
  // What could not be put back stays in the journal for the next start.
  WriteLog(journal.Undo() ? texts::kUpdateRolledBack : texts::kUpdateIncomplete, true);
  return false;
}

void RecoverUnfinishedUpdate() {
  Journal journal(RollbackPathOf(g_szAppPath));
  if (journal.Exists() && journal.Undo()) WriteLog(texts::kLastUpdateRolledBack, true);
}
