#include "env/delete_tree.h"

#include <vector>

#include "env/config.h"
#include "platform/env.h"

bool DeleteTree(const std::string& path) {
  platform::Fs& fs = platform::Env::Get().fs();
  // An empty directory, or a link, goes at once.
  platform::Error err = fs.RemoveDir(path);
  if (err == platform::kErrorSuccess) return true;
  if (err != platform::kErrorDirNotEmpty) return false;

  std::vector<platform::DirEntry> entries;
  if (fs.ListDir(path, &entries) != platform::kErrorSuccess) return false;
  for (const platform::DirEntry& entry : entries) {
    std::string full = JoinPath(path, entry.name);
    if (entry.attributes & platform::kAttrReparsePoint) {
      platform::Error removed =
          (entry.attributes & platform::kAttrDirectory) ? fs.RemoveDir(full) : fs.DeleteFile(full);
      if (removed != platform::kErrorSuccess) return false;
    } else if (entry.attributes & platform::kAttrDirectory) {
      DeleteTree(full);
      fs.RemoveDir(full);
    } else {
      if (entry.attributes & platform::kAttrReadOnly) fs.SetAttributes(full, platform::kAttrNormal);
      if (fs.DeleteFile(full) != platform::kErrorSuccess) return false;
    }
  }
  return fs.RemoveDir(path) == platform::kErrorSuccess;
}
