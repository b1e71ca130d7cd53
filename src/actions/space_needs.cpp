#include "actions/space_needs.h"

#include "actions/journal.h"
#include "env/config.h"
#include "env/http_download.h"
#include "platform/env.h"
#include "platform/replacement_temp.h"

namespace {

// The nearest folder on the way up that exists, and its volume.
bool VolumeOf(const std::string& path, std::string* folder, uint64_t* volume) {
  platform::Fs& fs = platform::Env::Get().fs();
  std::string at = path;
  for (int i = 0; i < 4096; ++i) {
    platform::FileId id;
    if (fs.GetFileId(at, &id) == platform::kErrorSuccess) {
      *folder = at;
      *volume = id.volume;
      return true;
    }
    std::string up = platform::FolderOfPath(at);
    if (up == at) return false;
    at = up;
  }
  return false;
}

}  // namespace

void SpaceNeeds::Add(const std::string& path, uint64_t bytes) {
  std::string folder;
  uint64_t volume = 0;
  if (!VolumeOf(platform::FolderOfPath(path), &folder, &volume)) return;
  Volume& v = m_volumes[volume];
  if (v.folder.empty()) v.folder = folder;
  v.bytes += bytes;
}

void SpaceNeeds::AddAside(const std::string& path) {
  platform::Fs& fs = platform::Env::Get().fs();
  platform::FileIdentity identity;
  if (fs.GetIdentity(path, &identity) != platform::kErrorSuccess ||
      (identity.attributes & (platform::kAttrDirectory | platform::kAttrReparsePoint))) {
    return;
  }
  std::string rollback = RollbackPathOf(g_szAppPath);
  std::string folder;
  uint64_t volume = 0;
  if (VolumeOf(rollback, &folder, &volume) && volume != identity.id.volume) {
    Add(rollback, identity.size);
  }
}

bool SpaceNeeds::Fit(std::string* folder) const {
  for (const auto& entry : m_volumes) {
    uint64_t free = 0;
    // A volume whose free space cannot be read is not held up.
    if (platform::Env::Get().fs().GetFreeBytes(entry.second.folder, &free) !=
        platform::kErrorSuccess) {
      continue;
    }
    if (free < kMinFreeSpace || free - kMinFreeSpace < entry.second.bytes) {
      *folder = entry.second.folder;
      return false;
    }
  }
  return true;
}
