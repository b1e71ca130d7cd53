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
#include "env/trusted_keys.h"
#include "lint.h"
#include "manifest_texts.h"
#include "plan.h"
#include "publish.h"
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

// Written beside OUT first and renamed over it, so OUT is never half written.
bool WriteWhole(const std::string& path, const std::string& text) {
  std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
      std::filesystem::remove(temporary);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, path, ec);
  if (ec) std::filesystem::remove(temporary, ec);
  return !ec;
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
  if (!WriteWhole(outPath, published)) {
    std::cerr << Format(kCannotBeWrittenFormat, outPath.c_str()) << "\n";
    return kExitUnreadable;
  }
  return kExitClean;
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
  return PlanManifest(text, installed, appPath, std::cout) ? kExitClean : kExitFindings;
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
