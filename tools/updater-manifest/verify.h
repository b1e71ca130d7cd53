// The publisher's check of a manifest on its server: every file fetched as a
// client fetches it and held against its digest.
#pragma once

#include <ostream>
#include <string>

// Downloads the manifest at `url` and each package's file with the updater's
// downloader into a scratch download folder (one attempt each), and checks each
// file's MD5 against the package's md5. One line per package. False when the
// manifest cannot be fetched or used, or any file fails to download or to match.
bool VerifyManifest(const std::string& url, std::ostream& out);
