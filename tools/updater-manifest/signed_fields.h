// What a manifest for clients that check signatures must say, written into its
// text: every package file's md5, sha256 and size, and the root's expiry date.
// Every command that writes such a manifest uses this one piece, so that they
// all write the same.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "update/package_info.h"

// The facts of one package file that a manifest vouches for: FileFacts.
// False when the file cannot be read whole.
bool ReadFileFacts(const std::string& path, FileFacts* facts);

// How far ahead the expiry date lies when none is asked for.
constexpr int kDefaultExpiryDays = 30;
constexpr int kMaxExpiryDays = 36500;
// The date of an --expires option: "YYYY-MM-DD" (today or later, UTC) or
// "+DAYS" (1 to kMaxExpiryDays days after today). False with the reason in
// *error.
bool ExpiresFromOption(const std::string& option, std::time_t now, std::string* date,
                       std::string* error);
// kDefaultExpiryDays after today.
std::string DefaultExpires(std::time_t now);

// Writes the facts of `files` (one per package element, in document order;
// none for a package without a url) into the package's md5, sha256 and size
// elements, replacing their text, or adding those missing after the last of
// them present or, with none, after the url; and `expires` as the root's
// "expires" attribute, replacing any there. The rest of the text stays as
// written, and the result read back as a client reads it must carry them all.
// True with the text in *out; otherwise the reasons go to `err` as
// "NAME:LINE: message", with `textName` for the text's lines and `outName`
// for the result.
bool WriteSignedFields(const std::string& text, const std::string& textName,
                       const std::vector<std::optional<FileFacts>>& files,
                       const std::string& expires, const std::string& outName, std::string* out,
                       std::ostream& err);
