#include "actions/registry_tree.h"

#include <memory>
#include <set>

#include "platform/env.h"

using platform::kErrorSuccess;

namespace {

constexpr char kRegistrySep = '\\';
constexpr char kTreeKey[] = "K";
constexpr char kTreeValue[] = "V";

platform::RegistryStore& Registry() { return platform::Env::Get().registry(); }

uint32_t ToU32(const std::string& text) {
  return static_cast<uint32_t>(std::strtoul(text.c_str(), nullptr, 10));
}

std::string SubPath(const std::string& key, const std::string& rel) {
  return rel.empty() ? key : key + kRegistrySep + rel;
}

bool QueryOpen(platform::RegistryHandle* key, const std::string& name, RegistryValue* value) {
  platform::RegistryStore& reg = Registry();
  uint32_t size = 0;
  *value = RegistryValue();
  platform::Error err = reg.QueryValue(key, name, &value->type, nullptr, &size);
  if (err == platform::kErrorFileNotFound) return true;
  if (err != kErrorSuccess) return false;
  value->data.assign(size, '\0');
  if (size > 0 &&
      reg.QueryValue(key, name, &value->type, &value->data[0], &size) != kErrorSuccess) {
    return false;
  }
  value->data.resize(size);
  value->exists = true;
  return true;
}

bool SaveTree(platform::RootKey root, const std::string& key, const std::string& rel,
              std::vector<std::string>* entries) {
  platform::RegistryStore& reg = Registry();
  std::unique_ptr<platform::RegistryHandle> handle;
  if (reg.OpenKey(root, SubPath(key, rel), platform::kKeyRead, &handle) != kErrorSuccess) {
    return false;
  }
  entries->insert(entries->end(), {kTreeKey, rel});
  std::string name, data;
  uint32_t type = 0;
  platform::Error err = kErrorSuccess;
  for (uint32_t i = 0; (err = reg.EnumValue(handle.get(), i, &name, &type, &data)) == kErrorSuccess;
       ++i) {
    entries->insert(entries->end(), {kTreeValue, rel, name, std::to_string(type), data});
  }
  if (err != platform::kErrorNoMoreItems) return false;
  std::vector<std::string> children;
  for (uint32_t i = 0; (err = reg.EnumKey(handle.get(), i, &name)) == kErrorSuccess; ++i) {
    children.push_back(name);
  }
  if (err != platform::kErrorNoMoreItems) return false;
  handle.reset();
  for (const std::string& child : children) {
    if (!SaveTree(root, key, rel.empty() ? child : rel + kRegistrySep + child, entries)) {
      return false;
    }
  }
  return true;
}

// The entries from `first` as one text each; false when they are not whole.
bool EntryTexts(const std::vector<std::string>& e, size_t first, std::set<std::string>* texts) {
  for (size_t i = first; i < e.size();) {
    if (e[i] == kTreeKey && i + 1 < e.size()) {
      texts->insert(e[i] + '\0' + e[i + 1]);
      i += 2;
    } else if (e[i] == kTreeValue && i + 4 < e.size()) {
      texts->insert(e[i] + '\0' + e[i + 1] + '\0' + e[i + 2] + '\0' + e[i + 3] + '\0' + e[i + 4]);
      i += 5;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

bool QueryRegistryValue(platform::RootKey root, const std::string& subKey, const std::string& name,
                        RegistryValue* value) {
  std::unique_ptr<platform::RegistryHandle> handle;
  *value = RegistryValue();
  platform::Error err = Registry().OpenKey(root, subKey, platform::kKeyQueryValue, &handle);
  if (err == platform::kErrorFileNotFound) return true;
  return err == kErrorSuccess && QueryOpen(handle.get(), name, value);
}

bool PutRegistryValue(platform::RootKey root, const std::string& subKey, const std::string& name,
                      const RegistryValue& value) {
  RegistryValue now;
  if (QueryRegistryValue(root, subKey, name, &now) && now == value) return true;
  platform::RegistryStore& reg = Registry();
  std::unique_ptr<platform::RegistryHandle> handle;
  if (!value.exists) {
    if (reg.OpenKey(root, subKey, platform::kKeyAllAccess, &handle) != kErrorSuccess) return false;
    platform::Error err = reg.DeleteValue(handle.get(), name);
    return err == kErrorSuccess || err == platform::kErrorFileNotFound;
  }
  return reg.CreateKey(root, subKey, platform::kKeyAllAccess, &handle) == kErrorSuccess &&
         reg.SetValue(handle.get(), name, value.type, value.data.data(), value.data.size()) ==
             kErrorSuccess;
}

bool SaveRegistryTree(platform::RootKey root, const std::string& key,
                      std::vector<std::string>* entries, bool* found) {
  std::unique_ptr<platform::RegistryHandle> handle;
  platform::Error err = Registry().OpenKey(root, key, platform::kKeyRead, &handle);
  *found = err != platform::kErrorFileNotFound;
  if (!*found) return true;
  return err == kErrorSuccess && SaveTree(root, key, "", entries);
}

bool RestoreRegistryTree(platform::RootKey root, const std::string& key,
                         const std::vector<std::string>& e, size_t first) {
  platform::RegistryStore& reg = Registry();
  for (size_t i = first; i < e.size();) {
    if (e[i] == kTreeKey && i + 1 < e.size()) {
      std::unique_ptr<platform::RegistryHandle> handle;
      std::string path = SubPath(key, e[i + 1]);
      if (reg.OpenKey(root, path, platform::kKeyRead, &handle) != kErrorSuccess &&
          reg.CreateKey(root, path, platform::kKeyAllAccess, &handle) != kErrorSuccess) {
        return false;
      }
      i += 2;
    } else if (e[i] == kTreeValue && i + 4 < e.size()) {
      RegistryValue value{true, ToU32(e[i + 3]), e[i + 4]};
      if (!PutRegistryValue(root, SubPath(key, e[i + 1]), e[i + 2], value)) return false;
      i += 5;
    } else {
      return false;
    }
  }
  return true;
}

bool RegistryTreeWithin(platform::RootKey root, const std::string& key,
                        const std::vector<std::string>& entries, size_t first) {
  std::vector<std::string> now;
  bool found = false;
  std::set<std::string> saved, current;
  if (!SaveRegistryTree(root, key, &now, &found) || !EntryTexts(entries, first, &saved) ||
      !EntryTexts(now, 0, &current)) {
    return false;
  }
  for (const std::string& text : current) {
    if (!saved.count(text)) return false;
  }
  return true;
}
