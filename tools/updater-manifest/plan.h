// What a client at a given installed version would do with a manifest, shown
// without doing any of it.
#pragma once

#include <ostream>
#include <string>

// `appPath` is the client's installation folder; empty leaves "${app_path}" as
// written. The Windows and system folders are this platform's. Writes the
// outcome of the version comparison and, for a newer manifest, each package's
// file, digest and actions with their parameters as the updater binds them.
// A package file of the url's name in `filesDir` (the manifest's own folder
// when given) that is a zip has its entries listed, as this machine's updater
// reads them. False when the updater could not use the manifest at all.
bool PlanManifest(const std::string& text, const std::string& installed, const std::string& appPath,
                  std::ostream& out, const std::string& filesDir = std::string());
