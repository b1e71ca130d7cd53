// The publisher's keys this client trusts, and the newest signed manifest it
// has accepted. Both are read once at start-up with the rest of the
// configuration.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The product key's values: "pubkey" holds trusted keys separated by blanks,
// "manifesttime" the highest timestamp of an accepted signed manifest.
extern const char kPubkeyValue[];
extern const char kManifestTimeValue[];

// minisign public keys (the base64 line of a .pub file): those compiled in,
// then those of "pubkey". A text that is no key still counts here, so a
// mistyped key never switches the signature check off; it matches nothing.
extern std::vector<std::string> g_aTrustedKeys;
// Set when "pubkey" exists, whatever its type and content, or when it could
// not be read for another reason than not being there: manifests must then be
// signed even when no key came of it, so that nothing in the registry can turn
// the check off by accident.
extern bool g_bPubkeyPresent;
// The timestamp stored in "manifesttime"; 0 when it is missing.
extern uint64_t g_nManifestTime;
// Set when "manifesttime" exists but holds no number, or could not be read:
// the newest accepted timestamp is then unknown, and no signed manifest can be
// held against it.
extern bool g_bManifestTimeUnusable;

// Fills the values above.
void LoadTrustConfig();
// Raises g_nManifestTime to `timestamp` and stores it; a lower one is ignored
// (true). False, with g_nManifestTime as it was, when it could not be stored.
bool RecordManifestTime(uint64_t timestamp);

// The blank-separated words of a text.
std::vector<std::string> SplitKeyList(const std::string& text);
