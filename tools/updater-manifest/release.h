// A release from two folders: OLD as installed today and NEW as it must be
// after the update. Writes the package that carries what changed and the
// signed-client manifest that installs it.
#pragma once

#include <ostream>
#include <string>

#include "release_names.h"

struct ReleaseOptions {
  std::string szOld;
  std::string szNew;
  std::string szVersion;
  std::string szBaseUrl;
  std::string szOut;
  std::string szExpires;  // YYYY-MM-DD
  bool bAtomic = false;
  ClientNaming naming;
};

enum class ReleaseOutcome {
  kWritten,
  kRefused,  // what the folders hold cannot be released, or nothing changed
  kFailed,   // something could not be read or written, or an option is wrong
};

// Into szOut (made when missing): the zip of NEW's new and changed files,
// named for the version and its digest, and update.xml: one package with the
// zip's url, md5, sha256 and size, the removes of what is in the unzip's way
// as pre-actions, then the unzip into the installation, the removes of what
// NEW no longer has and the mkdirs of the empty folders it adds. Nothing is
// written, and the reasons go to `err` naming each path, when the folders are
// equal or hold what the client's updater refuses; a signature left in szOut
// from before is removed unless update.xml kept its text. What was written
// goes to `out`.
ReleaseOutcome MakeRelease(const ReleaseOptions& options, std::ostream& out, std::ostream& err);
