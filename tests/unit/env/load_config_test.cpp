#include <gtest/gtest.h>

#include "env/config.h"
#include "env/registry_key.h"
#include "env/trusted_keys.h"
#include "platform/env.h"
#include "support/native_path.h"
#include "support/registry_sandbox.h"
#include "support/temp_dir.h"

namespace {

class LoadConfigTest : public ::testing::Test {
 protected:
  void SetUp() override { Clear(); }
  void TearDown() override { Clear(); }

  static void Clear() {
    for (std::string* value :
         {&g_szVersion, &g_szAppPath, &g_szDownloadPath, &g_szUpdateUrl, &g_szWinPath,
          &g_szSys32Path, &g_szThisFile, &g_szThisDir, &g_szThisName}) {
      value->clear();
    }
  }

  static void WriteProductValue(const char* name, const std::string& text) {
    RegistryKey key;
    key.SetRootKey(platform::kHkeyLocalMachine);
    key.SetSubKey(kProductKey);
    key.SetValueName(name);
    ASSERT_EQ(key.WriteString(text.c_str()), 0u);
  }

  static void WriteCert(const std::string& bytes) {
    RegistryKey key;
    key.SetRootKey(platform::kHkeyLocalMachine);
    key.SetSubKey(kProductKey);
    key.SetValueName("cert");
    ASSERT_EQ(key.WriteBinary(bytes.data(), static_cast<uint32_t>(bytes.size())), 0u);
  }

  RegistrySandbox registry_;
  TempDir dir_;
};

}  // namespace

TEST_F(LoadConfigTest, MissingProductKeyLeavesEverythingEmptyButTheDefaultUrl) {
  LoadConfig();
  EXPECT_EQ(g_szAppPath, "");
  EXPECT_EQ(g_szDownloadPath, "");
  EXPECT_EQ(g_szVersion, "");
  EXPECT_EQ(g_szUpdateUrl, kDefaultUpdateUrl);
  // The platform's folders: /usr and /usr/lib on POSIX.
  platform::SystemPaths& paths = platform::Env::Get().paths();
  EXPECT_EQ(g_szWinPath, paths.WindowsDirectory());
  EXPECT_EQ(g_szSys32Path, paths.SystemDirectory());
  EXPECT_FALSE(g_szWinPath.empty());
  EXPECT_FALSE(g_szThisFile.empty());
  EXPECT_EQ(JoinPath(g_szThisDir, g_szThisName), g_szThisFile);
}

TEST_F(LoadConfigTest, InstalledProductGivesDownloadFolderAndVersionedUrl) {
  std::string app = dir_.Sub("App");
  WriteProductValue("", app);
  WriteProductValue("updateurl", "http://h/u.xml?v=%s&p=100%%");
  WriteCert(std::string("\x07\x00\x20\x10", 4));  // 1.2.0.7
  LoadConfig();
  EXPECT_EQ(g_szAppPath, app);
  EXPECT_EQ(g_szVersion, "1.2.0.7");
  EXPECT_EQ(g_szDownloadPath, app + NativePath("/download"));
  // The installation folder itself was missing: it is made on the way.
  EXPECT_TRUE(IsDirectory(g_szDownloadPath));
  EXPECT_EQ(g_szUpdateUrl, "http://h/u.xml?v=1.2.0.7&p=100%");
}

TEST_F(LoadConfigTest, UrlWithoutCertEndsWithNothingAfterTheEqualsSign) {
  WriteProductValue("", dir_.path());
  WriteProductValue("updateurl", "http://h/u.xml?v=%s");
  LoadConfig();
  EXPECT_EQ(g_szUpdateUrl, "http://h/u.xml?v=");
}

TEST_F(LoadConfigTest, StoredUrlIsNeverUsedAsAFormatBeyondOnePercentS) {
  WriteProductValue("", dir_.path());
  for (const char* url : {"http://h/%d%n.xml", "http://h/%s/%s", "http://h/50%"}) {
    WriteProductValue("updateurl", url);
    LoadConfig();
    EXPECT_EQ(g_szUpdateUrl, url);
  }
  WriteProductValue("updateurl", "");
  LoadConfig();
  EXPECT_EQ(g_szUpdateUrl, kDefaultUpdateUrl);
}

TEST_F(LoadConfigTest, ExistingDownloadFolderIsLeftAsItIs) {
  std::string app = dir_.Sub("App");
  ASSERT_TRUE(CreateDirectoryTree(app + NativePath("/download")));
  ASSERT_TRUE(WriteFileBytes(app + NativePath("/download/keep"), "k"));
  WriteProductValue("", app);
  LoadConfig();
  EXPECT_EQ(ReadFileBytes(app + NativePath("/download/keep")), "k");
}

// Answers every read of the trust values with an error other than "not
// found", as a damaged or locked hive does.
class UnreadableTrustStore : public platform::RegistryStoreWrapper {
 public:
  UnreadableTrustStore() : RegistryStoreWrapper(platform::DefaultRegistryStore()) {}
  platform::Error QueryValue(platform::RegistryHandle* key, const std::string& name, uint32_t* type,
                             void* data, uint32_t* size) override {
    if (name == kPubkeyValue || name == kManifestTimeValue) return platform::kErrorAccessDenied;
    return RegistryStoreWrapper::QueryValue(key, name, type, data, size);
  }
};

// The trusted keys (those compiled in, then those of "pubkey") and the last
// accepted timestamp come with the rest of the configuration. Any "pubkey"
// there is, and any error reading it but its absence, asks for signatures;
// a "manifesttime" that is there but no number is unusable, never 0.
TEST_F(LoadConfigTest, TrustedKeysAndTheLastManifestTimeAreRead) {
  const std::vector<std::string> savedKeys = g_aTrustedKeys;
  const uint64_t savedTime = g_nManifestTime;
  const bool savedPresent = g_bPubkeyPresent;
  const bool savedUnusable = g_bManifestTimeUnusable;
  LoadConfig();
  const std::vector<std::string> builtin = g_aTrustedKeys;
  EXPECT_EQ(g_nManifestTime, 0u);
  EXPECT_FALSE(g_bPubkeyPresent);
  EXPECT_FALSE(g_bManifestTimeUnusable);

  const char* kAbsent = "<absent>";
  const char* kDword = "<dword 0>";
  const char* kUnreadable = "<unreadable>";
  const struct {
    const char* pubkey;
    const char* time;
    std::vector<std::string> keys;
    bool present;
    uint64_t expected;
    bool unusable;
  } cases[] = {
      {"RWQkey1", "1700000000", {"RWQkey1"}, true, 1700000000, false},
      {" RWQa\tRWQb  RWQc\r\n",
       "18446744073709551615",
       {"RWQa", "RWQb", "RWQc"},
       true,
       UINT64_MAX,
       false},
      {"  ", "18446744073709551616", {}, true, 0, true},
      {"", "12a", {}, true, 0, true},
      {kDword, "", {}, true, 0, true},
      {kUnreadable, kUnreadable, {}, true, 0, true},
      {kAbsent, kAbsent, {}, false, 0, false},
      {"x", "007", {"x"}, true, 7, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.pubkey) + " / " + c.time);
    RegistryKey key;
    key.SetRootKey(platform::kHkeyLocalMachine);
    key.SetSubKey(kProductKey);
    for (const auto& [name, value] :
         {std::make_pair("pubkey", c.pubkey), std::make_pair("manifesttime", c.time)}) {
      key.DeleteValue(name);
      if (value == kDword) {
        key.SetValueName(name);
        key.WriteDWORD(0);
      } else if (value != kAbsent && value != kUnreadable) {
        WriteProductValue(name, value);
      }
    }
    UnreadableTrustStore unreadable;
    platform::ScopedService<platform::RegistryStore> guard(
        &platform::Env::SetRegistry,
        c.pubkey == kUnreadable ? &unreadable : &platform::Env::Get().registry());
    LoadConfig();
    std::vector<std::string> expected = builtin;
    expected.insert(expected.end(), c.keys.begin(), c.keys.end());
    EXPECT_EQ(g_aTrustedKeys, expected);
    EXPECT_EQ(g_bPubkeyPresent, c.present);
    EXPECT_EQ(g_nManifestTime, c.expected);
    EXPECT_EQ(g_bManifestTimeUnusable, c.unusable);
  }
  g_aTrustedKeys = savedKeys;
  g_nManifestTime = savedTime;
  g_bPubkeyPresent = savedPresent;
  g_bManifestTimeUnusable = savedUnusable;
}
