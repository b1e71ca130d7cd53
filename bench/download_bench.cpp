// One HttpDownload of a URL into a file, with progress into a window that only
// counts, as the dialog's would be driven. Prints the outcome, the seconds, the
// file bar's last position, the number of progress calls and messages pumped,
// and the process's peak resident size in KiB:
//   download_bench URL FILE  ->  "ok 1.234 536870912 131073 131072 5120"
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "app/main_window.h"
#include "env/http_download.h"

namespace {

class CountingWindow : public MainWindow {
 public:
  void ShowStatus(const std::string&) override {}
  void SetFileProgress(int position, int range) override {
    ++m_nProgressCalls;
    m_nPosition = position;
    if (range > 0) m_nRange = range;
  }
  void SetTotalProgress(int, int) override {}
  void ShowLatestVersion(const std::string&) override {}
  int MessageBox(const std::string&, unsigned) override { return kIdOk; }
  void PumpMessage() override { ++m_nPumped; }
  platform::WindowId GetWindowId() const override { return 0; }

  long m_nProgressCalls = 0;
  long m_nPumped = 0;
  int m_nPosition = 0;
  int m_nRange = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s URL FILE\n", argv[0]);
    return 2;
  }
  CountingWindow window;
  g_pMainWnd = &window;
  std::string url = argv[1];
  std::string file = argv[2];
  auto start = std::chrono::steady_clock::now();
  bool ok = HttpDownload(url, file, true, true);
  std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
  g_pMainWnd = nullptr;
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  printf("%s %.6f %d %ld %ld %ld\n", ok ? "ok" : "failed", seconds.count(), window.m_nPosition,
         window.m_nProgressCalls, window.m_nPumped, usage.ru_maxrss);
  return ok ? 0 : 1;
}
