// updater-manifest: builds, checks and previews an update manifest before any
// client sees it.
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "client_setting.h"
#include "env/config.h"
#include "env/trusted_keys.h"
#include "lint.h"
#include "manifest_texts.h"
#include "plan.h"
#include "publish.h"
#include "release.h"
#include "signed_fields.h"
#include "updater_version.h"
#include "verify.h"

using namespace manifesttexts;

namespace {

constexpr int kExitClean = 0;
constexpr int kExitFindings = 1;
constexpr int kExitUnreadable = 2;

int Usage() {
  std::cerr << kUsage;
  return kExitUnreadable;
}

// A key, or a file of keys one a line (a .pub file as minisign writes it).
bool AddKeys(const std::string& arg, std::vector<std::string>* keys) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(arg, ec)) {
    keys->push_back(arg);
    return true;
  }
  std::string text;
  if (!ReadTextFile(arg, &text)) return false;
  size_t before = keys->size();
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("untrusted comment:", 0) == 0) continue;
    for (std::string& key : SplitKeyList(line)) keys->push_back(std::move(key));
  }
  return keys->size() > before;
}

// "--pubkey KEY|FILE" at args[*i]: the keys added, *i moved past the value.
// False, with the message printed, when the value holds no key.
bool TakePubkey(const std::vector<std::string>& args, size_t* i, std::vector<std::string>* keys) {
  const std::string& value = args[++*i];
  if (AddKeys(value, keys)) return true;
  std::cerr << Format(kVerifyNoKeysFormat, value.c_str()) << "\n";
  return false;
}

int Lint(const std::vector<std::string>& args) {
  std::vector<std::string> files;
  std::vector<std::string> keys;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--pubkey" && i + 1 < args.size()) {
      if (!TakePubkey(args, &i, &keys)) return kExitUnreadable;
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.empty()) return Usage();
  int status = kExitClean;
  for (const std::string& file : files) {
    std::string text;
    if (!ReadTextFile(file, &text)) {
      std::cerr << Format(kCannotBeReadFormat, file.c_str()) << "\n";
      status = kExitUnreadable;
      continue;
    }
    std::vector<Finding> findings = LintManifest(text, !keys.empty());
    for (const Finding& f : findings)
      std::cout << file << ":" << f.nLine << ": " << f.szMessage << "\n";
    if (!findings.empty() && status == kExitClean) status = kExitFindings;
  }
  return status;
}

int Publish(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  std::string outPath;
  std::string expires = DefaultExpires(std::time(nullptr));
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size()) {
      outPath = args[++i];
    } else if (args[i] == "--expires" && i + 1 < args.size()) {
      std::string error;
      if (!ExpiresFromOption(args[++i], std::time(nullptr), &expires, &error)) {
        std::cerr << error << "\n";
        return kExitUnreadable;
      }
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2 || outPath.empty()) return Usage();
  std::string text;
  if (!ReadTextFile(positional[0], &text)) {
    std::cerr << Format(kCannotBeReadFormat, positional[0].c_str()) << "\n";
    return kExitUnreadable;
  }
  std::error_code ec;
  if (!std::filesystem::is_directory(positional[1], ec)) {
    std::cerr << Format(kNotAFolderFormat, positional[1].c_str()) << "\n";
    return kExitUnreadable;
  }
  std::string published;
  if (!PublishManifest(text, positional[0], positional[1], expires, outPath, &published,
                       std::cerr)) {
    std::cerr << Format(kNotWrittenFormat, outPath.c_str()) << "\n";
    return kExitFindings;
  }
  if (!WriteWholeFile(outPath, published)) {
    std::cerr << Format(kCannotBeWrittenFormat, outPath.c_str()) << "\n";
    return kExitUnreadable;
  }
  return kExitClean;
}

int Release(const std::vector<std::string>& args) {
  ReleaseOptions options;
  options.szExpires = DefaultExpires(std::time(nullptr));
  std::vector<std::string> folders;
  bool gbkAsked = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    bool hasValue = i + 1 < args.size();
    if (arg == "--atomic") {
      options.bAtomic = true;
    } else if (arg == "--version" && hasValue) {
      options.szVersion = args[++i];
    } else if (arg == "--base-url" && hasValue) {
      options.szBaseUrl = args[++i];
    } else if (arg == "-o" && hasValue) {
      options.szOut = args[++i];
    } else if (arg == "--expires" && hasValue) {
      std::string error;
      if (!ExpiresFromOption(args[++i], std::time(nullptr), &options.szExpires, &error)) {
        std::cerr << error << "\n";
        return kExitUnreadable;
      }
    } else if (arg == "--names" && hasValue) {
      const std::string& names = args[++i];
      if (names != "utf8" && names != "gbk") {
        std::cerr << Format(kReleaseNamesOptionFormat, names.c_str()) << "\n";
        return kExitUnreadable;
      }
      options.naming.names = names == "gbk" ? EntryNames::kGbk : EntryNames::kUtf8;
      gbkAsked = names == "gbk";
    } else if (arg == "--client" && hasValue) {
      const std::string& client = args[++i];
      if (client != "windows" && client != "posix") {
        std::cerr << Format(kReleaseClientOptionFormat, client.c_str()) << "\n";
        return kExitUnreadable;
      }
      options.naming.client = client == "posix" ? ReleaseClient::kPosix : ReleaseClient::kWindows;
    } else if (arg.rfind("-", 0) != 0 || arg == "-") {
      folders.push_back(arg);
    } else {
      return Usage();
    }
  }
  if (folders.size() != 2 || options.szVersion.empty() || options.szBaseUrl.empty() ||
      options.szOut.empty()) {
    return Usage();
  }
  if (gbkAsked && options.naming.client == ReleaseClient::kPosix) {
    std::cerr << kReleaseGbkForPosix << "\n";
    return kExitUnreadable;
  }
  // POSIX clients read UTF-8 names whichever way the updater treats the flag.
  if (options.naming.client == ReleaseClient::kPosix) options.naming.names = EntryNames::kUtf8;
  options.szOld = folders[0];
  options.szNew = folders[1];
  switch (MakeRelease(options, std::cout, std::cerr)) {
    case ReleaseOutcome::kWritten:
      return kExitClean;
    case ReleaseOutcome::kRefused:
      return kExitFindings;
    case ReleaseOutcome::kFailed:
      break;
  }
  return kExitUnreadable;
}

int Plan(const std::vector<std::string>& args) {
  std::string file;
  std::string installed;
  std::string appPath;
  bool haveInstalled = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--installed" && i + 1 < args.size()) {
      installed = args[++i];
      haveInstalled = true;
    } else if (args[i] == "--app-path" && i + 1 < args.size()) {
      appPath = args[++i];
    } else if (file.empty()) {
      file = args[i];
    } else {
      return Usage();
    }
  }
  if (file.empty() || !haveInstalled) return Usage();
  std::string text;
  if (!ReadTextFile(file, &text)) {
    std::cerr << Format(kCannotBeReadFormat, file.c_str()) << "\n";
    return kExitUnreadable;
  }
  std::string folder;
  SplitPath(file, &folder);
  if (folder.empty()) folder = ".";
  return PlanManifest(text, installed, appPath, std::cout, folder) ? kExitClean : kExitFindings;
}

int Verify(const std::vector<std::string>& args) {
  std::string url;
  std::vector<std::string> keys;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--pubkey" && i + 1 < args.size()) {
      if (!TakePubkey(args, &i, &keys)) return kExitUnreadable;
    } else if (url.empty()) {
      url = args[i];
    } else {
      return Usage();
    }
  }
  if (url.empty()) return Usage();
  return VerifyManifest(url, keys, std::cout) ? kExitClean : kExitFindings;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string command = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "lint") return Lint(args);
  if (command == "publish") return Publish(args);
  if (command == "release") return Release(args);
  if (command == "plan") return Plan(args);
  if (command == "verify") return Verify(args);
  // The updater's version: the tool and the client are built together.
  if (command == "--version") {
    std::cout << "updater-manifest " UPDATER_VERSION_TEXT "\n";
    return kExitClean;
  }
  if (command == "--help" || command == "-h") {
    std::cout << kUsage;
    return kExitClean;
  }
  return Usage();
}
