// For Windows: the registry back-end over the ANSI Reg* functions of the Wine
// prefix's registry.
#include <gtest/gtest.h>

#include "platform/env.h"
#include "support/registry_sandbox.h"

namespace {

using platform::kHkeyCurrentUser;

constexpr char kBase[] = "Software\\VelmarWin32Test";

class RegistryStoreWin32 : public ::testing::Test {
 protected:
  platform::RegistryStore& store() { return platform::Env::Get().registry(); }
  RegistrySandbox m_sandbox;
};

TEST_F(RegistryStoreWin32, CreatesEveryLevelAndReadsValuesBackByteForByte) {
  std::unique_ptr<platform::RegistryHandle> key;
  ASSERT_EQ(
      store().OpenKey(kHkeyCurrentUser, std::string(kBase) + "\\A\\B", platform::kKeyRead, &key),
      platform::kErrorFileNotFound);
  // Doubled and leading separators are empty parts.
  ASSERT_EQ(store().CreateKey(kHkeyCurrentUser, std::string("\\") + kBase + "\\\\A\\B",
                              platform::kKeyAllAccess, &key),
            0u);
  const char bytes[] = {'x', 0, 'y'};
  ASSERT_EQ(store().SetValue(key.get(), "", platform::kRegBinary, bytes, 3), 0u);

  std::unique_ptr<platform::RegistryHandle> again;
  ASSERT_EQ(
      store().OpenKey(kHkeyCurrentUser, std::string(kBase) + "\\A\\B", platform::kKeyRead, &again),
      0u);
  uint32_t size = 0;
  ASSERT_EQ(store().QueryValue(again.get(), "", nullptr, nullptr, &size), 0u);
  EXPECT_EQ(size, 3u);
  char small[2];
  size = sizeof small;
  EXPECT_EQ(store().QueryValue(again.get(), "", nullptr, small, &size), platform::kErrorMoreData);
  char buffer[8] = {};
  uint32_t type = 0;
  size = sizeof buffer;
  ASSERT_EQ(store().QueryValue(again.get(), "", &type, buffer, &size), 0u);
  EXPECT_EQ(type, platform::kRegBinary);
  EXPECT_EQ(std::string(buffer, size), std::string(bytes, 3));
  EXPECT_EQ(store().QueryValue(again.get(), "missing", nullptr, nullptr, &size),
            platform::kErrorFileNotFound);
}

TEST_F(RegistryStoreWin32, KeysWithSubKeysRootsAndUnknownRootsAreRefused) {
  std::unique_ptr<platform::RegistryHandle> key;
  ASSERT_EQ(store().CreateKey(kHkeyCurrentUser, std::string(kBase) + "\\P\\C",
                              platform::kKeyAllAccess, &key),
            0u);
  key.reset();
  EXPECT_EQ(store().DeleteKey(kHkeyCurrentUser, std::string(kBase) + "\\P"),
            platform::kErrorAccessDenied);
  EXPECT_EQ(store().DeleteKey(kHkeyCurrentUser, "\\"), platform::kErrorAccessDenied);
  EXPECT_EQ(store().DeleteKey(kHkeyCurrentUser, std::string(kBase) + "\\P\\C"), 0u);
  EXPECT_EQ(store().DeleteKey(kHkeyCurrentUser, std::string(kBase) + "\\P"), 0u);
  EXPECT_EQ(store().OpenKey(0x12345678u, "Software", platform::kKeyRead, &key),
            platform::kErrorInvalidHandle);
}

// 乗 is 0x81 0x5C in GBK: its trail byte is the backslash's code.
TEST_F(RegistryStoreWin32, GbkNameWithBackslashTrailByteIsOneKey) {
  const std::string name = "乗";
  ASSERT_EQ(name, "\x81\x5C") << "the test needs the GBK build";
  std::unique_ptr<platform::RegistryHandle> key;
  ASSERT_EQ(store().CreateKey(kHkeyCurrentUser, std::string(kBase) + "\\" + name + "\\" + name,
                              platform::kKeyAllAccess, &key),
            0u);
  key.reset();
  ASSERT_EQ(store().OpenKey(kHkeyCurrentUser, kBase, platform::kKeyRead, &key), 0u);
  std::string sub;
  ASSERT_EQ(store().EnumKey(key.get(), 0, &sub), 0u);
  EXPECT_EQ(sub, name);
  EXPECT_EQ(store().EnumKey(key.get(), 1, &sub), platform::kErrorNoMoreItems);
}

TEST_F(RegistryStoreWin32, SubKeysComeInAscendingOrderIgnoringCase) {
  for (const char* name : {"beta", "Alpha", "gamma"}) {
    std::unique_ptr<platform::RegistryHandle> key;
    ASSERT_EQ(store().CreateKey(kHkeyCurrentUser, std::string(kBase) + "\\" + name,
                                platform::kKeyAllAccess, &key),
              0u);
  }
  std::unique_ptr<platform::RegistryHandle> key;
  ASSERT_EQ(store().OpenKey(kHkeyCurrentUser, kBase, platform::kKeyEnumerateSubKeys, &key), 0u);
  std::string a, b, c;
  ASSERT_EQ(store().EnumKey(key.get(), 0, &a), 0u);
  ASSERT_EQ(store().EnumKey(key.get(), 1, &b), 0u);
  ASSERT_EQ(store().EnumKey(key.get(), 2, &c), 0u);
  EXPECT_EQ(a + "," + b + "," + c, "Alpha,beta,gamma");
}

}  // namespace

// Names of 150 double-byte characters: 300 bytes, more than a buffer sized
// in characters holds.
TEST_F(RegistryStoreWin32, LongDoubleByteNamesAreListedWhole) {
  std::string name;
  for (int i = 0; i < 150; ++i) name += "\xD6\xD0";  // 中
  std::unique_ptr<platform::RegistryHandle> key;
  ASSERT_EQ(store().CreateKey(kHkeyCurrentUser, std::string(kBase) + "\\" + name,
                              platform::kKeyAllAccess, &key),
            0u);
  ASSERT_EQ(store().SetValue(key.get(), name, platform::kRegSz, "x", 2), 0u);
  std::string listed, data;
  uint32_t type = 0;
  ASSERT_EQ(store().EnumValue(key.get(), 0, &listed, &type, &data), 0u);
  EXPECT_EQ(listed, name);
  std::unique_ptr<platform::RegistryHandle> base;
  ASSERT_EQ(store().OpenKey(kHkeyCurrentUser, kBase, platform::kKeyRead, &base), 0u);
  ASSERT_EQ(store().EnumKey(base.get(), 0, &listed), 0u);
  EXPECT_EQ(listed, name);
}
