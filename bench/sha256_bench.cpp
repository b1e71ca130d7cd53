// One FileSha256Hex of a file, timed by bench/run from outside as
// `openssl dgst -sha256` is: prints the digest.
//   sha256_bench FILE
#include <cstdio>
#include <string>

#include "update/file_sha256.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: sha256_bench FILE\n");
    return 2;
  }
  std::string digest = FileSha256Hex(argv[1]);
  if (digest.empty()) {
    fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  printf("%s\n", digest.c_str());
  return 0;
}
