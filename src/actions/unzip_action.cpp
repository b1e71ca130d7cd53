#include "actions/unzip_action.h"

#include "actions/journal.h"
#include "actions/space_needs.h"
#include "actions/zip_extractor.h"
#include "env/config.h"
#include "env/main_window.h"
#include "env/texts.h"
#include "env/update_log.h"
#include "platform/replacement_temp.h"
#include "platform/separators.h"

namespace {

void SetFileProgress(int position, int range) {
  if (g_pMainWnd) g_pMainWnd->SetFileProgress(position, range);
}

}  // namespace

UnzipAction::UnzipAction() : Action("unzip") { InitDefaults(); }

void UnzipAction::InitDefaults() {
  m_szFile.clear();
  m_szWhere.clear();
  DefineParams("description,file,where", ",,");
}

int UnzipAction::SetParam(const std::string& name, const std::string& value) {
  std::string key = ParamKey(name);
  if (key == "where") {
    m_szWhere = value;
  } else if (key == "file") {
    m_szFile = value;
  }
  return Action::SetParam(name, value);
}

std::unique_ptr<Action> UnzipAction::Clone() const { return std::make_unique<UnzipAction>(); }

std::string UnzipAction::DisplayPath(const std::string& name) const {
  return platform::CollapseDoubledSeparators(m_szWhere + platform::kPathSep + name);
}

std::vector<UnzipAction::Planned> UnzipAction::Plan(ZipExtractor& zip) const {
  std::vector<Planned> plan;
  if (!zip.GoToFirstEntry()) return plan;
  do {
    ZipEntryInfo info;
    if (!zip.GetEntryInfo(&info) || !IsSafeEntryName(info.m_szName)) continue;
    Planned entry;
    entry.size = info.m_nSize;
    entry.directory = info.m_bIsDirectory;
    std::string display = DisplayPath(info.m_szName);
    if (!m_szWhere.empty() && IsThisFile(display)) {
      GetSelfUpdateName(entry.path);
      entry.directory = false;
    } else {
      entry.path = EntryDestination(m_szWhere, info.m_szName);
    }
    plan.push_back(entry);
  } while (zip.GoToNextEntry());
  return plan;
}

void UnzipAction::AddNeeds(const std::vector<Planned>& plan, bool asides, SpaceNeeds* needs) const {
  for (const Planned& entry : plan) {
    if (entry.directory) continue;
    needs->Add(entry.path, entry.size);
    if (asides) needs->AddAside(entry.path);
  }
}

void UnzipAction::AddSpaceNeeded(SpaceNeeds* needs) const {
  ZipExtractor zip;
  if (zip.Open(m_szFile)) AddNeeds(Plan(zip), true, needs);
}

int UnzipAction::Execute() {
  LogDescription();
  if (!PathExists(m_szFile)) {
    WriteLog(texts::kFileNotFound + m_szFile, true);
    return 0;
  }

  ZipExtractor zip;
  zip.Open(m_szFile);
  // Not an archive, an empty one and an unreadable one all end here, silently.
  int count = zip.GetEntryCount();
  if (count == 0 || !zip.GoToFirstEntry()) return 0;

  // Nothing is written when a volume has too little room for all of it.
  std::vector<Planned> plan = Plan(zip);
  SpaceNeeds needs;
  AddNeeds(plan, g_pJournal != nullptr, &needs);
  std::string full;
  if (!needs.Fit(&full)) {
    WriteLog(texts::kNotEnoughSpace + full, true);
    return 0;
  }
  // An atomic update writes the records of every entry and flushes them
  // once, before the first entry is written.
  if (g_pJournal) {
    JournalBatch batch;
    bool journaled = JournalWillCreateDirs(m_szWhere);
    for (size_t i = 0; journaled && i < plan.size(); ++i) {
      const Planned& entry = plan[i];
      journaled = entry.directory ? JournalWillCreateDirs(entry.path)
                                  : JournalWillCreateDirs(platform::FolderOfPath(entry.path)) &&
                                        JournalWillReplace(entry.path);
    }
    if (!batch.End() || !journaled) {
      WriteLog(texts::kUnzipError + m_szFile, true);
      return 0;
    }
  }
  if (!zip.GoToFirstEntry()) return 0;

  SetFileProgress(0, count);
  // The display path of every entry handed to the extractor, by its number
  // there: a failure may be that of an entry written before.
  std::vector<std::string> shown;
  auto fail = [&](const std::string& what) {
    zip.Close();
    WriteLog(texts::kUnzipError + what, true);
    return 0;
  };
  auto failedEntry = [&] {
    int failed = zip.FailedEntry();
    return failed >= 0 && static_cast<size_t>(failed) < shown.size() ? shown[failed] : m_szFile;
  };
  for (int k = 1;; ++k) {
    ZipEntryInfo info;
    bool ok = zip.GetEntryInfo(&info);
    std::string display = DisplayPath(info.m_szName);
    WriteLog(texts::kUnzipping + display, true);

    if (!ok || !IsSafeEntryName(info.m_szName)) {
      // The entries written before take their names first.
      if (!zip.PlaceWritten()) return fail(failedEntry());
      return fail(display);
    }
    if (!m_szWhere.empty() && IsThisFile(display)) {
      // With an empty folder the display path's leading separator is not where
      // the entry would go, so only a real folder can name the updater.
      GetSelfUpdateName(display);
      shown.push_back(display);
      ok = zip.ExtractEntryTo(display);
    } else {
      shown.push_back(display);
      ok = zip.ExtractEntry(m_szWhere);
    }
    if (!ok) return fail(failedEntry());
    SetFileProgress(k, -1);

    if (!zip.GoToNextEntry()) {
      if (!zip.PlaceWritten()) return fail(failedEntry());
      // The walk ended before the archive's own count: the rest of its
      // directory cannot be read, and the extraction is not complete.
      if (k < count) return fail(m_szFile);
      zip.Close();
      WriteLog(texts::kUnzipDone, true);
      return 1;
    }
  }
}
