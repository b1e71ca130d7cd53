// The zip of a release, written with minizip's writer.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "release_tree.h"

struct ReleaseZipFile {
  std::string szPath;      // the file on this machine
  std::string szEntry;     // its entry name
  bool bUtf8Flag = false;  // general-purpose bit 11: the name is UTF-8
  TreeEntry entry;
};

// Writes `files` into a new zip at `zipPath`, deflated, each with its
// modification time as the zip's DOS time (local time, to two seconds; a time
// before 1980 or after 2107 is held to those years, with a note naming the
// file on `notes`) and, when the file has a Unix mode, that mode with the
// entry made on Unix. False with the message in *error; the zip is removed
// then.
bool WriteReleaseZip(const std::string& zipPath, const std::vector<ReleaseZipFile>& files,
                     std::ostream& notes, std::string* error);
