#include "actions/unzip_action.h"

#include "actions/zip_extractor.h"
#include "env/config.h"
#include "env/main_window.h"
#include "env/texts.h"
#include "env/update_log.h"
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

  SetFileProgress(0, count);
  for (int k = 1;; ++k) {
    ZipEntryInfo info;
    bool ok = zip.GetEntryInfo(&info);
    std::string display =
        platform::CollapseDoubledSeparators(m_szWhere + platform::kPathSep + info.m_szName);
    WriteLog(texts::kUnzipping + display, true);

    if (!ok || !IsSafeEntryName(info.m_szName)) {
      ok = false;
    } else if (!m_szWhere.empty() && IsThisFile(display)) {
      // With an empty folder the display path's leading separator is not where
      // the entry would go, so only a real folder can name the updater.
      GetSelfUpdateName(display);
      ok = zip.ExtractEntryTo(display);
    } else {
      ok = zip.ExtractEntry(m_szWhere);
    }
    if (!ok) {
      zip.Close();
      WriteLog(texts::kUnzipError + display, true);
      return 0;
    }
    SetFileProgress(k, -1);

    if (!zip.GoToNextEntry()) {
      zip.Close();
      // The walk ended before the archive's own count: the rest of its
      // directory cannot be read, and the extraction is not complete.
      if (k < count) {
        WriteLog(texts::kUnzipError + m_szFile, true);
        return 0;
      }
      WriteLog(texts::kUnzipDone, true);
      return 1;
    }
  }
}
