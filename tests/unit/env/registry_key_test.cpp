#include "env/registry_key.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "env/config.h"
#include "platform/env.h"
#include "support/registry_sandbox.h"

using namespace platform;

namespace {

// Forwards to the real paths and records what reaches the debug channel.
class RecordingPaths : public SystemPaths {
 public:
  std::string WindowsDirectory() override { return DefaultSystemPaths()->WindowsDirectory(); }
  std::string SystemDirectory() override { return DefaultSystemPaths()->SystemDirectory(); }
  std::string ThisExecutable() override { return DefaultSystemPaths()->ThisExecutable(); }
  void DebugOutput(const std::string& text) override { m_aCalls.push_back(text); }
  std::vector<std::string> m_aCalls;
};

// Records the store's key deletions.
class RecordingStore : public RegistryStoreWrapper {
 public:
  RecordingStore() : RegistryStoreWrapper(DefaultRegistryStore()) {}
  Error DeleteKey(RootKey root, const std::string& subKey) override {
    m_aDeleted.push_back(subKey);
    return RegistryStoreWrapper::DeleteKey(root, subKey);
  }
  std::vector<std::string> m_aDeleted;
};

// Claims a value far larger than any buffer that can be had.
class HugeValueStore : public RegistryStoreWrapper {
 public:
  HugeValueStore() : RegistryStoreWrapper(DefaultRegistryStore()) {}
  Error QueryValue(RegistryHandle* key, const std::string& name, uint32_t* type, void* data,
                   uint32_t* size) override {
    if (data) return kErrorGenFailure;
    *size = 0xFFFFFFF0u;
    return RegistryStoreWrapper::QueryValue(key, name, type, nullptr, nullptr);
  }
};

// The type and bytes of a value, read past RegistryKey.
std::string Raw(RootKey root, const std::string& path, const std::string& name, uint32_t* type,
                Error* err) {
  std::unique_ptr<RegistryHandle> key;
  *err = DefaultRegistryStore()->OpenKey(root, path, kKeyRead, &key);
  if (*err != kErrorSuccess) return std::string();
  uint32_t size = 0;
  *err = DefaultRegistryStore()->QueryValue(key.get(), name, type, nullptr, &size);
  std::string data(size, '\0');
  if (*err == kErrorSuccess)
    *err = DefaultRegistryStore()->QueryValue(key.get(), name, type, data.data(), &size);
  return data;
}

class RegistryKeyTest : public ::testing::Test {
 protected:
  // A key aimed at HKLM\<path>, value name.
  static RegistryKey Aim(const char* path, const char* name) {
    RegistryKey key;
    key.SetRootKey(kHkeyLocalMachine);
    key.SetSubKey(path);
    key.SetValueName(name);
    return key;
  }
  static void MakeHiveReadOnly(const RegistrySandbox& sandbox) {
    ASSERT_EQ(chmod(sandbox.MachineHive().c_str(), 0444), 0);
  }

  RegistrySandbox m_sandbox;
};

TEST_F(RegistryKeyTest, SettersStripLeadingBackslashesAndTraceThreeCalls) {
  RecordingPaths paths;
  ScopedService<SystemPaths> guard(&Env::SetPaths, &paths);
  RegistryKey key;
  paths.m_aCalls.clear();

  EXPECT_TRUE(key.SetSubKey("\\\\Software\\A"));
  EXPECT_EQ(key.GetSubKey(), "Software\\A");
  EXPECT_EQ(paths.m_aCalls, (std::vector<std::string>{"m_szSubKey set to ", "Software\\A", "\n"}));
  EXPECT_TRUE(key.SetSubKey("\\"));
  EXPECT_EQ(key.GetSubKey(), "");
  EXPECT_TRUE(key.SetSubKey(""));
  EXPECT_EQ(key.GetSubKey(), "");

  key.SetSubKey("Kept");
  paths.m_aCalls.clear();
  EXPECT_FALSE(key.SetSubKey(nullptr));
  EXPECT_FALSE(key.SetValueName(nullptr));
  EXPECT_EQ(key.GetSubKey(), "Kept");
  EXPECT_TRUE(paths.m_aCalls.empty());

  EXPECT_TRUE(key.SetValueName("\\name"));
  EXPECT_EQ(key.GetValueName(), "\\name");
  EXPECT_EQ(paths.m_aCalls, (std::vector<std::string>{"m_szValueName set to ", "\\name", "\n"}));
  EXPECT_TRUE(key.SetRootKey(0x12345678u));
  EXPECT_EQ(key.GetRootKey(), 0x12345678u);
}

TEST_F(RegistryKeyTest, DefaultsAreLocalMachineAndTheApplicationKey) {
  RecordingPaths paths;
  ScopedService<SystemPaths> guard(&Env::SetPaths, &paths);
  std::string old = g_szThisName;
  g_szThisName = "Updater.exe";
  RegistryKey key;
  g_szThisName = old;
  EXPECT_EQ(key.GetRootKey(), kHkeyLocalMachine);
  EXPECT_EQ(key.GetSubKey(), "Software\\Updater");
  EXPECT_EQ(key.GetValueName(), "");
  EXPECT_EQ(paths.m_aCalls,
            (std::vector<std::string>{"m_szSubKey set to ", "Software\\Updater", "\n"}));
}

TEST_F(RegistryKeyTest, WritersStoreTheDocumentedBytesAndTypesCreatingThePath) {
  RegistryKey key = Aim("Software\\New\\Deep", "");
  EXPECT_EQ(key.WriteString(""), kErrorSuccess);
  uint32_t type = 0;
  Error err;
  EXPECT_EQ(Raw(kHkeyLocalMachine, "Software\\New\\Deep", "", &type, &err), std::string(1, '\0'));
  EXPECT_EQ(type, kRegSz);

  key.SetValueName("n");
  EXPECT_EQ(key.WriteDWORD(0x01020304u), kErrorSuccess);
  EXPECT_EQ(Raw(kHkeyLocalMachine, "Software\\New\\Deep", "n", &type, &err), "\x04\x03\x02\x01");
  EXPECT_EQ(type, kRegDword);

  key.SetValueName("b");
  EXPECT_EQ(key.WriteBinary("\x00\xff", 2), kErrorSuccess);
  EXPECT_EQ(Raw(kHkeyLocalMachine, "Software\\New\\Deep", "b", &type, &err),
            std::string("\x00\xff", 2));
  EXPECT_EQ(type, kRegBinary);

  key.SetValueName("s");
  EXPECT_EQ(key.WriteString("abc"), kErrorSuccess);
  EXPECT_EQ(Raw(kHkeyLocalMachine, "Software\\New\\Deep", "s", &type, &err),
            std::string("abc\0", 4));
}

TEST_F(RegistryKeyTest, ReadStringStopsAtTheFirstZeroAndKeepsTheOldTextOnFailure) {
  RegistryKey key = Aim("Software\\R", "");
  std::string out = "default";
  EXPECT_EQ(key.ReadString(out), kErrorFileNotFound);
  EXPECT_EQ(out, "default");

  key.WriteString("install dir");
  EXPECT_EQ(key.ReadString(out), kErrorSuccess);
  EXPECT_EQ(out, "install dir");

  key.SetValueName("missing");
  out = "default";
  EXPECT_EQ(key.ReadString(out), kErrorFileNotFound);
  EXPECT_EQ(out, "default");

  key.SetValueName("empty");
  key.WriteBinary("", 0);
  EXPECT_EQ(key.ReadString(out), kErrorSuccess);
  EXPECT_EQ(out, "");

  key.SetValueName("number");
  key.WriteDWORD(0x00004142u);
  EXPECT_EQ(key.ReadString(out), kErrorSuccess);
  EXPECT_EQ(out, "BA");

  key.SetValueName("unterminated");
  key.WriteBinary("xyz", 3);
  EXPECT_EQ(key.ReadString(out), kErrorSuccess);
  EXPECT_EQ(out, "xyz");
}

TEST_F(RegistryKeyTest, ReadBinaryHandsOverTheBytesWithANulAfterThem) {
  RegistryKey key = Aim("Software\\B", "cert");
  unsigned char* data = nullptr;
  uint32_t size = 77;
  EXPECT_EQ(key.ReadBinary(nullptr, &size), kErrorInvalidParameter);
  EXPECT_EQ(key.ReadBinary(&data, nullptr), kErrorInvalidParameter);
  EXPECT_EQ(size, 77u);
  EXPECT_EQ(key.ReadBinary(&data, &size), kErrorFileNotFound);
  EXPECT_EQ(data, nullptr);

  key.WriteBinary("\x64\x00\x13\x20", 4);
  ASSERT_EQ(key.ReadBinary(&data, &size), kErrorSuccess);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 5), std::string("\x64\x00\x13\x20\x00", 5));
  delete[] data;

  data = nullptr;
  key.WriteBinary("", 0);
  ASSERT_EQ(key.ReadBinary(&data, &size), kErrorSuccess);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(data[0], 0);
  delete[] data;
}

TEST_F(RegistryKeyTest, BufferThatCannotBeHadAnswers8) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer does not return null from a failed allocation";
#else
  RegistryKey key = Aim("Software\\Huge", "v");
  key.WriteString("small");
  HugeValueStore store;
  ScopedService<RegistryStore> guard(&Env::SetRegistry, &store);
  // In a child process whose address space cannot grow by 4 GB.
  auto readBoth = [&key]() {
    struct rlimit limit;
    limit.rlim_cur = limit.rlim_max = 1u << 30;
    setrlimit(RLIMIT_AS, &limit);
    std::string out = "kept";
    unsigned char* data = reinterpret_cast<unsigned char*>(&out);
    uint32_t size = 0;
    bool ok = key.ReadString(out) == kErrorNotEnoughMemory && out == "kept" &&
              key.ReadBinary(&data, &size) == kErrorNotEnoughMemory && data == nullptr;
    _exit(ok ? 0 : 1);
  };
  EXPECT_EXIT(readBoth(), ::testing::ExitedWithCode(0), "");
#endif
}

TEST_F(RegistryKeyTest, KeyExistsNeedsFullAccessAndHonoursTheRootArgument) {
  RegistryKey key = Aim("Software\\E", "v");
  EXPECT_FALSE(key.KeyExists("Software\\E"));
  key.WriteString("x");
  EXPECT_TRUE(key.KeyExists("software\\e"));
  EXPECT_TRUE(key.KeyExists(""));
  EXPECT_FALSE(key.KeyExists("Software\\E", kHkeyCurrentUser));
  key.SetRootKey(kHkeyCurrentUser);
  EXPECT_FALSE(key.KeyExists("Software\\E"));
  EXPECT_TRUE(key.KeyExists("Software\\E", kHkeyLocalMachine));

  MakeHiveReadOnly(m_sandbox);
  key.SetRootKey(kHkeyLocalMachine);
  EXPECT_FALSE(key.KeyExists("Software\\E"));
  std::string out;
  EXPECT_EQ(key.ReadString(out), kErrorSuccess);
  EXPECT_EQ(out, "x");
}

TEST_F(RegistryKeyTest, EnumSubKeysListsInOrderAndStopsAtANameTooLongForTheBuffer) {
  RegistryKey key = Aim("Software\\L", "");
  std::string fits = "B" + std::string(258, 'b');     // 259 characters and the NUL
  std::string tooLong = "C" + std::string(259, 'c');  // 260 characters
  for (const std::string& name : {std::string("d"), tooLong, fits, std::string("A")}) {
    key.SetSubKey(("Software\\L\\" + name).c_str());
    key.WriteString("");
  }
  key.SetSubKey("Software\\L");
  std::vector<std::string> names = {"stale"};
  EXPECT_EQ(key.EnumSubKeys(names, ""), 2);
  EXPECT_EQ(names, (std::vector<std::string>{"A", fits}));

  names = {"stale"};
  EXPECT_EQ(key.EnumSubKeys(names, "Software\\Missing"), 0);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(key.EnumSubKeys(names, "Software"), 1);
  EXPECT_EQ(names, std::vector<std::string>{"L"});
}

TEST_F(RegistryKeyTest, DeleteKeyGoesDepthFirstAndReportsWhatRemains) {
  RegistryKey key = Aim("A\\B\\C", "v");
  key.WriteString("deep");
  key.SetSubKey("A");
  key.WriteString("top");
  key.SetSubKey("Other");
  key.WriteString("stays");

  RecordingStore store;
  ScopedService<RegistryStore> guard(&Env::SetRegistry, &store);
  EXPECT_TRUE(key.DeleteKey("Missing\\Key"));
  EXPECT_TRUE(store.m_aDeleted.empty());
  EXPECT_TRUE(key.DeleteKey("A"));
  EXPECT_EQ(store.m_aDeleted, (std::vector<std::string>{"A\\B\\C", "A\\B", "A"}));
  EXPECT_FALSE(key.KeyExists("A"));

  store.m_aDeleted.clear();
  EXPECT_FALSE(key.DeleteKey(""));
  EXPECT_FALSE(key.DeleteKey("\\"));
  EXPECT_FALSE(key.DeleteKey("\\\\"));
  EXPECT_TRUE(store.m_aDeleted.empty());
  EXPECT_TRUE(key.KeyExists("Other"));
}

TEST_F(RegistryKeyTest, DeleteKeyOfAProtectedKeyIsNoSuccess) {
  RegistryKey key = Aim("Locked\\Inner", "v");
  key.WriteString("x");
  MakeHiveReadOnly(m_sandbox);
  EXPECT_FALSE(key.DeleteKey("Locked"));
  std::string out;
  EXPECT_EQ(key.ReadString(out), kErrorSuccess);
  EXPECT_TRUE(key.DeleteKey("Never\\There"));
}

TEST_F(RegistryKeyTest, DeleteValueTakesTheNameGivenNotTheValueName) {
  RegistryKey key = Aim("Software\\V", "first");
  key.WriteString("1");
  key.SetValueName("second");
  key.WriteString("2");
  EXPECT_TRUE(key.DeleteValue("FIRST"));
  EXPECT_FALSE(key.DeleteValue("first"));
  std::string out;
  EXPECT_EQ(key.ReadString(out), kErrorSuccess);
  EXPECT_EQ(out, "2");
  key.SetSubKey("Software\\Missing");
  EXPECT_FALSE(key.DeleteValue("second"));
}

}  // namespace
