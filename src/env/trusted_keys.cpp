#include "env/trusted_keys.h"

#include "env/config.h"
#include "env/mbstring.h"
#include "env/registry_key.h"

const char kPubkeyValue[] = "pubkey";
const char kManifestTimeValue[] = "manifesttime";

std::vector<std::string> g_aTrustedKeys;
bool g_bPubkeyPresent = false;
uint64_t g_nManifestTime = 0;
bool g_bManifestTimeUnusable = false;

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

void LoadTrustConfig() {
  g_aTrustedKeys.clear();
  for (const char* const* k = kBuiltinKeys; *k; ++k) g_aTrustedKeys.push_back(*k);

  RegistryKey key;
  std::string text;
  OpenProductValue(key, kPubkeyValue);
  platform::Error err = key.ReadString(text);
  g_bPubkeyPresent = err != platform::kErrorFileNotFound;
  if (err == platform::kErrorSuccess) {
    for (std::string& word : SplitKeyList(text)) g_aTrustedKeys.push_back(std::move(word));
  }

  text.clear();
  g_nManifestTime = 0;
  OpenProductValue(key, kManifestTimeValue);
  err = key.ReadString(text);
  g_bManifestTimeUnusable =
      err != platform::kErrorFileNotFound &&
      (err != platform::kErrorSuccess || !ParseDecimal64(text, &g_nManifestTime));
  if (g_bManifestTimeUnusable) g_nManifestTime = 0;
}

bool RecordManifestTime(uint64_t timestamp) {
  if (timestamp <= g_nManifestTime) return true;
  RegistryKey key;
  OpenProductValue(key, kManifestTimeValue);
  if (key.WriteString(std::to_string(timestamp).c_str()) != platform::kErrorSuccess) return false;
  g_nManifestTime = timestamp;
  return true;
}
