#include "release_names.h"

#include <cctype>
#include <map>

#include "actions/zip_extractor.h"
#include "client_text.h"
#include "env/config.h"
#include "env/mbstring.h"
#include "manifest_texts.h"
#include "platform/separators.h"

using namespace manifesttexts;

namespace {

// The zip reader's name buffer, terminating zero included.
constexpr size_t kEntryNameLimit = 260;

bool IsReservedOnWindows(const std::string& name) {
  std::string base = MbsLower(name.substr(0, name.find('.')));
  for (const char* device : {"con", "prn", "aux", "nul"}) {
    if (base == device) return true;
  }
  return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

// A name Windows keeps as it is: none of its forbidden characters (found
// where a character starts: a GBK trail byte may equal "|"), no dot or blank
// at the end, which it drops, and no device name.
bool WindowsHolds(const std::string& name) {
  if (name.empty()) return false;
  for (char c : std::string("<>:\"|?*")) {
    if (MbsFind(name, c) != std::string::npos) return false;
  }
  return name.back() != '.' && name.back() != ' ' && !IsReservedOnWindows(name);
}

}  // namespace

bool NameForClient(const ClientNaming& naming, const std::string& relative,
                   const std::string& shown, bool inManifest, ClientName* name,
                   std::string* error) {
  bool windows = naming.client == ReleaseClient::kWindows;
  for (size_t start = 0; start <= relative.size();) {
    size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    std::string part = relative.substr(start, end - start);
    start = end + 1;
    for (unsigned char c : part) {
      if (c < 0x20 || c == 0x7F) {
        *error = Format(kReleaseControlCharacterFormat, shown.c_str());
        return false;
      }
    }
    if (platform::NextSeparator(part, 0, '\\') != std::string::npos) {
      *error = Format(kReleaseSeparatorInNameFormat, shown.c_str());
      return false;
    }
    if (platform::IsClimbingSegment(part)) {
      *error = Format(kReleaseClimbingNameFormat, shown.c_str(), part.c_str());
      return false;
    }
    if (windows && !WindowsHolds(part)) {
      *error = Format(kReleaseWindowsNameFormat, shown.c_str(), part.c_str());
      return false;
    }
  }
  if (inManifest && relative.find("${") != std::string::npos) {
    *error = Format(kReleaseVariableInNameFormat, shown.c_str());
    return false;
  }

  // The name as the client's updater reads it, before its own rules.
  std::string utf8;
  std::string read;
  if (!SystemTextToUtf8(relative, &utf8)) {
    *error = Format(kReleaseNotTextFormat, shown.c_str());
    return false;
  }
  if (windows && !SystemTextToGbk(relative, &read)) {
    *error = Format(kReleaseNotGbkFormat, shown.c_str());
    return false;
  }
  if (!windows) read = utf8;
  if (read.size() >= kEntryNameLimit) {
    *error = Format(kReleaseNameTooLongFormat, shown.c_str(), static_cast<int>(read.size()),
                    static_cast<int>(kEntryNameLimit));
    return false;
  }
  if (!IsSafeEntryName(read)) {
    *error = Format(kReleaseDriveNameFormat, shown.c_str());
    return false;
  }

  bool gbkEntry = windows && naming.names == EntryNames::kGbk;
  name->szEntry = gbkEntry ? read : utf8;
  name->bUtf8Flag = !gbkEntry;
  char sep = windows ? '\\' : '/';
  name->szManifest = std::string(kAppPathVar) + sep;
  for (char c : read) name->szManifest += c == '/' ? sep : c;
  return true;
}

bool OneNameEach(const ClientNaming& naming, const std::string& root, const Tree& tree,
                 std::string* error) {
  if (naming.client != ReleaseClient::kWindows) return true;
  std::map<std::string, std::string> seen;
  for (const auto& [path, entry] : tree) {
    auto [it, fresh] = seen.emplace(MbsLower(path), path);
    if (!fresh) {
      *error = Format(kReleaseOneNameOnWindowsFormat, TreePath(root, it->second).c_str(),
                      TreePath(root, path).c_str());
      return false;
    }
  }
  return true;
}
