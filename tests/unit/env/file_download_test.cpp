#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "env/http_download.h"
#include "platform/env.h"
#include "support/memory_internet.h"
#include "support/recording_main_window.h"
#include "support/short_write_fs.h"
#include "support/temp_dir.h"
#include "support/update_checks.h"

namespace {

using Strings = std::vector<std::string>;

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

// One digest of the whole body at once, to hold the one made over two
// attempts against.
std::string Sha256Of(const std::string& bytes) {
  std::unique_ptr<platform::Digest> digest = platform::NewDigest(platform::DigestKind::kSha256);
  digest->Update(bytes.data(), bytes.size());
  return digest->FinalHex();
}

const std::string kBody = Pattern(10000);
const char kDate[] = "Tue, 01 Dec 2026 08:00:00 GMT";

MemoryInternet::Response Answer(int status, size_t from, const std::string& etag,
                                const std::string& modified, const std::string& range = "") {
  MemoryInternet::Response r;
  r.status = status;
  r.body = kBody.substr(from);
  r.etag = etag;
  r.lastModified = modified;
  r.contentRange = range;
  return r;
}

// A first answer cut off after 4,000 of 10,000 bytes with the given
// validators, then the server's answers to the next attempts: whether the kept
// bytes are continued is decided by those answers alone, and either way the
// file and both digests are those of the whole body.
TEST(FileDownload, SecondAttemptContinuesOnlyAMatchingPartialAnswer) {
  const MemoryInternet::Response whole = Answer(200, 0, "\"v2\"", "");
  const std::string tail = "bytes 4000-9999/10000";
  struct Case {
    const char* what;
    std::string etag, modified;  // of the first answer
    std::vector<MemoryInternet::Response> next;
    Strings ranges;  // asked for by each request
  } cases[] = {
      {"206 for the rest, same ETag",
       "\"v1\"",
       kDate,
       {Answer(206, 4000, "\"v1\"", "", tail)},
       {"", "4000- \"v1\""}},
      {"Last-Modified only",
       "",
       kDate,
       {Answer(206, 4000, "", kDate, tail)},
       {"", std::string("4000- ") + kDate}},
      {"a weak ETag is passed over",
       "W/\"v1\"",
       kDate,
       {Answer(206, 4000, "", "", tail)},
       {"", std::string("4000- ") + kDate}},
      {"206 for another range",
       "\"v1\"",
       "",
       {Answer(206, 4000, "\"v1\"", "", "bytes 4000-8999/10000"), whole},
       {"", "4000- \"v1\"", ""}},
      {"206 from another byte",
       "\"v1\"",
       "",
       {Answer(206, 4000, "\"v1\"", "", "bytes 3000-9999/10000"), whole},
       {"", "4000- \"v1\"", ""}},
      {"206 of a resource of another length",
       "\"v1\"",
       "",
       {Answer(206, 4000, "\"v1\"", "", "bytes 4000-9999/20000"), whole},
       {"", "4000- \"v1\"", ""}},
      {"206 whose Content-Range does not add up",
       "\"v1\"",
       "",
       {Answer(206, 4000, "\"v1\"", "", "bytes 4000-18446744073709551615/0"), whole},
       {"", "4000- \"v1\"", ""}},
      {"206 without Content-Range",
       "\"v1\"",
       "",
       {Answer(206, 4000, "\"v1\"", ""), whole},
       {"", "4000- \"v1\"", ""}},
      {"206 with a changed ETag",
       "\"v1\"",
       "",
       {Answer(206, 4000, "\"v2\"", "", tail), whole},
       {"", "4000- \"v1\"", ""}},
      {"200: the whole body again", "\"v1\"", "", {whole}, {"", "4000- \"v1\""}},
      {"no validator", "", "", {whole}, {"", ""}},
      {"only a weak ETag", "W/\"v1\"", "", {whole}, {"", ""}},
      {"a validator that is no header text", "\"v1\r\nX: y\"", "", {whole}, {"", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    dir.Enter();
    MemoryInternet net;
    platform::ScopedService<platform::Internet> guard(&platform::Env::SetInternet, &net);
    RecordingMainWindow window;
    const std::string url = "http://h/p.bin";
    MemoryInternet::Response first = Answer(200, 0, c.etag, c.modified);
    first.failAfter = 4000;
    net.Serve(url, first);
    for (const MemoryInternet::Response& r : c.next) net.Serve(url, r);
    const std::string target = dir.Sub("p.bin");

    FileDownload download(true, true);
    std::string u = url;
    EXPECT_FALSE(download.Attempt(u, target, true, BodyLimit()));
    window.m_aCalls.clear();
    ASSERT_TRUE(download.Attempt(u, target, true, BodyLimit()));
    EXPECT_EQ(net.m_aRanges, c.ranges);
    bool resumed = c.ranges.size() == 2 && !c.ranges[1].empty() && c.next[0].status == 206;
    // The bar covers the whole file; a continued one starts where the kept bytes end.
    EXPECT_EQ(window.CallsOf("file:").front(), resumed ? "file:4000/10000" : "file:0/10000");
    EXPECT_EQ(download.Received(), kBody.size());
    EXPECT_EQ(download.DigestHex(platform::DigestKind::kMd5), Md5Of(kBody));
    EXPECT_EQ(download.DigestHex(platform::DigestKind::kSha256), Sha256Of(kBody));
    EXPECT_FALSE(std::filesystem::exists(target));  // not under its name before Commit
    ASSERT_TRUE(download.Commit());
    EXPECT_EQ(ReadFileBytes(target), kBody);
  }
}

// Kept bytes that may be wrong are never continued: a body received whole
// (its check failed) or one cut off after a block was written short; the next
// attempt asks for the whole file. A download dropped without a Commit leaves
// nothing behind.
TEST(FileDownload, BytesThatMayBeWrongAreNeverContinuedAndNothingIsLeftBehind) {
  TempDir dir;
  dir.Enter();
  MemoryInternet net;
  platform::ScopedService<platform::Internet> guard(&platform::Env::SetInternet, &net);
  const std::string url = "http://h/p.bin";
  net.Serve(url, Answer(200, 0, "\"v1\"", kDate));
  const std::string target = dir.Sub("p.bin");
  {
    FileDownload download(true, false);
    std::string u = url;
    ASSERT_TRUE(download.Attempt(u, target, false, BodyLimit()));
    ASSERT_TRUE(download.Attempt(u, target, false, BodyLimit()));
    EXPECT_EQ(net.m_aRanges, (Strings{"", ""}));
    EXPECT_EQ(download.DigestHex(platform::DigestKind::kMd5), Md5Of(kBody));
    EXPECT_EQ(download.DigestHex(platform::DigestKind::kSha256), "");  // not asked for
  }
  {
    MemoryInternet::Response cut = Answer(200, 0, "\"v1\"", kDate);
    cut.failAfter = 4000;
    net.Serve(url, cut);
    net.m_aRanges.clear();
    FileDownload download(true, false);
    std::string u = url;
    {
      ShortWriteFs fs({1});
      EXPECT_FALSE(download.Attempt(u, target, false, BodyLimit()));
    }
    EXPECT_FALSE(download.Attempt(u, target, false, BodyLimit()));
    EXPECT_EQ(net.m_aRanges, (Strings{"", ""}));
  }
  std::remove("updater.log");
  EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "the temporary stays";
}

}  // namespace
