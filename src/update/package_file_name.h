// The name a package file is saved under in the download folder.
#pragma once

#include <string>

// The URL's file name (UrlFileName), or empty when that name would reach out
// of the download folder: a "\" or "/" in it, or ".." (any name of dots and
// blanks with two dots or more). An empty name is the folder itself, which
// cannot be saved, so such a URL fails as any other unsavable one.
std::string PackageFileName(const std::string& url);
