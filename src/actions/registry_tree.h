// Registry values and whole keys as the journal saves and writes them back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry_store.h"

struct RegistryValue {
  bool exists = false;
  uint32_t type = 0;
  std::string data;
  bool operator==(const RegistryValue& o) const {
    return exists == o.exists && (!exists || (type == o.type && data == o.data));
  }
};

// The value as it is now; false when it could not be read (a missing key or
// value is read: it does not exist).
bool QueryRegistryValue(platform::RootKey root, const std::string& subKey, const std::string& name,
                        RegistryValue* value);
// Writes the value, or deletes it; a value found as wanted is not written
// again, so that a hive that cannot be written does not keep an undo from
// ending when nothing is to be done.
bool PutRegistryValue(platform::RootKey root, const std::string& subKey, const std::string& name,
                      const RegistryValue& value);
// The key's values and sub keys appended as entries, parents before children
// ("K" and the path below the key; "V", that path, name, type and data).
// *found is false when there is no such key. False on any error but the end
// of a list: a tree is saved whole or not at all.
bool SaveRegistryTree(platform::RootKey root, const std::string& key,
                      std::vector<std::string>* entries, bool* found);
// Makes the keys and writes the values of the entries from `first` on.
bool RestoreRegistryTree(platform::RootKey root, const std::string& key,
                         const std::vector<std::string>& entries, size_t first);
// True when every key and value of the key as it is now is among the entries
// from `first` on: at most what the deletion had not reached yet.
bool RegistryTreeWithin(platform::RootKey root, const std::string& key,
                        const std::vector<std::string>& entries, size_t first);
