// Publishing a manifest: the digests of the package files filled in from the
// files themselves.
#pragma once

#include <ostream>
#include <string>

// For every package with a url, finds the file of the url's file name in `dir`,
// computes its MD5 and SHA-256 and writes them as the package's md5 and sha256
// elements (replacing their text, or adding what is missing after the md5 or,
// without one, after the url). The rest of the text stays as
// written. The result must then pass the lint. True with the manifest in *out;
// otherwise the reasons go to `err` as "NAME:LINE: message", with `templateName`
// for the template's lines and `outName` for the result's.
bool PublishManifest(const std::string& templateText, const std::string& templateName,
                     const std::string& dir, const std::string& outName, std::string* out,
                     std::ostream& err);
