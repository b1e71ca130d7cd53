// The Shell Link (.lnk) binary file format, written and read without the
// shell: a ShellLinkHeader, a LinkInfo with the target's local path, and the
// StringData the updater sets (description, arguments, icon location). Back-ends
// without the shell's link object use it; nothing here touches the disk.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Narrow text in the system code page, converted to and from UTF-16.
struct CodePage {
  std::u16string (*toWide)(const std::string& narrow);
  std::string (*toNarrow)(const std::u16string& wide);
};

// UTF-8, the system code page on POSIX. Malformed input becomes U+FFFD.
extern const CodePage kUtf8CodePage;

// The parts of a link file that the updater writes and reads back. Strings are
// narrow, in the code page handed to the encoder and decoder.
struct ShellLinkFile {
  std::string target;  // LinkInfo: LocalBasePath (+ CommonPathSuffix)
  std::string description;
  std::string arguments;
  std::string iconLocation;
  bool hasDescription = false;
  bool hasArguments = false;
  bool hasIconLocation = false;
  int32_t iconIndex = 0;
  // What the header records of the target when the link was made.
  uint32_t fileAttributes = 0;
  uint64_t creationTime = 0;  // FILETIME units
  uint64_t accessTime = 0;
  uint64_t writeTime = 0;
  uint32_t fileSize = 0;
  uint32_t showCommand = 1;  // SW_SHOWNORMAL
};

// The file's bytes. False when a string does not fit its 16-bit count.
bool EncodeShellLink(const ShellLinkFile& link, const CodePage& codePage, std::string* bytes);

// Parses a whole file. Every offset and size is checked against the bytes at
// hand: a truncated or malformed file gives false, never a read past its end.
// The target comes from the LinkInfo (local path, or network share and
// suffix); a link without one has an empty target.
bool DecodeShellLink(const std::string& bytes, const CodePage& codePage, ShellLinkFile* link);

}  // namespace platform
