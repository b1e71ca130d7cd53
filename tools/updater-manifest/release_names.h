// The names a release carries, held to the rules of the updater that reads
// them and written in the forms its clients read: the zip's entry names and
// the paths of the manifest's actions.
#pragma once

#include <string>

#include "release_tree.h"

enum class ReleaseClient {
  kWindows,  // the product's clients: "\" in paths, a GBK manifest
  kPosix,    // the updater's POSIX build: "/" in paths, UTF-8 throughout
};

enum class EntryNames {
  kUtf8,  // UTF-8, general-purpose bit 11 set: converted by the updater
  kGbk,   // GBK bytes, taken as they are by an updater in the GBK code page
};

// The form Windows clients get unless --names says otherwise: the updater
// converts a name flagged as UTF-8 to its system's text before any rule reads
// it. GBK is for updaters older than that, which take the bytes as they are.
constexpr EntryNames kDefaultEntryNames = EntryNames::kUtf8;

struct ClientNaming {
  ReleaseClient client = ReleaseClient::kWindows;
  EntryNames names = kDefaultEntryNames;
};

struct ClientName {
  std::string szEntry;     // the zip's entry name, "/" between the names
  bool bUtf8Flag = false;  // general-purpose bit 11 for szEntry
  std::string szManifest;  // "${app_path}" and the names, in the manifest's text
};

// The forms of `relative` (a path of a Tree). False, with a message naming
// `shown` (the path on this machine) in *error, for a name the client's
// updater refuses or cannot hold: a control character, a "\" inside a name,
// ".." (or dots and blanks alone), a drive, an entry name of 260 bytes or
// more as the client reads it, no form in the client's text, a name Windows
// cannot hold (Windows clients), or, with `inManifest`, "${" (a variable
// there).
bool NameForClient(const ClientNaming& naming, const std::string& relative,
                   const std::string& shown, bool inManifest, ClientName* name, std::string* error);

// For Windows clients: false, naming both, when two of NEW's paths are one
// name ignoring letter case.
bool OneNameEach(const ClientNaming& naming, const std::string& root, const Tree& tree,
                 std::string* error);
