// minisign signatures over a manifest, checked with libsodium (Ed25519 and
// BLAKE2b-512).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// True when `signatureFile` (the text of a .minisig file) is a signature of
// `message` by one of `keys` (base64 lines of minisign public keys): its key
// id names one of them, its signature verifies over the message ("Ed") or over
// the message's BLAKE2b-512 digest ("ED"), and its global signature verifies
// over that signature and the trusted comment. *trustedComment then receives
// the comment.
bool VerifyMinisign(const std::string& message, const std::string& signatureFile,
                    const std::vector<std::string>& keys, std::string* trustedComment);

// The lines of a signature file without their line ends (LF or CR LF).
std::vector<std::string> SignatureLines(const std::string& text);

// The decimal number of the trusted comment's one "timestamp:" field: the tag
// at the start or after a blank or tab, then digits, then a blank, a tab or
// the end. A comment with no such field, or with "timestamp:" more than once,
// has none.
bool CommentTimestamp(const std::string& comment, uint64_t* timestamp);
