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

// The trusted keys (those compiled in, then those of "pubkey") and the last
// accepted timestamp come with the rest of the configuration.
TEST_F(LoadConfigTest, TrustedKeysAndTheLastManifestTimeAreRead) {
  const std::vector<std::string> savedKeys = g_aTrustedKeys;
  const uint64_t savedTime = g_nManifestTime;
  LoadConfig();
  const std::vector<std::string> builtin = g_aTrustedKeys;
  EXPECT_EQ(g_nManifestTime, 0u);

  const struct {
    const char* pubkey;
    const char* time;
    std::vector<std::string> keys;
    uint64_t expected;
  } cases[] = {
      {"RWQkey1", "1700000000", {"RWQkey1"}, 1700000000},
      {" RWQa\tRWQb  RWQc\r\n", "18446744073709551615", {"RWQa", "RWQb", "RWQc"}, UINT64_MAX},
      {"  ", "18446744073709551616", {}, 0},
      {"x", "12a", {"x"}, 0},
      {"x", "", {"x"}, 0},
  };
  for (const auto& c : cases) {
    WriteProductValue("pubkey", c.pubkey);
    WriteProductValue("manifesttime", c.time);
    LoadConfig();
    std::vector<std::string> expected = builtin;
    expected.insert(expected.end(), c.keys.begin(), c.keys.end());
    EXPECT_EQ(g_aTrustedKeys, expected) << c.pubkey;
    EXPECT_EQ(g_nManifestTime, c.expected) << c.time;
  }
  g_aTrustedKeys = savedKeys;
  g_nManifestTime = savedTime;
}
