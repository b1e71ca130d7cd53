// Publishing a manifest: what a client that checks signatures needs, filled
// in from the package files themselves.
#pragma once

#include <ostream>
#include <string>

#include "signed_fields.h"

// For every package with a url, finds the file of the url's file name in `dir`
// and writes its md5, sha256 and size, and `expires` as the root's expiry date
// (WriteSignedFields). The rest of the text stays as written. The result must
// then pass the lint for signed manifests. True with the manifest in *out;
// otherwise the reasons go to `err` as "NAME:LINE: message", with
// `templateName` for the template's lines and `outName` for the result's.
bool PublishManifest(const std::string& templateText, const std::string& templateName,
                     const std::string& dir, const std::string& expires, const std::string& outName,
                     std::string* out, std::ostream& err);
