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
// The timestamp stored in "manifesttime"; 0 when it is missing or no number.
extern uint64_t g_nManifestTime;

// Fills both values.
void LoadTrustConfig();
// Raises g_nManifestTime to `timestamp` and stores it; a lower one is ignored.
void RecordManifestTime(uint64_t timestamp);

// The blank-separated words of a text.
std::vector<std::string> SplitKeyList(const std::string& text);
// A decimal number of at most 20 digits that fits 64 bits, and nothing else.
bool ParseTimestamp(const std::string& text, uint64_t* value);
