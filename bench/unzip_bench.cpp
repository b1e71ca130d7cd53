// The unzip action against Info-ZIP `unzip -o -q` on the same archive, in the
// same run: a warm-up of each, then alternating timed runs into fresh folders;
// medians and their ratio printed. The outputs are compared byte for byte once.
//   unzip_bench make ARCHIVE           writes the test archive
//   unzip_bench run ARCHIVE WORKDIR [RUNS]
#include <minizip/zip.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "actions/unzip_action.h"
#include "platform/env.h"

namespace fs = std::filesystem;

namespace {

// Text that compresses like source code and logs do (about 3:1).
std::string Text(std::mt19937& rng, size_t size) {
  static const char* kWords[] = {
      "update",  "package", "version", "install", "folder", "value", "registry",    "window",
      "message", "archive", "velmar",  "return",  "static", "const", "std::string", "if",
      "for",     "while",   "{",       "}",       "0x1F",   "42",    "path",        "file",
      "=",       "+=",      "(",       ")",       ";",      "//"};
  std::string out;
  out.reserve(size + 64);
  std::uniform_int_distribution<size_t> word(0, sizeof kWords / sizeof kWords[0] - 1);
  std::uniform_int_distribution<int> line(4, 14);
  std::uniform_int_distribution<int> number(0, 99999);
  while (out.size() < size) {
    int n = line(rng);
    for (int i = 0; i < n; ++i) {
      out += kWords[word(rng)];
      out += i % 5 == 4 ? std::to_string(number(rng)) : " ";
    }
    out += '\n';
  }
  out.resize(size);
  return out;
}

std::string Binary(std::mt19937& rng, size_t size) {
  std::string out(size, '\0');
  for (char& c : out) c = static_cast<char>(rng() & 0xFF);
  return out;
}

// About 150 MB in 2,000 files: one 90 MB text file, 1,999 small ones (text and,
// one in five, incompressible data) in 40 folders.
int Make(const std::string& archive) {
  std::mt19937 rng(20240601);
  zipFile zip = zipOpen64(archive.c_str(), APPEND_STATUS_CREATE);
  if (!zip) return 1;
  auto add = [&](const std::string& name, const std::string& data) {
    zip_fileinfo info = {};
    info.dosDate = (((2024 - 1980) << 9 | 6 << 5 | 1) << 16) | (12 << 11);
    info.external_fa = 0x20 | (0644u << 16);
    return zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                               Z_DEFLATED, Z_DEFAULT_COMPRESSION) == ZIP_OK &&
           zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size())) == ZIP_OK &&
           zipCloseFileInZip(zip) == ZIP_OK;
  };
  bool ok = add("data/large.log", Text(rng, 90u << 20));
  std::uniform_int_distribution<size_t> small(1024, 60 * 1024);
  for (int i = 1; ok && i < 2000; ++i) {
    std::string name = "lib/part" + std::to_string(i % 40) + "/file" + std::to_string(i);
    ok = i % 5 == 0 ? add(name + ".bin", Binary(rng, small(rng)))
                    : add(name + ".txt", Text(rng, small(rng)));
  }
  if (zipClose(zip, nullptr) != ZIP_OK) ok = false;
  return ok ? 0 : 1;
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double RunInfoZip(const std::string& archive, const std::string& out) {
  std::string command = "unzip -o -q '" + archive + "' -d '" + out + "'";
  auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) {
    fprintf(stderr, "unzip failed\n");
    std::exit(1);
  }
  return Seconds(start);
}

double RunAction(const std::string& archive, const std::string& out) {
  UnzipAction action;
  action.SetParam("file", archive);
  action.SetParam("where", out);
  auto start = std::chrono::steady_clock::now();
  if (!action.Execute()) {
    fprintf(stderr, "the unzip action failed\n");
    std::exit(1);
  }
  return Seconds(start);
}

// Both trees hold the same files with the same bytes.
bool SameTrees(const std::string& a, const std::string& b) {
  size_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(a)) {
    if (!entry.is_regular_file()) continue;
    fs::path other = fs::path(b) / fs::relative(entry.path(), a);
    std::string cmp = "cmp -s '" + entry.path().string() + "' '" + other.string() + "'";
    if (std::system(cmp.c_str()) != 0) {
      fprintf(stderr, "differs: %s\n", other.string().c_str());
      return false;
    }
    ++files;
  }
  return files == 2000;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

int Run(const std::string& archive, const std::string& work, int runs) {
  // The action logs into updater.log in the current directory.
  if (chdir(work.c_str()) != 0) return 1;
  std::string zipOut = work + "/infozip";
  std::string ourOut = work + "/action";
  auto fresh = [](const std::string& dir) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    sync();
  };
  fresh(zipOut);
  RunInfoZip(archive, zipOut);
  fresh(ourOut);
  RunAction(archive, ourOut);
  if (!SameTrees(zipOut, ourOut)) return 1;

  std::vector<double> zipTimes, ourTimes;
  for (int i = 0; i < runs; ++i) {
    fresh(zipOut);
    zipTimes.push_back(RunInfoZip(archive, zipOut));
    fresh(ourOut);
    ourTimes.push_back(RunAction(archive, ourOut));
    fs::remove(work + "/updater.log");
  }
  fs::remove_all(zipOut);
  fs::remove_all(ourOut);
  double zipMedian = Median(zipTimes);
  double ourMedian = Median(ourTimes);
  printf("unzip -o -q:  median %.3f s of %d\n", zipMedian, runs);
  printf("unzip action: median %.3f s of %d\n", ourMedian, runs);
  printf("ratio (unzip time / action time, target >= 0.8): %.3f\n", zipMedian / ourMedian);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "make" && argc == 3) return Make(argv[2]);
  if (mode == "run" && (argc == 4 || argc == 5)) {
    return Run(fs::absolute(argv[2]).string(), fs::absolute(argv[3]).string(),
               argc == 5 ? atoi(argv[4]) : 5);
  }
  fprintf(stderr, "usage: unzip_bench make ARCHIVE | unzip_bench run ARCHIVE WORKDIR [RUNS]\n");
  return 2;
}
