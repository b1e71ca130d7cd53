// One HttpDownload of a URL into a file, with progress into a window that only
// counts, as the dialog's would be driven; timed by bench/run from outside as
// `curl -s -o` is. Prints the outcome, the file bar's range and last position,
// and the number of progress calls and messages pumped:
//   download_bench URL FILE  ->  "ok 536870912 536870912 131073 131072"
#include <cstdio>
#include <string>

#include "counting_window.h"
#include "env/http_download.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: download_bench URL FILE\n");
    return 2;
  }
  CountingWindow window;
  g_pMainWnd = &window;
  std::string url = argv[1];
  std::string file = argv[2];
  bool ok = HttpDownload(url, file, true, true);
  g_pMainWnd = nullptr;
  printf("%s %d %d %ld %ld\n", ok ? "ok" : "failed", window.m_nRange, window.m_nPosition,
         window.m_nProgressCalls, window.m_nPumped);
  return ok ? 0 : 1;
}
