// The .lnk reader on any bytes: never a read past them (ASan), and what it
// reads, once written again by the encoder, reads back and settles: a second
// write and read give the same link.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "platform/shell_link_file.h"

namespace {

bool Same(const platform::ShellLinkFile& a, const platform::ShellLinkFile& b) {
  return a.target == b.target && a.description == b.description && a.arguments == b.arguments &&
         a.iconLocation == b.iconLocation && a.hasDescription == b.hasDescription &&
         a.hasArguments == b.hasArguments && a.hasIconLocation == b.hasIconLocation &&
         a.iconIndex == b.iconIndex && a.fileAttributes == b.fileAttributes &&
         a.creationTime == b.creationTime && a.accessTime == b.accessTime &&
         a.writeTime == b.writeTime && a.fileSize == b.fileSize && a.showCommand == b.showCommand;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const platform::CodePage& codePage = platform::kUtf8CodePage;
  std::string bytes(reinterpret_cast<const char*>(data), size);
  platform::ShellLinkFile link;
  if (!platform::DecodeShellLink(bytes, codePage, &link)) return 0;

  std::string written;
  if (!platform::EncodeShellLink(link, codePage, &written)) return 0;
  platform::ShellLinkFile second;
  FUZZ_CHECK(platform::DecodeShellLink(written, codePage, &second), "own output unreadable");

  std::string rewritten;
  FUZZ_CHECK(platform::EncodeShellLink(second, codePage, &rewritten), "second write refused");
  platform::ShellLinkFile third;
  FUZZ_CHECK(platform::DecodeShellLink(rewritten, codePage, &third), "second output unreadable");
  FUZZ_CHECK(Same(second, third), "link changed on a second round (target %s)",
             second.target.c_str());
  return 0;
}
