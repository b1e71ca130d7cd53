// Throughput of FileMd5Hex on one file: prints the digest and the best time of
// several runs, so a script can set it beside `openssl dgst -md5`.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "update/file_md5.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: md5_bench FILE [RUNS]\n");
    return 2;
  }
  int runs = argc > 2 ? atoi(argv[2]) : 5;
  double best = 1e30;
  std::string digest;
  for (int i = 0; i < runs; ++i) {
    auto start = std::chrono::steady_clock::now();
    digest = FileMd5Hex(argv[1]);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (took.count() < best) best = took.count();
  }
  if (digest.empty()) {
    fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  printf("%s %.6f\n", digest.c_str(), best);
  return 0;
}
