#include "env/trusted_keys.h"

#include "env/config.h"
#include "env/registry_key.h"

const char kPubkeyValue[] = "pubkey";
const char kManifestTimeValue[] = "manifesttime";

std::vector<std::string> g_aTrustedKeys;
uint64_t g_nManifestTime = 0;

namespace {

// The keys the build was configured with (UPDATER_TRUSTED_KEYS), as string
// literals, then a null.
const char* const kBuiltinKeys[] = {
#include "env/builtin_keys.inc"
    nullptr};

void OpenProductValue(RegistryKey& key, const char* name) {
  key.SetRootKey(platform::kHkeyLocalMachine);
  key.SetSubKey(kProductKey);
  key.SetValueName(name);
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::vector<std::string> SplitKeyList(const std::string& text) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsBlank(text[i])) ++i;
    size_t start = i;
    while (i < text.size() && !IsBlank(text[i])) ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

bool ParseTimestamp(const std::string& text, uint64_t* value) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    unsigned digit = static_cast<unsigned>(c - '0');
    if (v > (UINT64_MAX - digit) / 10) return false;
    v = v * 10 + digit;
  }
  *value = v;
  return true;
}

void LoadTrustConfig() {
  g_aTrustedKeys.clear();
  for (const char* const* k = kBuiltinKeys; *k; ++k) g_aTrustedKeys.push_back(*k);

  RegistryKey key;
  std::string text;
  OpenProductValue(key, kPubkeyValue);
  if (key.ReadString(text) == 0) {
    for (std::string& word : SplitKeyList(text)) g_aTrustedKeys.push_back(std::move(word));
  }

  text.clear();
  g_nManifestTime = 0;
  OpenProductValue(key, kManifestTimeValue);
  if (key.ReadString(text) == 0 && !ParseTimestamp(text, &g_nManifestTime)) g_nManifestTime = 0;
}

void RecordManifestTime(uint64_t timestamp) {
  if (timestamp <= g_nManifestTime) return;
  g_nManifestTime = timestamp;
  RegistryKey key;
  OpenProductValue(key, kManifestTimeValue);
  key.WriteString(std::to_string(timestamp).c_str());
}
