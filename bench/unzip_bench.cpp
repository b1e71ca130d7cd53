// The unzip action's side of the extraction figure, and the maker of the
// archives bench/run extracts and serves.
//   unzip_bench make ARCHIVE PACKED_MIB FILES   writes a test archive
//   unzip_bench extract ARCHIVE WHERE           one run of the unzip action
// An extraction runs as the update's does: status and progress go to a window
// (one that only counts), every file is logged to updater.log in the current
// folder. It prints "ok FILES_LOGGED BAR_RANGE BAR_POSITION".
#include <minizip/zip.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "actions/unzip_action.h"
#include "counting_window.h"

namespace {

// How far deflate shrinks Text() at the default level (measured: 3.6 to 1).
constexpr double kTextRatio = 3.6;

// Text that compresses like source code and logs do.
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

// Incompressible bytes, as in images and compiled code that is packed already.
std::string Binary(std::mt19937& rng, size_t size) {
  std::string out(size + 3, '\0');
  for (size_t i = 0; i < size; i += 4) {
    uint32_t r = rng();
    out[i] = static_cast<char>(r);
    out[i + 1] = static_cast<char>(r >> 8);
    out[i + 2] = static_cast<char>(r >> 16);
    out[i + 3] = static_cast<char>(r >> 24);
  }
  out.resize(size);
  return out;
}

// FILES entries packing to about PACKED_MIB: FILES - 2 small files of 1 to 60
// KiB in 40 folders (text, and one in five incompressible), then one large
// text file and one large incompressible file that make up the rest, a third
// and two thirds of it packed.
int Make(const std::string& archive, double packedMib, int files) {
  if (files < 3 || packedMib <= 0) return 2;
  std::mt19937 rng(20240601);
  std::uniform_int_distribution<size_t> small(1024, 60 * 1024);
  std::vector<size_t> sizes(files - 2);
  double smallPacked = 0;
  for (int i = 0; i < files - 2; ++i) {
    sizes[i] = small(rng);
    smallPacked += i % 5 == 4 ? sizes[i] : sizes[i] / kTextRatio;
  }
  double rest = packedMib * 1024 * 1024 - smallPacked;
  if (rest < 0) rest = 0;
  size_t largeText = static_cast<size_t>(rest / 3 * kTextRatio);
  size_t largeBinary = static_cast<size_t>(rest * 2 / 3);

  zipFile zip = zipOpen64(archive.c_str(), APPEND_STATUS_CREATE);
  if (!zip) return 1;
  auto add = [&](const std::string& name, const std::string& data) {
    zip_fileinfo info = {};
    info.dosDate = (((2024 - 1980) << 9 | 6 << 5 | 1) << 16) | (12 << 11);
    info.external_fa = 0x20 | (0644u << 16);
    return zipOpenNewFileInZip64(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                 Z_DEFLATED, Z_DEFAULT_COMPRESSION, 1) == ZIP_OK &&
           zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size())) == ZIP_OK &&
           zipCloseFileInZip(zip) == ZIP_OK;
  };
  bool ok = add("data/large.log", Text(rng, largeText));
  for (int i = 0; ok && i < files - 2; ++i) {
    std::string name = "lib/part" + std::to_string(i % 40) + "/file" + std::to_string(i);
    ok = i % 5 == 4 ? add(name + ".bin", Binary(rng, sizes[i]))
                    : add(name + ".txt", Text(rng, sizes[i]));
  }
  if (ok) ok = add("bin/payload.dat", Binary(rng, largeBinary));
  if (zipClose(zip, nullptr) != ZIP_OK) ok = false;
  return ok ? 0 : 1;
}

int Extract(const std::string& archive, const std::string& where) {
  CountingWindow window;
  g_pMainWnd = &window;
  UnzipAction action;
  action.SetParam("file", archive);
  action.SetParam("where", where);
  bool ok = action.Execute() != 0;
  g_pMainWnd = nullptr;
  printf("%s %ld %d %d\n", ok ? "ok" : "failed", window.m_nStatus, window.m_nRange,
         window.m_nPosition);
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "make" && argc == 5) return Make(argv[2], atof(argv[3]), atoi(argv[4]));
  if (mode == "extract" && argc == 4) return Extract(argv[2], argv[3]);
  fprintf(stderr,
          "usage: unzip_bench make ARCHIVE PACKED_MIB FILES | unzip_bench extract ARCHIVE WHERE\n");
  return 2;
}
