// HttpDownload through the real POSIX internet client against the test servers
// (fixtures nginx and faultserver, see servers.cmake).
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "env/http_download.h"
#include "support/recording_main_window.h"
#include "support/short_write_fs.h"
#include "support/temp_dir.h"
#include "support/test_servers.h"

namespace {

std::string FaultBase() { return FaultServerBase(); }

// Byte i of every fault-server body.
std::string Pattern(size_t begin, size_t end) {
  std::string s;
  for (size_t i = begin; i < end; ++i) s += static_cast<char>('a' + i % 26);
  return s;
}

size_t Collect(char* data, size_t size, size_t n, void* out) {
  static_cast<std::string*>(out)->append(data, size * n);
  return size * n;
}

// The fault server's log of the requests whose target starts with `prefix`,
// fetched with a client of its own, in its text form.
std::string RequestLog(const std::string& prefix) {
  std::string out;
  CURL* curl = curl_easy_init();
  char* escaped = curl_easy_escape(curl, prefix.c_str(), static_cast<int>(prefix.size()));
  std::string url = FaultBase() + "/__requests?format=text&prefix=" + escaped;
  curl_free(escaped);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &out);
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
  curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  return out;
}

// Sets an environment variable for one test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : m_szName(name) {
    const char* old = getenv(name);
    m_bHad = old != nullptr;
    if (old) m_szOld = old;
    setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (m_bHad) {
      setenv(m_szName.c_str(), m_szOld.c_str(), 1);
    } else {
      unsetenv(m_szName.c_str());
    }
  }

 private:
  std::string m_szName;
  std::string m_szOld;
  bool m_bHad = false;
};

class DownloaderE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(NginxPort().empty()) << "nginx is not running";
    ASSERT_FALSE(FaultServerPort().empty()) << "the fault server is not running";
    static std::atomic<int> counter{0};
    m_szTag = ::testing::UnitTest::GetInstance()->current_test_info()->name() + std::string("-") +
              std::to_string(getpid()) + "-" + std::to_string(counter++);
    m_dir.Enter();
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(NginxRoot() + "/" + m_szTag, ec);
  }

  // Puts a file under the nginx root and answers its URL.
  std::string Serve(const std::string& name, const std::string& bytes) {
    std::string dir = NginxRoot() + "/" + m_szTag;
    std::filesystem::create_directories(dir);
    EXPECT_TRUE(WriteFileBytes(dir + "/" + name, bytes));
    return NginxBase() + "/" + m_szTag + "/" + name;
  }
  // A fault-server URL of this test: /kind/<tag>/...
  std::string Fault(const std::string& kind, const std::string& rest) {
    return FaultBase() + "/" + kind + "/" + m_szTag + rest;
  }
  std::string Log() { return ReadFileBytes(m_dir.Sub("updater.log")); }

  TempDir m_dir;
  std::string m_szTag;
};

TEST_F(DownloaderE2E, SpaceInThePathGoesOutEncodedAndTheCallersUrlKeepsThatForm) {
  std::string url = Serve("new pkg.bin", "package bytes");
  std::string target = m_dir.Sub("pkg.bin");
  ASSERT_TRUE(HttpDownload(url, target, true, false));
  EXPECT_EQ(url, NginxBase() + "/" + m_szTag + "/new%20pkg.bin");
  EXPECT_EQ(ReadFileBytes(target), "package bytes");

  url = Fault("bytes", "/a b/../c d.bin?size=3");
  ASSERT_TRUE(HttpDownload(url, target, true, false));
  std::string log = RequestLog("/bytes/" + m_szTag);
  EXPECT_EQ(log.substr(0, log.find('\n')), "GET /bytes/" + m_szTag + "/c%20d.bin?size=3");
}

TEST_F(DownloaderE2E, RequestCarriesTheAgentAndNoCacheHeadersAndNoOthersOfOurs) {
  std::string url = Fault("bytes", "/h?size=10");
  std::string text;
  ASSERT_TRUE(HttpDownload(url, text, false, false));
  std::istringstream log(RequestLog("/bytes/" + m_szTag));
  std::string line;
  std::getline(log, line);
  EXPECT_EQ(line, "GET /bytes/" + m_szTag + "/h?size=10");
  std::set<std::string> headers;
  while (std::getline(log, line) && !line.empty()) headers.insert(line);
  std::string host = FaultBase().substr(7);
  EXPECT_EQ(headers, (std::set<std::string>{"Host: " + host, "User-Agent: Velmar_AutoUpdate_Agent",
                                            "Cache-Control: no-cache", "Pragma: no-cache"}));
}

TEST_F(DownloaderE2E, BodyOf10000BytesMovesTheBarInBlocksOf4096) {
  std::string body = Pattern(0, 10000);
  std::string url = Serve("ten-k.bin", body);
  RecordingMainWindow window;
  std::string target = m_dir.Sub("ten-k.bin");
  ASSERT_TRUE(HttpDownload(url, target, true, true));
  EXPECT_EQ(ReadFileBytes(target), body);
  EXPECT_EQ(window.CallsOf("file:"), (std::vector<std::string>{"file:0/10000", "file:4096/-1",
                                                               "file:8192/-1", "file:10000/-1"}));
  EXPECT_EQ(window.m_nPumped, 3);
}

// Over loopback libcurl receives far faster than 4096-byte blocks are taken:
// the transfer pauses and resumes many times, and not a byte may be lost or
// reordered on the way.
TEST_F(DownloaderE2E, LargeBodyArrivesWholeThroughPausesAndResumes) {
  std::string body;
  for (int i = 0; body.size() < 8u * 1024 * 1024; ++i) body += std::to_string(i) + ",";
  std::string url = Serve("large.bin", body);
  RecordingMainWindow window;
  std::string target = m_dir.Sub("large.bin");
  ASSERT_TRUE(HttpDownload(url, target, true, true));
  EXPECT_TRUE(ReadFileBytes(target) == body);
  EXPECT_EQ(window.m_fileBar.Position(), static_cast<int>(body.size()));
}

TEST_F(DownloaderE2E, FileIsReplacedFromItsStartAndMissingFoldersAreCreated) {
  std::string url = Serve("ten.bin", "0123456789");
  std::string target = m_dir.Sub("over.bin");
  WriteFileBytes(target, std::string(100, 'x'));
  ASSERT_TRUE(HttpDownload(url, target, true, false));
  EXPECT_EQ(ReadFileBytes(target), "0123456789");

  target = m_dir.Sub("one/two/ten.bin");
  ASSERT_TRUE(HttpDownload(url, target, true, false));
  EXPECT_EQ(ReadFileBytes(target), "0123456789");
}

TEST_F(DownloaderE2E, EmptyBodyGivesAnEmptyFileOrString) {
  std::string url = Serve("empty.bin", "");
  std::string target = m_dir.Sub("empty.bin");
  WriteFileBytes(target, "old");
  RecordingMainWindow window;
  ASSERT_TRUE(HttpDownload(url, target, true, true));
  EXPECT_EQ(ReadFileBytes(target), "");
  EXPECT_EQ(window.CallsOf("file:"), (std::vector<std::string>{"file:0/0"}));

  std::string text = "old";
  url = Fault("bytes", "/e?size=0");
  ASSERT_TRUE(HttpDownload(url, text, false, true));
  EXPECT_EQ(text, "");
  EXPECT_EQ(Log(), "");
}

TEST_F(DownloaderE2E, ZeroByteEndsItsBlocksContributionToTheStringOnly) {
  std::string url = Fault("bytes", "/z?size=10000&zero=5000");
  std::string text;
  ASSERT_TRUE(HttpDownload(url, text, false, false));
  EXPECT_EQ(text, Pattern(0, 5000) + Pattern(8192, 10000));
}

TEST_F(DownloaderE2E, TargetThatCannotBeCreatedFailsBeforeTheServerSeesARequest) {
  WriteFileBytes(m_dir.Sub("plain"), "a file");
  std::string url = Fault("bytes", "/never?size=10");
  std::string target = m_dir.Sub("plain/sub/pkg.bin");
  EXPECT_FALSE(HttpDownload(url, target, true, false));
  EXPECT_EQ(Log(), "无法保存下载的文件\r\n");
  EXPECT_EQ(RequestLog("/bytes/" + m_szTag), "");
}

TEST_F(DownloaderE2E, ShortWritesAreReportedPerBlockWhileTheWholeBodyIsRead) {
  std::string url = Serve("big.bin", Pattern(0, 5 * 4096 + 100));
  ShortWriteFs fs({2, 4});
  RecordingMainWindow window;
  std::string target = m_dir.Sub("big.bin");
  EXPECT_FALSE(HttpDownload(url, target, true, true));
  EXPECT_EQ(Log(), "保存下载文件出错\r\n保存下载文件出错\r\n");
  EXPECT_EQ(window.m_fileBar.Position(), 5 * 4096 + 100);
  // A file with holes never takes the target's name.
  EXPECT_FALSE(std::filesystem::exists(target));
}

struct FaultCase {
  const char* name;
  std::string path;  // kind and query; the tag goes in between
  bool ok;
  std::string kept;  // what the file holds afterwards; a failed download leaves none
  const char* log;
  int total;  // the range handed to the bar at the start
};

TEST_F(DownloaderE2E, EveryInjectedFaultEndsWithItsMessageAndResult) {
  const char* kError = "下载文件出错\r\n";
  const FaultCase cases[] = {
      {"short body", "short|?size=1000&send=600", false, "", kError, 1000},
      {"no length", "bytes|?size=5000&nolength=1", true, Pattern(0, 5000), "", 0},
      {"chunked", "bytes|?size=10000&chunked=1000", true, Pattern(0, 10000), "", 0},
      {"404 page", "status/404|", false, "", kError, 0},
      {"500 page", "status/500|", false, "", kError, 0},
      {"redirect chain", "redirect/3|/r?size=3000", true, Pattern(0, 3000), "", 3000},
      {"redirect loop", "loop|", false, "", kError, 0},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string kind = c.path.substr(0, c.path.find('|'));
    std::string url = Fault(kind, c.path.substr(c.path.find('|') + 1));
    std::string target = m_dir.Sub("fault.bin");
    std::filesystem::remove(m_dir.Sub("updater.log"));
    std::filesystem::remove(target);
    RecordingMainWindow window;
    EXPECT_EQ(HttpDownload(url, target, true, true), c.ok);
    EXPECT_EQ(std::filesystem::exists(target), c.ok);
    EXPECT_EQ(ReadFileBytes(target), c.kept);
    EXPECT_EQ(Log(), c.log);
    EXPECT_EQ(window.m_aCalls.front(), "file:0/" + std::to_string(c.total));
  }
  EXPECT_EQ(CountRequests(RequestLog("/redirect/3/" + m_szTag)), 1);
  EXPECT_EQ(CountRequests(RequestLog("/redirect/0/" + m_szTag)), 1);
  EXPECT_EQ(CountRequests(RequestLog("/loop/" + m_szTag)), 11);  // the first and 10 redirects
}

TEST_F(DownloaderE2E, DroppedConnectionFailsAndLeavesNoPartFile) {
  std::string url = Fault("drop", "?size=10000&send=5000");
  std::string target = m_dir.Sub("drop.bin");
  EXPECT_FALSE(HttpDownload(url, target, true, false));
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_EQ(Log(), "下载文件出错\r\n");
}

TEST_F(DownloaderE2E, MissingFileOnNginxIsNeverDeliveredAsTheManifest) {
  std::string url = NginxBase() + "/" + m_szTag + "/update.xml";
  std::string text = "old";
  EXPECT_FALSE(HttpDownload(url, text, false, true));
  EXPECT_EQ(text, "");
  EXPECT_EQ(Log(), "下载文件出错\r\n");
}

// The low-speed rule, here with a window of 2 s, and the overall limit of a
// download into memory, here 3 s: a body that brings 1,024 bytes in every
// window is kept however long it takes into a file; one that trickles in
// slower, stops, or in memory outlasts the limit is given up and leaves no
// file; an endless body stops at the size the caller knows. The time to each
// failure is printed.
TEST_F(DownloaderE2E, ServerThatStopsSendingIsAbandonedAndSlowOneIsNot) {
  ScopedEnv stall("UPDATER_HTTP_STALL_SECONDS", "2");
  ScopedEnv overall("UPDATER_HTTP_OVERALL_SECONDS", "3");
  const std::string paced = "?size=12288&step=1024&delay=0.5";  // 2 KiB/s for 6 s
  const struct {
    const char* what;
    std::string url;
    bool toFile;
    BodyLimit limit;
    bool ok;
  } cases[] = {
      {"slow but within the rule", Fault("trickle", paced), true, BodyLimit(), true},
      {"starving: 20 bytes a second", Fault("trickle", "?size=100000&delay=0.05"), true,
       BodyLimit(), false},
      {"stopped", Fault("stall", "?size=1000&send=1&seconds=40"), true, BodyLimit(), false},
      {"in memory past the overall limit", Fault("trickle", paced), false, BodyLimit(), false},
      {"endless past its size", Fault("endless", ""), true, BodyLimit::Size(100000), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove(m_dir.Sub("updater.log").c_str());
    std::string url = c.url;
    std::string target = c.toFile ? m_dir.Sub("slow.bin") : std::string();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(HttpDownload(url, target, c.toFile, false, c.limit), c.ok);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %s after %.1f s\n", c.what, c.ok ? "complete" : "given up", seconds);
    if (c.ok) {
      EXPECT_EQ(ReadFileBytes(m_dir.Sub("slow.bin")), Pattern(0, 12288));
      std::remove(m_dir.Sub("slow.bin").c_str());
    } else {
      // Well before the server would have ended.
      EXPECT_LT(seconds, 20);
      EXPECT_FALSE(std::filesystem::exists(m_dir.Sub("slow.bin")));
      EXPECT_EQ(Log(), "下载文件出错\r\n");
    }
  }
}

TEST_F(DownloaderE2E, RefusedConnectionAndUnsupportedSchemeFail) {
  // A port that was free a moment ago: nothing listens there.
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  socklen_t len = sizeof addr;
  getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  close(s);
  std::string url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/x";
  RecordingMainWindow window;
  std::string text;
  EXPECT_FALSE(HttpDownload(url, text, false, true));
  EXPECT_EQ(window.m_aCalls, (std::vector<std::string>{"file:0/0", "status:下载文件出错"}));

  url = "file:///etc/hostname";
  EXPECT_FALSE(HttpDownload(url, text, false, false));
  EXPECT_EQ(text, "");
  EXPECT_EQ(Log(), "下载文件出错\r\n下载文件出错\r\n");
}

}  // namespace
