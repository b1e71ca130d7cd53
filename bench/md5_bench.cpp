// One FileMd5Hex of a file, timed by bench/run from outside as `openssl dgst
// -md5` is: prints the digest.
//   md5_bench FILE
#include <cstdio>
#include <string>

#include "update/file_md5.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: md5_bench FILE\n");
    return 2;
  }
  std::string digest = FileMd5Hex(argv[1]);
  if (digest.empty()) {
    fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  printf("%s\n", digest.c_str());
  return 0;
}
