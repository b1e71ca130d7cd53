// ExpandPathVars over a whole manifest, timed by bench/run from outside as
// sed is: reads the manifest, expands the three path variables with the given
// values, writes the result and prints "ok IN_BYTES OUT_BYTES".
//   expand_bench MANIFEST OUT APP_PATH WIN_PATH SYS32_PATH
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "env/config.h"

int main(int argc, char** argv) {
  if (argc != 6) {
    fprintf(stderr, "usage: expand_bench MANIFEST OUT APP_PATH WIN_PATH SYS32_PATH\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::string text;
  if (in) text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in || in.bad()) {
    fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  g_szAppPath = argv[3];
  g_szWinPath = argv[4];
  g_szSys32Path = argv[5];
  std::string out = ExpandPathVars(text);
  std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
  file.write(out.data(), static_cast<std::streamsize>(out.size()));
  file.close();
  if (!file) {
    fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  printf("ok %zu %zu\n", text.size(), out.size());
  return 0;
}
