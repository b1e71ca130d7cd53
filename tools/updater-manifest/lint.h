// The publisher's check of a manifest: everything that would make the updater
// do other than its author meant.
#pragma once

#include <string>
#include <vector>

struct Finding {
  int nLine;  // 1-based
  std::string szMessage;
};

// Reads the text as the updater reads it (path variables, TinyXML, the action
// registry, element binding) and reports what it finds, in line order. Empty
// for a clean manifest. `forSignedClients`: the manifest is for clients that
// check signatures, which refuse one without an expiry date or with a package
// file lacking its sha256 or size.
std::vector<Finding> LintManifest(const std::string& text, bool forSignedClients = false);

// A text that atoi and "%d" read whole: optional blanks and sign, decimal
// digits, optional trailing blanks. *value gets the number.
bool IsDecimalNumber(const std::string& text, long long* value);
