// Extraction of mutated archives: the unzip action unpacks any bytes into a
// folder that lies six levels below a private root, and after every input
// nothing but that folder (and the archive) may exist on the way up. The
// folder is emptied after each input.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "actions/unzip_action.h"
#include "env/config.h"
#include "fuzz_support.h"

namespace fs = std::filesystem;

namespace {

constexpr int kLevels = 6;
std::string g_root;
std::string g_archive;
std::string g_where;

// Each level must hold exactly its one child (the root also the archive).
void CheckNothingOutside() {
  fs::path level = g_root;
  for (int i = 0; i <= kLevels; ++i) {
    fs::path child = i < kLevels ? level / ("l" + std::to_string(i)) : fs::path(g_where);
    for (const fs::directory_entry& entry : fs::directory_iterator(level)) {
      bool expected =
          entry.path() == child || (i == 0 && entry.path() == g_archive) || i == kLevels;
      FUZZ_CHECK(expected, "written outside the folder: %s", entry.path().c_str());
    }
    if (i == kLevels) break;
    level = child;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::InstallQuietLog();
  char pattern[] = "/tmp/zip_fuzz.XXXXXX";
  if (!mkdtemp(pattern)) std::abort();
  g_root = pattern;
  g_archive = g_root + "/archive.zip";
  fs::path where = g_root;
  for (int i = 0; i < kLevels; ++i) where /= "l" + std::to_string(i);
  g_where = (where / "out").string();
  fs::create_directories(g_where);
  // An entry named like the running updater goes to its side name instead.
  g_szThisDir = g_where + "/bin";
  g_szThisName = "updater";
  g_szThisFile = g_szThisDir + "/" + g_szThisName;
  std::atexit([] { fs::remove_all(g_root); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* f = std::fopen(g_archive.c_str(), "wb");
  if (!f) std::abort();
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  UnzipAction action;
  action.SetParam("file", g_archive);
  action.SetParam("where", g_where);
  action.Execute();

  CheckNothingOutside();
  // Read-only files and folders the archive made must not stop the clean-up.
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(g_where, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_symlink()) chmod(it->path().c_str(), 0755);
  }
  fs::remove_all(g_where, ec);
  fs::create_directory(g_where, ec);
  return 0;
}
