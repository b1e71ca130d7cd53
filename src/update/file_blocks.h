// Reading a whole file in blocks, for the digests of a file on disk (a
// downloaded package's come with its bytes instead).
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "platform/digest.h"

// Hands every block of the file (102,400 bytes at most) to `add`, in order.
// False when the file cannot be opened or a read fails before its end.
bool ReadFileBlocks(const std::string& path,
                    const std::function<void(const unsigned char*, size_t)>& add);

// The digest of the file's bytes as lower-case hex digits; no text when the
// file cannot be opened, a read fails before its end or the library fails
// (the caller then sees a mismatch).
std::string FileDigestHex(const std::string& path, platform::DigestKind kind);
