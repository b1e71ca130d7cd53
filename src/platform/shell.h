// The shell: special folders, link files and file deletion without undo.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

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
  // trailing separator. False when the number has no path.
  virtual bool GetSpecialFolderPath(int folder, std::string* path) = 0;
  // Writes a link file, replacing an existing one. Arguments and icon location
  // are set only when asked for.
  virtual bool SaveLink(const std::string& linkPath, const ShellLink& link, bool setArguments,
                        bool setIconLocation) = 0;
  // Reads a link file; an HRESULT, negative on failure.
  virtual int32_t LoadLink(const std::string& linkPath, ShellLink* link) = 0;
  // SHFileOperationA FO_DELETE without confirmation, error UI or undo.
  virtual bool DeleteForGood(const std::string& path) = 0;
};

}  // namespace platform
