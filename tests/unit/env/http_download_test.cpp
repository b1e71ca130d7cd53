#include "env/http_download.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>

#include "env/replacing_file.h"
#include "env/texts.h"
#include "platform/env.h"
#include "platform/url_canonical.h"
#include "support/native_path.h"
#include "support/recording_main_window.h"
#include "support/short_write_fs.h"
#include "support/temp_dir.h"

namespace {

// What the fake server answers.
struct FakeResponse {
  int status = 200;
  std::string contentLength = "auto";  // "auto": the body's size; else the header's text
  std::string body;
  size_t failAt = std::string::npos;  // reads fail once this many bytes went out
};

class FakeRequest : public platform::HttpRequest {
 public:
  FakeRequest(const FakeResponse& response, std::vector<size_t>* reads)
      : m_response(response), m_pReads(reads) {}
  std::string ContentLengthText() override {
    return m_response.contentLength == "auto" ? std::to_string(m_response.body.size())
                                              : m_response.contentLength;
  }
  int StatusCode() override { return m_response.status; }
  std::string HeaderText(platform::HttpHeader) override { return std::string(); }
  bool Read(char* buffer, size_t size, size_t* got) override {
    m_pReads->push_back(size);
    size_t end = std::min(m_response.body.size(), m_response.failAt);
    if (m_nSent == m_response.failAt) {
      *got = 0;
      return false;
    }
    *got = std::min(size, end - m_nSent);
    m_response.body.copy(buffer, *got, m_nSent);
    m_nSent += *got;
    return true;
  }

 private:
  FakeResponse m_response;
  std::vector<size_t>* m_pReads;
  size_t m_nSent = 0;
};

// The internet client of these tests: the real canonicalisation, a scripted
// response, and a record of what was asked.
class FakeInternet : public platform::Internet {
 public:
  FakeInternet() : m_guard(&platform::Env::SetInternet, this) {}
  bool IsOnline() override { return true; }
  bool CanonicalizeUrl(const std::string& url, size_t capacity, std::string* c) override {
    return platform::BrowserCanonicalUrl(url, capacity, c);
  }
  std::unique_ptr<platform::HttpRequest> OpenUrl(const std::string& url, const std::string& agent,
                                                 long overallSeconds,
                                                 const platform::HttpRange*) override {
    m_aOpened.push_back(url);
    m_szAgent = agent;
    m_nOverallSeconds = overallSeconds;
    if (m_bOpenFails) return nullptr;
    return std::make_unique<FakeRequest>(m_response, &m_aReads);
  }

  FakeResponse m_response;
  bool m_bOpenFails = false;
  std::vector<std::string> m_aOpened;
  std::string m_szAgent;
  long m_nOverallSeconds = -1;
  std::vector<size_t> m_aReads;  // the size asked for by each read

 private:
  platform::ScopedService<platform::Internet> m_guard;
};

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

class HttpDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override { m_dir.Enter(); }
  std::string Log() { return ReadFileBytes(m_dir.Sub("updater.log")); }

  TempDir m_dir;
  FakeInternet m_net;
  std::string m_szUrl = "http://example.test/pkg.zip";
};

TEST_F(HttpDownloadTest, BodyArrivesInBlocksOf4096AndTheBarFollowsIt) {
  m_net.m_response.body = Pattern(10000);
  RecordingMainWindow window;
  std::string target = m_dir.Sub("pkg.zip");
  ASSERT_TRUE(HttpDownload(m_szUrl, target, true, true));
  EXPECT_EQ(ReadFileBytes(target), m_net.m_response.body);
  EXPECT_EQ(window.CallsOf("file:"), (std::vector<std::string>{"file:0/10000", "file:4096/-1",
                                                               "file:8192/-1", "file:10000/-1"}));
  EXPECT_EQ(window.m_nPumped, 3);
  EXPECT_EQ(m_net.m_aReads, (std::vector<size_t>{4096, 4096, 4096, 4096}));
  EXPECT_EQ(m_net.m_szAgent, "Velmar_AutoUpdate_Agent");
  EXPECT_EQ(m_net.m_nOverallSeconds, 0);  // a file has no overall time limit
  EXPECT_EQ(Log(), "");
}

TEST_F(HttpDownloadTest, WithoutProgressTheWindowIsLeftAlone) {
  m_net.m_response.body = Pattern(5000);
  RecordingMainWindow window;
  std::string target;
  ASSERT_TRUE(HttpDownload(m_szUrl, target, false, false));
  EXPECT_EQ(target, m_net.m_response.body);
  EXPECT_EQ(m_net.m_nOverallSeconds, 120);  // text has one
  EXPECT_TRUE(window.m_aCalls.empty());
  EXPECT_EQ(window.m_nPumped, 0);
}

TEST_F(HttpDownloadTest, ProgressWithoutAMainWindowIsHarmless) {
  m_net.m_response.body = Pattern(5000);
  std::string target;
  EXPECT_TRUE(HttpDownload(m_szUrl, target, false, true));
  EXPECT_EQ(target.size(), 5000u);
}

TEST_F(HttpDownloadTest, TotalIsTheContentLengthsLeadingDigitsClamped) {
  const std::pair<const char*, int> cases[] = {
      {"", 0},
      {"12abc", 12},
      {"  42", 42},
      {"abc", 0},
      {"-5", 0},
      {"007", 7},
      {"2147483647", INT_MAX},
      {"99999999999999999999", INT_MAX},
  };
  for (const auto& c : cases) {
    m_net.m_response.contentLength = c.first;
    m_net.m_response.body = "x";
    RecordingMainWindow window;
    std::string target;
    ASSERT_TRUE(HttpDownload(m_szUrl, target, false, true));
    EXPECT_EQ(window.m_aCalls.front(), "file:0/" + std::to_string(c.second)) << c.first;
  }
}

TEST_F(HttpDownloadTest, EmptyBodyLeavesTheBarsRangeAndGivesAnEmptyTarget) {
  m_net.m_response.body = "";
  RecordingMainWindow window;
  window.SetFileProgress(0, 1000);
  std::string text = "previous manifest";
  ASSERT_TRUE(HttpDownload(m_szUrl, text, false, true));
  EXPECT_EQ(text, "");
  EXPECT_EQ(window.m_fileBar.Range(), 1000);

  WriteFileBytes(m_dir.Sub("empty.bin"), "old content");
  std::string target = m_dir.Sub("empty.bin");
  ASSERT_TRUE(HttpDownload(m_szUrl, target, true, true));
  EXPECT_TRUE(std::filesystem::exists(target));
  EXPECT_EQ(ReadFileBytes(target), "");
}

TEST_F(HttpDownloadTest, ZeroByteEndsOnlyItsOwnBlocksContributionToAString) {
  std::string first = Pattern(4096);
  first[100] = '\0';
  m_net.m_response.body = first + "tail";
  std::string text;
  ASSERT_TRUE(HttpDownload(m_szUrl, text, false, false));
  EXPECT_EQ(text, first.substr(0, 100) + "tail");
}

TEST_F(HttpDownloadTest, ZeroBytesReachAFileUnchanged) {
  m_net.m_response.body = std::string("a\0b\0", 4) + Pattern(5000);
  std::string target = m_dir.Sub("bin");
  ASSERT_TRUE(HttpDownload(m_szUrl, target, true, false));
  EXPECT_EQ(ReadFileBytes(target), m_net.m_response.body);
}

TEST_F(HttpDownloadTest, ExistingFileIsReplacedFromItsStart) {
  std::string target = m_dir.Sub("f.bin");
  WriteFileBytes(target, std::string(100, 'o'));
  m_net.m_response.body = "0123456789";
  ASSERT_TRUE(HttpDownload(m_szUrl, target, true, false));
  EXPECT_EQ(ReadFileBytes(target), "0123456789");
}

TEST_F(HttpDownloadTest, MissingFoldersOfTheTargetAreCreated) {
  std::string target = m_dir.Sub("one/two/f.bin");
  m_net.m_response.body = "content";
  ASSERT_TRUE(HttpDownload(m_szUrl, target, true, false));
  EXPECT_EQ(ReadFileBytes(target), "content");
}

TEST_F(HttpDownloadTest, TargetThatCannotBeCreatedFailsBeforeAnyRequest) {
  WriteFileBytes(m_dir.Sub("plain"), "a file, not a folder");
  RecordingMainWindow window;
  std::string target = m_dir.Sub("plain/sub/f.bin");
  m_net.m_response.body = "content";
  EXPECT_FALSE(HttpDownload(m_szUrl, target, true, true));
  EXPECT_TRUE(m_net.m_aOpened.empty());
  EXPECT_EQ(Log(), "无法保存下载的文件\r\n");
  EXPECT_EQ(window.m_aCalls, (std::vector<std::string>{"status:无法保存下载的文件"}));
}

TEST_F(HttpDownloadTest, ShortWritesAreReportedPerBlockAndTheBodyIsStillReadToTheEnd) {
  ShortWriteFs fs({2, 3});
  m_net.m_response.body = Pattern(5 * 4096);
  RecordingMainWindow window;
  std::string target = m_dir.Sub("full-disk.bin");
  EXPECT_FALSE(HttpDownload(m_szUrl, target, true, true));
  EXPECT_EQ(Log(), "保存下载文件出错\r\n保存下载文件出错\r\n");
  EXPECT_EQ(m_net.m_aReads.size(), 6u);  // five blocks and the end
  EXPECT_EQ(window.m_fileBar.Position(), 5 * 4096);
  // What was saved is short: it never takes the target's name.
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_FALSE(std::filesystem::exists(ReplacementTempPath(target)));
}

TEST_F(HttpDownloadTest, FailedReadKeepsTheOldFileAndWhatArrivedInAString) {
  m_net.m_response.body = Pattern(10000);
  m_net.m_response.failAt = 5000;
  RecordingMainWindow window;
  std::string target = m_dir.Sub("partial.bin");
  WriteFileBytes(target, "an earlier download");
  EXPECT_FALSE(HttpDownload(m_szUrl, target, true, true));
  // A cut-off file never poses as the package: the earlier file stays.
  EXPECT_EQ(ReadFileBytes(target), "an earlier download");
  EXPECT_FALSE(std::filesystem::exists(ReplacementTempPath(target)));
  EXPECT_EQ(window.m_szStatus, "下载文件出错");
  EXPECT_EQ(Log(), "下载文件出错\r\n");

  std::string text;
  EXPECT_FALSE(HttpDownload(m_szUrl, text, false, false));
  EXPECT_EQ(text, Pattern(5000));
}

TEST_F(HttpDownloadTest, UrlThatCannotBeOpenedIsAFailingFirstRead) {
  m_net.m_bOpenFails = true;
  RecordingMainWindow window;
  std::string text = "stale";
  EXPECT_FALSE(HttpDownload(m_szUrl, text, false, true));
  EXPECT_EQ(text, "");
  EXPECT_EQ(window.m_aCalls, (std::vector<std::string>{"file:0/0", "status:下载文件出错"}));
  EXPECT_EQ(Log(), "下载文件出错\r\n");
}

TEST_F(HttpDownloadTest, ErrorStatusIsAFailedDownloadAndItsPageIsNeverDelivered) {
  for (int status : {400, 403, 404, 500, 503}) {
    m_net.m_response.status = status;
    m_net.m_response.body = "<html><body>Not Found</body></html>";
    m_net.m_aReads.clear();
    RecordingMainWindow window;
    std::string target = m_dir.Sub("pkg.zip");
    EXPECT_FALSE(HttpDownload(m_szUrl, target, true, true)) << status;
    EXPECT_EQ(ReadFileBytes(target), "") << status;
    EXPECT_TRUE(m_net.m_aReads.empty()) << status;
    EXPECT_EQ(window.m_szStatus, "下载文件出错");

    std::string text;
    EXPECT_FALSE(HttpDownload(m_szUrl, text, false, false)) << status;
    EXPECT_EQ(text, "") << status;
  }
}

TEST_F(HttpDownloadTest, SuccessStatusesDeliverTheBody) {
  for (int status : {200, 203, 299, 0}) {
    m_net.m_response.status = status;
    m_net.m_response.body = "body";
    std::string text;
    EXPECT_TRUE(HttpDownload(m_szUrl, text, false, false)) << status;
    EXPECT_EQ(text, "body");
  }
}

TEST_F(HttpDownloadTest, CallersUrlHoldsTheCanonicalFormThatWasRequested) {
  std::string url = "HTTP://Example.TEST/files/old/../new pkg.zip?name=a b";
  std::string target = m_dir.Sub("x");
  m_net.m_response.body = "ok";
  ASSERT_TRUE(HttpDownload(url, target, true, false));
  EXPECT_EQ(url, "http://example.test/files/new%20pkg.zip?name=a b");
  EXPECT_EQ(m_net.m_aOpened, (std::vector<std::string>{url}));
}

TEST_F(HttpDownloadTest, MalformedOrOverlongUrlFailsWithoutARequestAndKeepsTheCallersUrl) {
  const std::string urls[] = {
      "ftp://example.test/pkg.zip", "http:/example.test/pkg.zip", "example.test/pkg.zip",
      "http://example.test/" + std::string(1004, 'a'),  // 1024 bytes: no room for the zero
  };
  for (const std::string& original : urls) {
    std::string url = original;
    std::string target = m_dir.Sub("bad-url.bin");
    RecordingMainWindow window;
    EXPECT_FALSE(HttpDownload(url, target, true, true)) << original;
    EXPECT_EQ(url, original);
    EXPECT_EQ(window.m_szStatus, "下载文件出错");
  }
  EXPECT_TRUE(m_net.m_aOpened.empty());

  // 1023 bytes still fit.
  std::string url = "http://example.test/" + std::string(1003, 'a');
  std::string text;
  EXPECT_TRUE(HttpDownload(url, text, false, false));
  EXPECT_EQ(m_net.m_aOpened.size(), 1u);
}

}  // namespace

// A server that never ends its body: a manifest held in memory stops growing
// at its limit and the download fails as a read error does; a file is not
// held in memory and has no such limit.
class EndlessInternet : public platform::Internet {
 public:
  class Request : public platform::HttpRequest {
   public:
    Request(uint64_t* served, uint64_t end) : m_pServed(served), m_nEnd(end) {}
    std::string ContentLengthText() override { return ""; }
    int StatusCode() override { return 200; }
    std::string HeaderText(platform::HttpHeader) override { return std::string(); }
    bool Read(char* buffer, size_t size, size_t* got) override {
      *got = *m_pServed < m_nEnd ? size : 0;
      std::memset(buffer, 'x', *got);
      *m_pServed += *got;
      return true;
    }

   private:
    uint64_t* m_pServed;
    uint64_t m_nEnd;
  };

  EndlessInternet() : m_guard(&platform::Env::SetInternet, this) {}
  bool IsOnline() override { return true; }
  bool CanonicalizeUrl(const std::string& url, size_t, std::string* c) override {
    *c = url;
    return true;
  }
  std::unique_ptr<platform::HttpRequest> OpenUrl(const std::string&, const std::string&, long,
                                                 const platform::HttpRange*) override {
    return std::make_unique<Request>(&m_nServed, m_nEnd);
  }

  uint64_t m_nServed = 0;
  uint64_t m_nEnd = UINT64_MAX;  // the body's length; "never ends" by default

 private:
  platform::ScopedService<platform::Internet> m_guard;
};

TEST(BadInputDownload, EndlessBodyIntoMemoryStopsAtTheLimitAsAFailedDownload) {
  TempDir dir;
  dir.Enter();
  EndlessInternet net;
  std::string url = "http://example.test/update.xml";
  std::string target;
  EXPECT_FALSE(HttpDownload(url, target, false, false));
  EXPECT_EQ(target.size(), kMaxTextDownload);
  // One block past the limit was read, and no more.
  EXPECT_EQ(net.m_nServed, kMaxTextDownload + 4096);
  EXPECT_EQ(ReadFileBytes(dir.Sub("updater.log")), std::string(texts::kDownloadError) + "\r\n");
}

TEST(BadInputDownload, AFileMayBeLongerThanTheTextLimit) {
  TempDir dir;
  dir.Enter();
  EndlessInternet net;
  net.m_nEnd = kMaxTextDownload + 3 * 4096;
  std::string url = "http://example.test/big.bin";
  std::string target = dir.Sub("big.bin");
  EXPECT_TRUE(HttpDownload(url, target, true, false));
  EXPECT_EQ(std::filesystem::file_size(target), kMaxTextDownload + 3 * 4096);
}

// A volume that shrinks as the download folder fills: its free space is a
// budget less what the folder's files take.
class SmallVolumeFs : public platform::FsWrapper {
 public:
  SmallVolumeFs(const std::string& folder, uint64_t budget)
      : FsWrapper(platform::DefaultFs()),
        m_szFolder(folder),
        m_nBudget(budget),
        m_guard(&platform::Env::SetFs, this) {}
  platform::Error GetFreeBytes(const std::string& path, uint64_t* bytes) override {
    EXPECT_EQ(path, m_szFolder);
    uint64_t used = 0;
    for (const auto& e : std::filesystem::directory_iterator(m_szFolder)) {
      if (e.is_regular_file()) used += e.file_size();
    }
    *bytes = used < m_nBudget ? m_nBudget - used : 0;
    if (*bytes < m_nLowest) m_nLowest = *bytes;
    return platform::kErrorSuccess;
  }
  uint64_t m_nLowest = UINT64_MAX;

 private:
  std::string m_szFolder;
  uint64_t m_nBudget;
  platform::ScopedService<platform::Fs> m_guard;
};

TEST(BadInputDownload, EndlessBodyIntoAFileStopsBeforeTheDiskFills) {
  TempDir dir;
  dir.Enter();
  std::string folder = dir.Sub("download");
  std::filesystem::create_directories(folder);
  SmallVolumeFs volume(folder, kMinFreeSpace + (1u << 20));
  EndlessInternet net;
  // Far more than the volume holds; an end all the same, should the guard fail.
  net.m_nEnd = 64u << 20;
  std::string url = "http://example.test/pkg.zip";
  std::string target = folder + NativePath("/pkg.zip");
  EXPECT_FALSE(HttpDownload(url, target, true, false));
  EXPECT_EQ(ReadFileBytes(dir.Sub("updater.log")), std::string(texts::kSaveDownloadError) + "\r\n");
  EXPECT_GE(volume.m_nLowest, kMinFreeSpace);
  EXPECT_GT(net.m_nServed, 512u << 10);
  EXPECT_TRUE(std::filesystem::is_empty(folder));
}
