// For Windows: HttpDownload through WinINet against the test servers (nginx
// and the fault server of servers.cmake), under Wine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "env/config.h"
#include "env/http_download.h"
#include "env/texts.h"
#include "support/recording_main_window.h"
#include "support/temp_dir.h"

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

TEST_F(WinInetE2E, ShortBodyFailsAndLeavesNoPartFile) {
  std::string url = FaultBase() + "/short/" + Tag() + "?size=100&send=40";
  std::string target = m_dir.path() + "\\short.bin";
  EXPECT_FALSE(HttpDownload(url, target, true, false));
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_EQ(m_window.m_szStatus, texts::kDownloadError);
}

TEST_F(WinInetE2E, RedirectsAreFollowedAndEveryDownloadReachesTheServer) {
  for (int i = 0; i < 2; ++i) {
    std::string url = FaultBase() + "/redirect/2/" + Tag() + "?size=30";
    std::string body;
    ASSERT_TRUE(HttpDownload(url, body, false, false));
    EXPECT_EQ(body, Pattern(30));
  }

  std::string logUrl = FaultBase() + "/__requests?format=text&prefix=/redirect/2/" + Tag();
  std::string log;
  ASSERT_TRUE(HttpDownload(logUrl, log, false, false));
  EXPECT_NE(log.find("User-Agent: Velmar_AutoUpdate_Agent"), std::string::npos) << log;
  // The second download is not answered from WinINet's cache.
  size_t count = 0;
  for (size_t at = log.find("GET /redirect/2/"); at != std::string::npos;
       at = log.find("GET /redirect/2/", at + 1)) {
    ++count;
  }
  EXPECT_EQ(count, 2u) << log;
}

TEST_F(WinInetE2E, RefusedConnectionIsAReadError) {
  std::string url = "http://127.0.0.1:1/nothing";
  std::string body = "old";
  EXPECT_FALSE(HttpDownload(url, body, false, false));
  EXPECT_EQ(body, "");
  EXPECT_EQ(m_window.m_szStatus, texts::kDownloadError);
}

}  // namespace
