// An update that happens whole or not at all: every file first, then the
// actions under a journal that puts everything back when one of them fails
// or the run is cut short.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "update/package_info.h"

class TiXmlElement;

// The root's "atomic" attribute; only "true", in any letter case, asks for it.
extern const char kAtomicAttribute[];  // "atomic"
bool IsAtomicManifest(const TiXmlElement* root);

// Fetches every package's file, then runs every action under a journal, and
// shows the outcome. True when the whole update is in place (the caller then
// records the version and shows that it is finished).
bool RunPackagesAtomically(const std::vector<std::unique_ptr<PackageInfo>>& packages,
                           void (*progress)(int done));

// Undoes what the journal left by an update that was cut short says, and says
// so. Nothing when there is no journal.
void RecoverUnfinishedUpdate();
