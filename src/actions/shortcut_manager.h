// Shell shortcuts (.lnk files) in the shell's special folders, named by the
// folder's number and the file name without ".lnk".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/window_messages.h"

class ShortcutManager {
 public:
  virtual ~ShortcutManager();

  // TRUE and the folder's path with a trailing separator, or FALSE when the
  // number names no file-system folder. With `create` a missing folder is made.
  int GetSpecialFolderPath(int folder, std::string& path, bool create = false);
  // Trims the texts, links an empty target to the updater itself, sets an
  // icon location only for a non-empty icon file, and saves the shortcut,
  // replacing an existing one. TRUE when it was saved.
  int CreateShortcut(int folder, std::string name, std::string target, std::string args,
                     std::string description, std::string iconFile, int iconIndex);
  // An HRESULT: negative when a step failed, 1 when the folder has no path;
  // the outputs change only on success. The target and icon file come in
  // their long form where they have one.
  int32_t ReadShortcut(platform::WindowId window, int folder, const std::string& name,
                       std::string& target, std::string& args, std::string& description,
                       std::string& iconFile, int& iconIndex);
  // Deletes the shortcut for good, without asking. TRUE when it was deleted.
  int DeleteShortcut(int folder, const std::string& name);
  // TRUE when a file or folder is at the shortcut's path.
  int ShortcutExists(int folder, const std::string& name);
  // The length of the path's long form (in *longPath), 0 when there is none.
  size_t GetLongPathForm(const std::string& path, std::string& longPath);

 private:
  // <folder path><name>.lnk
  bool ShortcutPath(int folder, const std::string& name, std::string& path, bool create = false);
};
