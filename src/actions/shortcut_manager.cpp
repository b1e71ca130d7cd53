#include "actions/shortcut_manager.h"

#include "actions/journal.h"
#include "env/config.h"
#include "env/mbstring.h"
#include "platform/env.h"
#include "platform/path_sep.h"

namespace {

constexpr char kWhiteSpace[] = " \t\r\n\v\f";

std::string Trim(const std::string& text) { return TrimChars(text, kWhiteSpace); }

}  // namespace

ShortcutManager::~ShortcutManager() = default;

int ShortcutManager::GetSpecialFolderPath(int folder, std::string& path, bool create) {
  std::string dir;
  if (!platform::Env::Get().shell().GetSpecialFolderPath(folder, create, &dir)) return 0;
  path = dir + platform::kPathSep;
  return 1;
}

bool ShortcutManager::ShortcutPath(int folder, const std::string& name, std::string& path,
                                   bool create) {
  std::string dir;
  if (!GetSpecialFolderPath(folder, dir, create)) return false;
  path = dir + name + ".lnk";
  return true;
}

int ShortcutManager::CreateShortcut(int folder, std::string name, std::string target,
                                    std::string args, std::string description, std::string iconFile,
                                    int iconIndex) {
  name = Trim(name);
  std::string path;
  // The special folder itself may be made below.
  if (g_pJournal && GetSpecialFolderPath(folder, path) && !JournalWillCreateDirs(path)) return 0;
  if (!ShortcutPath(folder, name, path, true) || !JournalWillWrite(path)) return 0;

  platform::ShellLink link;
  link.target = Trim(target);
  if (link.target.empty()) link.target = g_szThisFile.empty() ? GetThisFilePath() : g_szThisFile;
  link.arguments = Trim(args);
  link.description = Trim(description);
  link.iconFile = Trim(iconFile);
  link.iconIndex = iconIndex;
  if (!platform::Env::Get().shell().SaveLink(path, link, !link.arguments.empty(),
                                             !link.iconFile.empty())) {
    return 0;
  }
  JournalLeaves(path);
  return 1;
}

int32_t ShortcutManager::ReadShortcut(platform::WindowId window, int folder,
                                      const std::string& name, std::string& target,
                                      std::string& args, std::string& description,
                                      std::string& iconFile, int& iconIndex) {
  std::string path;
  if (!ShortcutPath(folder, name, path)) return platform::kSFalse;

  platform::ShellLink link;
  int32_t status = platform::Env::Get().shell().LoadLink(path, window, &link);
  if (status < 0) return status;
  target = link.target;
  args = link.arguments;
  description = link.description;
  iconFile = link.iconFile;
  iconIndex = link.iconIndex;

  // A long form longer than the text as read replaces it; a path that has
  // none (a network path, a missing file) stays exactly as read.
  std::string longPath;
  if (GetLongPathForm(target, longPath) > target.size()) target = longPath;
  if (GetLongPathForm(iconFile, longPath) > iconFile.size()) iconFile = longPath;
  return status;
}

int ShortcutManager::DeleteShortcut(int folder, const std::string& name) {
  std::string path;
  if (!ShortcutPath(folder, name, path) || !JournalWillWrite(path)) return 0;
  if (!platform::Env::Get().shell().DeleteForGood(path)) return 0;
  JournalLeaves(path);
  return 1;
}

int ShortcutManager::ShortcutExists(int folder, const std::string& name) {
  std::string path;
  if (!ShortcutPath(folder, name, path)) return 0;
  return PathExists(path) ? 1 : 0;
}

size_t ShortcutManager::GetLongPathForm(const std::string& path, std::string& longPath) {
  std::string trimmed = Trim(path);
  if (trimmed.empty()) return 0;
  return platform::Env::Get().shell().GetLongPathForm(trimmed, &longPath);
}
