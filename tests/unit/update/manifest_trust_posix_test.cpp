// Signed manifests: keys and signatures made by the real minisign program, the
// signature checked alone and in whole runs, accepted and refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "env/texts.h"
#include "env/trusted_keys.h"
#include "unit/update/run_fixture.h"
#include "update/manifest_signature.h"
#include "update/manifest_trust.h"
#include "update/update_run.h"

namespace {

using Strings = std::vector<std::string>;

const char kManifestUrl[] = "http://updates.test/u.xml?v=1.0.0.0";
const char kSignatureUrl[] = "http://updates.test/u.xml.minisig?v=1.0.0.0";

std::string Quote(const std::string& s) { return "'" + s + "'"; }

// Key pairs "a", "b" and "c", made once; signatures made per case.
class Minisign {
 public:
  static Minisign& Get() {
    static Minisign instance;
    return instance;
  }
  // The base64 line of the public key.
  std::string PublicKey(const std::string& name) const {
    std::string pub = ReadFileBytes(m_dir.Sub(name + ".pub"));
    size_t start = pub.find('\n') + 1;
    return pub.substr(start, pub.find('\n', start) - start);
  }
  // The .minisig text for `bytes`; legacy: over the text ("Ed"), else over its
  // BLAKE2b digest ("ED"). An empty comment is minisign's own.
  std::string Sign(const std::string& name, const std::string& bytes, bool legacy,
                   const std::string& comment = "") const {
    std::string file = m_dir.Sub("m.xml");
    WriteFileBytes(file, bytes);
    std::string command = "minisign -S -s " + Quote(m_dir.Sub(name + ".key")) + " -m " +
                          Quote(file) + (legacy ? " -l" : "") +
                          (comment.empty() ? "" : " -t " + Quote(comment)) + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) return "minisign failed";
    return ReadFileBytes(file + ".minisig");
  }

 private:
  Minisign() {
    for (const char* name : {"a", "b", "c"}) {
      std::string command = "minisign -G -W -p " + Quote(m_dir.Sub(std::string(name) + ".pub")) +
                            " -s " + Quote(m_dir.Sub(std::string(name) + ".key")) +
                            " >/dev/null 2>&1";
      EXPECT_EQ(std::system(command.c_str()), 0) << command;
    }
  }
  TempDir m_dir;
};

}  // namespace

TEST(ManifestSignature, WhatVerifiesAndWhatDoesNot) {
  Minisign& m = Minisign::Get();
  const std::string text = "<updateinfo version='1.1.0.0'/>";
  const Strings a = {m.PublicKey("a")};
  std::string hashed = m.Sign("a", text, false, "timestamp:42\tfile:u.xml");
  std::string legacy = m.Sign("a", text, true);
  std::string comment;
  EXPECT_TRUE(VerifyMinisign(text, hashed, a, &comment));
  EXPECT_EQ(comment, "timestamp:42\tfile:u.xml");
  EXPECT_TRUE(VerifyMinisign(text, legacy, a, &comment));

  std::string crlf;
  for (char c : hashed) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_TRUE(VerifyMinisign(text, crlf, a, &comment));

  std::string otherComment = hashed;
  otherComment.replace(otherComment.find("timestamp:42"), 12, "timestamp:99");
  std::string flipped = hashed;
  size_t sigLine = flipped.find('\n') + 10;
  flipped[sigLine] = flipped[sigLine] == 'A' ? 'B' : 'A';
  // The decoder reads 0xAF as "/" and 0xAB as "+": such a text is not the
  // signature minisign wrote.
  std::string aliased = hashed;
  size_t at = aliased.find_first_of("/+", aliased.find('\n'));
  if (at != std::string::npos) aliased[at] = static_cast<char>(aliased[at] | 0x80);
  const struct {
    const char* what;
    std::string message, signature;
    Strings keys;
  } refused[] = {
      {"base64 character with its high bit set", text, aliased, a},
      {"text changed by one byte", "<updateinfo version='1.1.0.1'/>", hashed, a},
      {"legacy, text changed", text + " ", legacy, a},
      {"another key", text, m.Sign("b", text, false), a},
      {"no key", text, hashed, {}},
      {"key that is no key", text, hashed, {"garbage"}},
      {"trusted comment changed", text, otherComment, a},
      {"signature changed", text, flipped, a},
      {"empty", text, "", a},
      {"garbage", text, "garbage\n", a},
      {"three lines", text, hashed.substr(0, hashed.rfind('\n', hashed.size() - 2) + 1), a},
      {"text after the signature", text, hashed + "more\n", a},
  };
  for (const auto& r : refused) {
    EXPECT_FALSE(VerifyMinisign(r.message, r.signature, r.keys, &comment)) << r.what;
  }
}

TEST(ManifestSignature, TimestampOfTheTrustedComment) {
  const struct {
    const char* comment;
    bool found;
    uint64_t value;
  } cases[] = {
      {"timestamp:1700000000\tfile:update.xml\thashed", true, 1700000000},
      {"release 7 timestamp:5", true, 5},
      {"timestamp:18446744073709551615", true, UINT64_MAX},
      {"timestamp:18446744073709551616", false, 0},
      {"timestamp:", false, 0},
      {"timestamp:x1", false, 0},
      {"mytimestamp:5", false, 0},
      {"file:update.xml", false, 0},
      {"timestamp:5 file:x", true, 5},
      {"timestamp:5x", false, 0},
      {"timestamp:5.0", false, 0},
      {"timestamp:5 timestamp:6", false, 0},
      {"timestamp:5\tfile:timestamp:6", false, 0},
      {"timestamp:1 mytimestamp:2", false, 0},
  };
  for (const auto& c : cases) {
    uint64_t value = 0;
    EXPECT_EQ(CommentTimestamp(c.comment, &value), c.found) << c.comment;
    if (c.found) {
      EXPECT_EQ(value, c.value) << c.comment;
    }
  }
}

TEST(ManifestTrust, SignatureUrlAndExpiryDate) {
  EXPECT_EQ(SignatureUrl("http://h/u.xml?v=1.0.0.0"), "http://h/u.xml.minisig?v=1.0.0.0");
  EXPECT_EQ(SignatureUrl("http://h/u.xml"), "http://h/u.xml.minisig");
  EXPECT_EQ(SignatureUrl("http://h/u.xml#top?x"), "http://h/u.xml.minisig#top?x");

  const std::time_t march1st2024 = 1709251200;  // 2024-03-01 00:00:00 UTC
  const struct {
    const char* expires;
    std::time_t now;
    bool expired;
  } cases[] = {
      {"2024-03-01", march1st2024, false},
      {"2024-03-01", march1st2024 + 86399, false},
      {"2024-03-01", march1st2024 + 86400, true},
      {"2024-02-29", march1st2024, true},
      {"2024-02-29", march1st2024 - 1, false},
      {"2023-02-29", 0, true},
      {"2024-13-01", 0, true},
      {"2024-3-1", 0, true},
      {"", 0, true},
      {"1969-12-31", -1, false},
      {"1969-12-31", 0, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ManifestExpired(c.expires, c.now), c.expired) << c.expires << " at " << c.now;
  }
}

// --- whole runs ------------------------------------------------------------------

// Refuses to write "manifesttime", as a full or read-only hive would.
class ManifestTimeUnwritable : public platform::RegistryStoreWrapper {
 public:
  ManifestTimeUnwritable() : RegistryStoreWrapper(platform::DefaultRegistryStore()) {}
  platform::Error SetValue(platform::RegistryHandle* key, const std::string& name, uint32_t type,
                           const void* data, size_t size) override {
    if (name == kManifestTimeValue) return platform::kErrorAccessDenied;
    return RegistryStoreWrapper::SetValue(key, name, type, data, size);
  }
};

class SignedRun : public RunFixture {
 protected:
  SignedRun()
      : m_savedKeys(g_aTrustedKeys),
        m_savedTime(g_nManifestTime),
        m_bSavedPresent(g_bPubkeyPresent),
        m_bSavedUnusable(g_bManifestTimeUnusable) {}
  ~SignedRun() override {
    g_aTrustedKeys = m_savedKeys;
    g_nManifestTime = m_savedTime;
    g_bPubkeyPresent = m_bSavedPresent;
    g_bManifestTimeUnusable = m_bSavedUnusable;
  }
  std::string StoredTime() const {
    RegistryKey key;
    key.SetRootKey(platform::kHkeyLocalMachine);
    key.SetSubKey(kProductKey);
    key.SetValueName(kManifestTimeValue);
    std::string value;
    return key.ReadString(value) == 0 ? value : "<missing>";
  }
  Strings m_savedKeys;
  uint64_t m_savedTime;
  bool m_bSavedPresent;
  bool m_bSavedUnusable;
};

TEST_F(SignedRun, AcceptedAndRefusedManifests) {
  Minisign& m = Minisign::Get();
  // Signed by "a" with timestamp 100, or with the comment given.
  auto sign = [&m](const std::string& text, const std::string& comment = "timestamp:100") {
    return m.Sign("a", text, false, comment);
  };
  const char kFileUrl[] = "http://updates.test/p.bin";  // "abc"
  const std::string sha =
      "<sha256>BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD</sha256>";
  auto manifest = [](const std::string& attributes, const std::string& packages) {
    return "<updateinfo version='1.1.0.0'" + attributes + ">" + packages + "</updateinfo>";
  };
  auto file = [&](const std::string& vouch) {
    return std::string("<package><url>") + kFileUrl +
           "</url><md5>900150983cd24fb0d6963f7d28e17f72</md5>" + vouch +
           "<actions><action type='run' cmd='y'/></actions></package>";
  };
  const std::string future = " expires='2999-12-31'";
  const std::string runOnly = "<package><actions><action type='run' cmd='x'/></actions></package>";
  const std::string plain = manifest(future, runOnly);
  const std::string withFile = manifest(future, runOnly + file(sha + "<size>3</size>"));
  const std::string expired = manifest(" expires='2001-01-01'", "<package/>");
  const std::string noExpiry = manifest("", runOnly);
  // A package with a url that lacks what vouches for its file.
  const std::string noSize = manifest(future, file(sha));
  const std::string noSha256 = manifest(future, file("<md5/><size>3</size>"));
  const std::string badSize = manifest(future, file(sha + "<size>3 bytes</size>"));
  const char* kMissing = "<404>";
  enum Fault { kNone, kPubkeyOfNoKey, kTimeUnusable, kTimeUnwritable };
  const struct {
    const char* what;
    Strings trusted;
    std::string manifest, signature;
    uint64_t stored;
    const char* refusal;  // null: accepted
    Fault fault = kNone;
  } cases[] = {
      {"signed over the digest", {"a"}, plain, sign(plain), 0, nullptr, kNone},
      {"signed over the text",
       {"a"},
       plain,
       m.Sign("a", plain, true, "timestamp:100"),
       0,
       nullptr,
       kNone},
      {"second of two keys signs",
       {"a", "b"},
       plain,
       m.Sign("b", plain, false, "timestamp:100"),
       0,
       nullptr,
       kNone},
      {"same timestamp again", {"a"}, plain, sign(plain), 100, nullptr, kNone},
      {"a file with sha256 and size", {"a"}, withFile, sign(withFile), 0, nullptr, kNone},
      {"changed after signing", {"a"}, plain + " ", sign(plain), 0, texts::kSignatureInvalid},
      {"signed by another key",
       {"a"},
       plain,
       m.Sign("c", plain, false),
       0,
       texts::kSignatureInvalid},
      {"no timestamp", {"a"}, plain, sign(plain, "file:u.xml"), 0, texts::kSignatureInvalid},
      {"garbage", {"a"}, plain, "garbage", 0, texts::kSignatureInvalid},
      {"pubkey without a key", {}, plain, sign(plain), 0, texts::kSignatureInvalid, kPubkeyOfNoKey},
      {"missing", {"a"}, plain, kMissing, 0, texts::kSignatureUnavailable},
      {"empty", {"a"}, plain, "", 0, texts::kSignatureUnavailable},
      {"too large",
       {"a"},
       plain,
       std::string(kMaxSignatureDownload + 1, 'x'),
       0,
       texts::kSignatureUnavailable},
      {"replayed older one",
       {"a"},
       plain,
       sign(plain, "timestamp:99"),
       100,
       texts::kManifestReplayed},
      {"expired", {"a"}, expired, sign(expired), 0, texts::kManifestExpired},
      {"no expiry", {"a"}, noExpiry, sign(noExpiry), 0, texts::kManifestNoExpiry},
      {"empty manifest, signed", {"a"}, "", sign(""), 0, texts::kManifestNoExpiry},
      {"empty manifest, unsigned", {"a"}, "", kMissing, 0, texts::kSignatureUnavailable},
      {"no size", {"a"}, noSize, sign(noSize), 0, texts::kPackageNotVouched},
      {"no sha256", {"a"}, noSha256, sign(noSha256), 0, texts::kPackageNotVouched},
      {"size no number", {"a"}, badSize, sign(badSize), 0, texts::kPackageNotVouched},
      {"stored time no number",
       {"a"},
       plain,
       sign(plain),
       0,
       texts::kManifestTimeUnusable,
       kTimeUnusable},
      {"time not recorded",
       {"a"},
       plain,
       sign(plain),
       0,
       texts::kManifestTimeNotSaved,
       kTimeUnwritable},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what + (" " + c.manifest));
    std::filesystem::remove("updater.log");
    RecordingAction::Journal().clear();
    g_aTrustedKeys.clear();
    for (const std::string& name : c.trusted) g_aTrustedKeys.push_back(m.PublicKey(name));
    if (c.fault == kPubkeyOfNoKey) g_aTrustedKeys.push_back("garbage");
    g_bPubkeyPresent = c.fault == kPubkeyOfNoKey;
    g_bManifestTimeUnusable = c.fault == kTimeUnusable;
    g_nManifestTime = c.stored;
    RegistryKey key;
    key.SetRootKey(platform::kHkeyLocalMachine);
    key.SetSubKey(kProductKey);
    key.SetValueName("manifesttime");
    key.WriteString(std::to_string(c.stored).c_str());
    key.SetValueName("cert");
    const unsigned char cert[] = {0x00, 0x00, 0x00, 0x10};
    key.WriteBinary(cert, sizeof cert);
    key.SetSubKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VELMAR ACC");
    key.DeleteValue("DisplayVersion");
    MemoryInternet internet;
    platform::ScopedService<platform::Internet> guard{&platform::Env::SetInternet, &internet};
    internet.Serve(kManifestUrl, c.manifest);
    if (c.signature != kMissing) internet.Serve(kSignatureUrl, c.signature);
    internet.Serve(kFileUrl, "abc");
    ManifestTimeUnwritable unwritable;
    platform::ScopedService<platform::RegistryStore> registry{
        &platform::Env::SetRegistry,
        c.fault == kTimeUnwritable ? &unwritable : &platform::Env::Get().registry()};

    UpdateRun run;
    std::string text;
    EXPECT_TRUE(run.RunUpdate(kManifestUrl, text));
    Strings opened = {kManifestUrl, kSignatureUrl};
    if (!c.refusal && c.manifest == withFile) opened.push_back(kFileUrl);
    EXPECT_EQ(internet.m_aOpened, opened);
    Strings log = LogLines();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[1], "检查更新信息");
    // The end time ends in a CR LF of its own: the log's last line is empty.
    Strings middle(log.begin() + 2, log.end() - 2);
    if (c.refusal) {
      Strings expected;
      if (c.refusal == texts::kSignatureUnavailable && !c.signature.empty()) {
        expected.push_back(texts::kDownloadError);
      }
      expected.push_back("分析更新信息");
      const char* afterSignature[] = {texts::kManifestExpired, texts::kManifestNoExpiry,
                                      texts::kPackageNotVouched, texts::kManifestTimeNotSaved};
      if (std::find(std::begin(afterSignature), std::end(afterSignature), c.refusal) !=
          std::end(afterSignature)) {
        expected.push_back(texts::kSignatureOk);
      }
      expected.push_back(c.refusal);
      // The client's own record is at fault, not the manifest: its one line says so.
      if (c.fault != kTimeUnusable && c.fault != kTimeUnwritable) {
        expected.push_back("更新信息不对，请与Korrin公司联系");
      }
      EXPECT_EQ(middle, expected);
      EXPECT_TRUE(RecordingAction::Journal().empty());
      EXPECT_EQ(DisplayVersion(), "<missing>");
      EXPECT_EQ(StoredTime(), std::to_string(c.stored));
      EXPECT_EQ(g_nManifestTime, c.stored);
      EXPECT_EQ(m_window.m_totalBar.Position(), 10);
    } else {
      Strings expected = {"分析更新信息", "更新信息签名正确", "开始更新"};
      if (c.manifest == withFile) {
        expected.insert(expected.end(), {std::string(texts::kDownloadingFile) + kFileUrl,
                                         texts::kCheckingFile, texts::kFileCheckOk});
      }
      expected.push_back("更新完毕");
      EXPECT_EQ(middle, expected);
      EXPECT_EQ(DisplayVersion(), "1.1.0.0");
      EXPECT_EQ(StoredTime(), "100");
      EXPECT_EQ(g_nManifestTime, 100u);
    }
    EXPECT_TRUE(IsTimeLine(log[log.size() - 2], "结束时间: ", "\r")) << log[log.size() - 2];
    EXPECT_FALSE(std::filesystem::exists(g_szDownloadPath));
  }
}

// Without a trusted key no signature is asked for and the log is the one of
// an unsigned run, even for a manifest that says it has expired.
TEST_F(SignedRun, WithoutAKeyNothingChanges) {
  g_aTrustedKeys.clear();
  m_internet.Serve(kManifestUrl,
                   "<updateinfo version='1.1.0.0' expires='2001-01-01'><package/></updateinfo>");
  UpdateRun run;
  std::string text;
  EXPECT_TRUE(run.RunUpdate(kManifestUrl, text));
  EXPECT_EQ(m_internet.m_aOpened, (Strings{kManifestUrl}));
  Strings log = LogLines();
  ASSERT_EQ(log.size(), 7u);
  EXPECT_EQ(Strings(log.begin() + 1, log.end() - 2),
            (Strings{"检查更新信息", "分析更新信息", "开始更新", "更新完毕"}));
  EXPECT_EQ(StoredTime(), "<missing>");
}
