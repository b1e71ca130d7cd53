// The shell: special folders, link files and file deletion without undo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/errors.h"
#include "platform/window_messages.h"

namespace platform {

// HRESULT values the shell's link operations answer with.
constexpr int32_t kSOk = 0;
constexpr int32_t kSFalse = 1;
constexpr int32_t kEFail = static_cast<int32_t>(0x80004005u);
constexpr int32_t HresultFromWin32(Error error) {
  return error == 0 ? kSOk : static_cast<int32_t>(0x80070000u | (error & 0xFFFFu));
}

// A link's properties, as IShellLinkA sets and gets them (system code page).
struct ShellLink {
  std::string target;
  std::string arguments;
  std::string description;
  std::string iconFile;
  int iconIndex = 0;
};

class Shell {
 public:
  virtual ~Shell() = default;
  // The file-system path of a special folder (CSIDL number), without a
  // trailing separator. False when the number has no path. With `create` the
  // POSIX back-end makes a missing XDG folder first; Windows asks the shell
  // for the folder as it is and never makes it.
  virtual bool GetSpecialFolderPath(int folder, bool create, std::string* path) = 0;
  // Writes a link file, replacing an existing one; on failure the file system
  // is left as it was. The description is always set; arguments and icon
  // location only when asked for.
  virtual bool SaveLink(const std::string& linkPath, const ShellLink& link, bool setArguments,
                        bool setIconLocation) = 0;
  // Loads a link file read-only and resolves it without user interface
  // (SLR_NO_UI | SLR_ANY_MATCH, `owner` as the window). The target comes in
  // its short form where the platform has one; a link without an icon
  // location reads as an empty icon file. An HRESULT, negative on failure
  // (*link then holds what was read before the failing step).
  virtual int32_t LoadLink(const std::string& linkPath, WindowId owner, ShellLink* link) = 0;
  // SHFileOperationA FO_DELETE without confirmation, error UI or undo.
  virtual bool DeleteForGood(const std::string& path) = 0;
  // The long form of an existing path and its length; 0 when there is none.
  virtual size_t GetLongPathForm(const std::string& path, std::string* longPath) = 0;
};

}  // namespace platform
