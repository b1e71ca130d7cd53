// For Windows: HttpDownload through WinINet against the test servers (nginx
// and the fault server of servers.cmake), under Wine.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

// clang-format off
#include "platform/win32/windows_api.h"
#include <wininet.h>
// clang-format on

#include "env/config.h"
#include "env/http_download.h"
#include "env/texts.h"
#include "platform/env.h"
#include "support/recording_main_window.h"
#include "support/temp_dir.h"
#include "support/test_servers.h"

namespace {

// The servers' folder, a Unix path, as the Windows side reaches it.
std::string ServersDir() {
  const char* dir = getenv("UPDATER_SERVERS_DIR");
  std::string path = dir && *dir ? dir : UPDATER_SERVERS_DIR;
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  return path;
}

std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

std::string NginxBase() { return "http://127.0.0.1:" + FirstLine(ServersDir() + "/nginx.port"); }
std::string FaultBase() {
  return "http://127.0.0.1:" + FirstLine(ServersDir() + "/faultserver.port");
}

// The fault server's log of the requests whose target starts with `prefix`,
// fetched through the back-end under test.
std::string RequestLog(const std::string& prefix) {
  std::string url = FaultBase() + "/__requests?format=text&prefix=" + prefix;
  std::string log;
  HttpDownload(url, log, false, false);
  return log;
}

std::string Pattern(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>('a' + i % 26);
  return s;
}

class WinInetE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(FirstLine(ServersDir() + "/nginx.port").empty()) << "nginx is not running";
    m_dir.Enter();  // updater.log lands here
    g_pMainWnd = &m_window;
  }
  void TearDown() override { g_pMainWnd = nullptr; }

  std::string Tag() const {
    return std::string(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }

  TempDir m_dir;
  RecordingMainWindow m_window;
};

TEST_F(WinInetE2E, SpaceIsEncodedAndAnOlderLongerFileIsReplaced) {
  const std::string www = "Z:" + FirstLine(ServersDir() + "/nginx.root") + "/" + Tag();
  ASSERT_TRUE(CreateDirectoryTree(www));
  ASSERT_TRUE(WriteFileBytes(www + "/a b.txt", "0123456789"));
  const std::string target = m_dir.path() + "\\x\\y\\a b.txt";
  std::string url = NginxBase() + "/" + Tag() + "/a b.txt";
  std::string file = target;
  ASSERT_TRUE(HttpDownload(url, file, true, true));
  EXPECT_EQ(url, NginxBase() + "/" + Tag() + "/a%20b.txt");
  EXPECT_EQ(ReadFileBytes(target), "0123456789");
  EXPECT_EQ(m_window.CallsOf("file:").front(), "file:0/10");
  EXPECT_EQ(m_window.CallsOf("file:").back(), "file:10/-1");
}

TEST_F(WinInetE2E, BlocksOfAtMost4096FollowTheBytesReceived) {
  std::string url = FaultBase() + "/bytes/" + Tag() + "?size=10000";
  std::string body;
  ASSERT_TRUE(HttpDownload(url, body, false, true));
  EXPECT_EQ(body, Pattern(10000));
  std::vector<std::string> expected = {"file:0/10000", "file:4096/-1", "file:8192/-1",
                                       "file:10000/-1"};
  EXPECT_EQ(m_window.CallsOf("file:"), expected);
}

struct FaultCase {
  const char* name;
  std::string path;  // kind and query; the test's name goes in between
  bool ok;
  std::string kept;  // what the file holds afterwards (a failure leaves none)
  const char* log;
  int total;  // the range handed to the bar at the start
};

// Every fault of the fault server, with the result, the file, the log and
// the bar's range that the POSIX back-end gives.
TEST_F(WinInetE2E, EveryInjectedFaultEndsWithItsMessageAndResult) {
  const std::string kError = std::string(texts::kDownloadError) + "\r\n";
  const FaultCase cases[] = {
      {"short body", "short|?size=1000&send=600", false, "", kError.c_str(), 1000},
      {"no length", "bytes|?size=5000&nolength=1", true, Pattern(5000), "", 0},
      {"chunked", "bytes|?size=10000&chunked=1000", true, Pattern(10000), "", 0},
      {"404 page", "status/404|", false, "", kError.c_str(), 0},
      {"500 page", "status/500|", false, "", kError.c_str(), 0},
      {"redirect chain", "redirect/3|/r?size=3000", true, Pattern(3000), "", 3000},
      {"redirect loop", "loop|", false, "", kError.c_str(), 0},
      {"negative length", "length|?value=-1&size=100&send=40", false, "", kError.c_str(), 0},
      {"length of 2^40", "length|?value=1099511627776&size=100&send=40", false, "", kError.c_str(),
       2147483647},
      // A Content-Length longer than 31 characters is read like any other.
      {"length of 40 digits",
       "length|?value=0000000000000000000000000000000000000100&size=100&send=100", true,
       Pattern(100), "", 100},
      {"length of 40 digits, cut short",
       "length|?value=0000000000000000000000000000000000000100&size=100&send=40", false, "",
       kError.c_str(), 100},
  };
  const std::string log = m_dir.path() + "\\updater.log";
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string kind = c.path.substr(0, c.path.find('|'));
    std::string url = FaultBase() + "/" + kind + "/" + Tag() + c.path.substr(c.path.find('|') + 1);
    std::string target = m_dir.path() + "\\fault.bin";
    std::remove(log.c_str());
    std::remove(target.c_str());  // a failure keeps the file an earlier case left
    RecordingMainWindow window;
    g_pMainWnd = &window;
    EXPECT_EQ(HttpDownload(url, target, true, true), c.ok);
    g_pMainWnd = &m_window;
    EXPECT_EQ(ReadFileBytes(target), c.kept);
    EXPECT_EQ(std::filesystem::exists(target), c.ok);
    EXPECT_EQ(ReadFileBytes(log), c.log);
    EXPECT_EQ(window.m_aCalls.front(), "file:0/" + std::to_string(c.total));
  }
  EXPECT_EQ(CountRequests(RequestLog("/redirect/3/" + Tag())), 1);
  EXPECT_EQ(CountRequests(RequestLog("/redirect/0/" + Tag())), 1);
  EXPECT_EQ(CountRequests(RequestLog("/loop/" + Tag())), 11);  // the first and 10 redirects
}

// Wine's WinINet mostly reports a connection reset inside a chunked body as
// the body's end, so the download may count as whole (README): what arrived is
// then kept unchanged; a failure keeps no file and has its message.
TEST_F(WinInetE2E, DroppedConnectionKeepsOnlyBytesThatArrived) {
  std::string url = FaultBase() + "/drop/" + Tag() + "?size=10000&send=5000";
  std::string target = m_dir.path() + "\\drop.bin";
  bool ok = HttpDownload(url, target, true, false);
  std::string kept = ReadFileBytes(target);
  EXPECT_LE(kept.size(), 5000u);
  EXPECT_EQ(kept, Pattern(kept.size()));
  EXPECT_EQ(std::filesystem::exists(target), ok);
  EXPECT_EQ(ReadFileBytes(m_dir.path() + "\\updater.log"),
            ok ? "" : std::string(texts::kDownloadError) + "\r\n");
}

// The low-speed rule and the overall limit of a download into memory, held by
// the read loop (here a window of 2 s and a limit of 3 s): a body that brings
// 1,024 bytes in every window is kept, one that trickles in slower or in
// memory outlasts the limit is given up, an endless one stops at the size the
// caller knows. Wine does not honour WinINet's receive time-out (README): a
// server that sends nothing at all holds the download until it closes, here
// after 3 s. The time to each failure is printed.
TEST_F(WinInetE2E, ServerThatStopsSendingFailsAndSlowOneDoesNot) {
  _putenv("UPDATER_HTTP_STALL_SECONDS=2");
  _putenv("UPDATER_HTTP_OVERALL_SECONDS=3");
  const std::string paced = "?size=12288&step=1024&delay=0.5";  // 2 KiB/s for 6 s
  const struct {
    const char* what;
    std::string path;
    bool toFile;
    BodyLimit limit;
    bool ok;
  } cases[] = {
      {"slow but within the rule", "/trickle/" + Tag() + paced, true, BodyLimit(), true},
      {"starving: 20 bytes a second", "/trickle/" + Tag() + "?size=100000&delay=0.05", true,
       BodyLimit(), false},
      {"stopped", "/stall/" + Tag() + "?size=1000&send=1&seconds=3", true, BodyLimit(), false},
      {"in memory past the overall limit", "/trickle/" + Tag() + paced, false, BodyLimit(), false},
      {"endless past its size", "/endless/" + Tag(), true, BodyLimit::Size(100000), false},
  };
  const std::string target = m_dir.path() + "\\slow.bin";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string url = FaultBase() + c.path;
    std::string into = c.toFile ? target : std::string();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(HttpDownload(url, into, c.toFile, false, c.limit), c.ok);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %s after %.1f s\n", c.what, c.ok ? "complete" : "given up", seconds);
    if (c.ok) {
      EXPECT_EQ(ReadFileBytes(target), Pattern(12288));
      std::remove(target.c_str());
    } else {
      EXPECT_LT(seconds, 20);  // well before the server would have ended
      EXPECT_FALSE(std::filesystem::exists(target));
      EXPECT_EQ(m_window.m_szStatus, texts::kDownloadError);
    }
  }
  _putenv("UPDATER_HTTP_STALL_SECONDS=");
  _putenv("UPDATER_HTTP_OVERALL_SECONDS=");
}

TEST_F(WinInetE2E, RedirectsAreFollowedAndEveryDownloadReachesTheServer) {
  for (int i = 0; i < 2; ++i) {
    std::string url = FaultBase() + "/redirect/2/" + Tag() + "?size=30";
    std::string body;
    ASSERT_TRUE(HttpDownload(url, body, false, false));
    EXPECT_EQ(body, Pattern(30));
  }

  std::string log = RequestLog("/redirect/2/" + Tag());
  EXPECT_NE(log.find("User-Agent: Velmar_AutoUpdate_Agent"), std::string::npos) << log;
  // The second download is not answered from WinINet's cache.
  size_t count = 0;
  for (size_t at = log.find("GET /redirect/2/"); at != std::string::npos;
       at = log.find("GET /redirect/2/", at + 1)) {
    ++count;
  }
  EXPECT_EQ(count, 2u) << log;
}

// A package is not written into WinINet's cache besides its own file (Wine
// leaves such copies in the cache folder without indexing them).
TEST_F(WinInetE2E, BodiesAreNotAlsoKeptInTheCache) {
  std::string cache;
  ASSERT_TRUE(platform::Env::Get().shell().GetSpecialFolderPath(0x20, false, &cache));
  std::string url = FaultBase() + "/bytes/" + Tag() + "?size=100000";
  std::string target = m_dir.path() + "\\package.bin";
  ASSERT_TRUE(HttpDownload(url, target, true, false));
  DWORD size = 0;
  EXPECT_FALSE(::GetUrlCacheEntryInfoA(url.c_str(), nullptr, &size));
  std::error_code error;
  int copies = 0;
  for (auto it = std::filesystem::recursive_directory_iterator(cache, error);
       it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    copies += it->path().filename().string().compare(0, Tag().size(), Tag()) == 0;
  }
  EXPECT_EQ(copies, 0) << cache;
}

TEST_F(WinInetE2E, RefusedConnectionIsAReadError) {
  std::string url = "http://127.0.0.1:1/nothing";
  std::string body = "old";
  EXPECT_FALSE(HttpDownload(url, body, false, false));
  EXPECT_EQ(body, "");
  EXPECT_EQ(m_window.m_szStatus, texts::kDownloadError);
}

}  // namespace
