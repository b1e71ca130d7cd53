// The room the writes of an unzip or of a whole atomic update need, volume
// by volume, looked at before anything is changed: each volume must keep
// kMinFreeSpace free after them.
#pragma once

#include <cstdint>
#include <map>
#include <string>

class SpaceNeeds {
 public:
  // `bytes` will be written at `path` (a path that need not exist yet).
  void Add(const std::string& path, uint64_t bytes);
  // An atomic update will keep what is at `path` aside in the rollback
  // folder: free on its volume (a second name), a copy on another.
  void AddAside(const std::string& path);
  // True when every volume has the room; otherwise `folder` names one that
  // has not.
  bool Fit(std::string* folder) const;

 private:
  struct Volume {
    std::string folder;
    uint64_t bytes = 0;
  };
  std::map<uint64_t, Volume> m_volumes;
};
