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

// Fetches every package's file, checks the room the actions need, then runs
// every action and records `version` under a journal, and shows the outcome
// unless it is a success. True when the whole update is in place and the
// version recorded (the caller then shows that it is finished).
bool RunPackagesAtomically(const std::vector<std::unique_ptr<PackageInfo>>& packages,
                           const std::string& version, void (*progress)(int done));

// Undoes what the journal left by an update that was cut short says, and says
// so. False when a journal remains (it could not be read or wholly undone):
// then no update may run.
bool RecoverUnfinishedUpdate();
