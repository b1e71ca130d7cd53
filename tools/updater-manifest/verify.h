// The publisher's check of a manifest on its server: every file fetched as a
// client fetches it and held against its digest.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// Downloads the manifest at `url` and each package's file with the updater's
// downloader into a scratch download folder (one attempt each), and checks each
// file against every digest its package gives. With `keys` (minisign public
// keys), the manifest's signature, its timestamp and its expiry are checked
// first, as a client trusting those keys checks them. One line per package.
// False when the manifest cannot be fetched, verified or used, or any file
// fails to download or to match.
bool VerifyManifest(const std::string& url, const std::vector<std::string>& keys,
                    std::ostream& out);
