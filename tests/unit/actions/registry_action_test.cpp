#include "actions/registry_action.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <memory>
#include <string>

#include "actions/action_registry.h"
#include "actions/journal.h"
#include "env/registry_key.h"
#include "platform/env.h"
#include "support/registry_sandbox.h"
#include "support/temp_dir.h"

namespace {

using platform::kHkeyClassesRoot;
using platform::kHkeyCurrentConfig;
using platform::kHkeyCurrentUser;
using platform::kHkeyLocalMachine;
using platform::kHkeyUsers;
using platform::RootKey;

struct Value {
  bool bExists = false;
  uint32_t dwType = 0;
  std::string data;
};

Value Read(RootKey root, const std::string& subKey, const std::string& name) {
  Value value;
  auto& store = platform::Env::Get().registry();
  std::unique_ptr<platform::RegistryHandle> key;
  if (store.OpenKey(root, subKey, platform::kKeyRead, &key) != 0) return value;
  uint32_t size = 0;
  if (store.QueryValue(key.get(), name, &value.dwType, nullptr, &size) != 0) return value;
  value.data.resize(size);
  value.bExists = store.QueryValue(key.get(), name, &value.dwType, value.data.data(), &size) == 0;
  value.data.resize(size);
  return value;
}

bool KeyExists(RootKey root, const std::string& subKey) {
  std::unique_ptr<platform::RegistryHandle> key;
  return platform::Env::Get().registry().OpenKey(root, subKey, platform::kKeyRead, &key) == 0;
}

void Write(RootKey root, const std::string& subKey, const std::string& name, uint32_t type,
           const std::string& data) {
  RegistryKey key;
  key.SetRootKey(root);
  key.SetSubKey(subKey.c_str());
  key.SetValueName(name.c_str());
  ASSERT_EQ(key.WriteValue(data.data(), static_cast<uint32_t>(data.size()), type), 0u);
}

std::string Bytes(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out += static_cast<char>(b);
  return out;
}

// Runs one registry action bound from a manifest element.
int Apply(const std::string& element) {
  TiXmlDocument doc;
  doc.Parse(element.c_str());
  EXPECT_FALSE(doc.Error()) << element;
  RegistryAction action;
  EXPECT_TRUE(action.LoadFromElement(doc.RootElement()));
  return action.Execute();
}

// Every test gets its own empty registry.
class RegistryActionTest : public ::testing::Test {
 protected:
  void SetUp() override { m_log.Enter(); }

  RegistrySandbox m_sandbox;
  TempDir m_log;
};

const std::string kEight = Bytes({0, 1, 2, 3, 4, 5, 6, 7});

TEST_F(RegistryActionTest, StringIsWrittenWithItsNulUnderTheNamedRoot) {
  EXPECT_TRUE(Apply(R"(<action key="HKCU\Software\Example" valuetype="STRING" valuename="v"
                             value="abc"/>)"));
  Value v = Read(kHkeyCurrentUser, "Software\\Example", "v");
  ASSERT_TRUE(v.bExists);
  EXPECT_EQ(v.dwType, platform::kRegSz);
  EXPECT_EQ(v.data, std::string("abc\0", 4));
  EXPECT_FALSE(Read(kHkeyLocalMachine, "Software\\Example", "v").bExists);

  // Without "valuetype" (bound as empty) and with an unknown one: a string.
  Apply(R"(<action key="HKCU\Software\Example" valuename="w" value="x"/>)");
  Apply(R"(<action key="HKCU\Software\Example" valuetype="multi" value="y"/>)");
  EXPECT_EQ(Read(kHkeyCurrentUser, "Software\\Example", "w").dwType, platform::kRegSz);
  EXPECT_EQ(Read(kHkeyCurrentUser, "Software\\Example", "").data, std::string("y\0", 2));
}

TEST_F(RegistryActionTest, RootNamesInAnyCaseAndShortFormsElseTheLocalMachine) {
  struct Case {
    const char* szKey;
    RootKey root;
    const char* szSubKey;
  } cases[] = {
      {"hkcu\\S\\A", kHkeyCurrentUser, "S\\A"},
      {"Hkey_Users\\S\\B", kHkeyUsers, "S\\B"},
      {"HKU\\S\\C", kHkeyUsers, "S\\C"},
      {"hkey_classes_root\\S\\D", kHkeyClassesRoot, "S\\D"},
      {"HKCR\\S\\E", kHkeyClassesRoot, "S\\E"},
      {"HKEY_CURRENT_CONFIG\\S\\F", kHkeyCurrentConfig, "S\\F"},
      {"hkcc\\S\\G", kHkeyCurrentConfig, "S\\G"},
      {"HKLM\\S\\H", kHkeyLocalMachine, "S\\H"},
      {"HKXX\\Software", kHkeyLocalMachine, "Software"},
      {"NoBackslash", kHkeyLocalMachine, "NoBackslash"},
      {"\\Lead\\I", kHkeyLocalMachine, "Lead\\I"},
  };
  for (const Case& c : cases) {
    Apply(std::string("<action key=\"") + c.szKey + "\" valuename=\"n\" value=\"1\"/>");
    EXPECT_TRUE(Read(c.root, c.szSubKey, "n").bExists) << c.szKey;
  }
  EXPECT_FALSE(KeyExists(kHkeyLocalMachine, "HKXX"));
}

TEST_F(RegistryActionTest, DashBeforeTheValueNameDeletesTheValue) {
  Write(kHkeyLocalMachine, "Software\\Example", "", platform::kRegSz, std::string("d\0", 2));
  Write(kHkeyLocalMachine, "Software\\Example", "keep", platform::kRegSz, std::string("k\0", 2));
  Write(kHkeyLocalMachine, "Software\\Example", "gone", platform::kRegSz, std::string("g\0", 2));

  EXPECT_TRUE(Apply(R"(<action key="HKLM\Software\Example" valuename="-" value="ignored"/>)"));
  EXPECT_FALSE(Read(kHkeyLocalMachine, "Software\\Example", "").bExists);
  EXPECT_TRUE(Apply(R"(<action key="HKLM\Software\Example" valuename="-gone"/>)"));
  EXPECT_FALSE(Read(kHkeyLocalMachine, "Software\\Example", "gone").bExists);
  EXPECT_TRUE(Read(kHkeyLocalMachine, "Software\\Example", "keep").bExists);
  EXPECT_FALSE(Read(kHkeyLocalMachine, "Software\\Example", "-gone").bExists);
}

TEST_F(RegistryActionTest, DashBeforeTheKeyDeletesTheWholeTreeWhateverElseIsGiven) {
  Write(kHkeyCurrentUser, "Software\\Example\\A\\B", "v", platform::kRegSz, "x");
  Write(kHkeyCurrentUser, "Software\\Example", "-v", platform::kRegSz, "x");
  Write(kHkeyCurrentUser, "Software\\Other", "v", platform::kRegSz, "x");

  EXPECT_TRUE(Apply(R"(<action key="-HKCU\Software\Example" valuetype="DWORD" valuename="-v"
                             value="5"/>)"));
  EXPECT_FALSE(KeyExists(kHkeyCurrentUser, "Software\\Example"));
  EXPECT_TRUE(KeyExists(kHkeyCurrentUser, "Software\\Other"));
}

namespace {

// The second value of every key cannot be read, as in a damaged hive.
class DamagedValues : public platform::RegistryStoreWrapper {
 public:
  DamagedValues() : RegistryStoreWrapper(&platform::Env::Get().registry()) {}
  platform::Error EnumValue(platform::RegistryHandle* k, uint32_t i, std::string* n, uint32_t* t,
                            std::string* d) override {
    return i == 1 ? platform::kErrorBadDatabase : RegistryStoreWrapper::EnumValue(k, i, n, t, d);
  }
};

}  // namespace

// Under a journal a tree is deleted only when all of it was saved.
TEST_F(RegistryActionTest, ATreeThatCannotBeSavedWholeIsNotDeleted) {
  Write(kHkeyCurrentUser, "Software\\Example\\A", "v", platform::kRegSz, "x");
  Write(kHkeyCurrentUser, "Software\\Example\\A", "w", platform::kRegSz, "y");
  TempDir app;
  Journal journal(RollbackPathOf(app.path()));
  ASSERT_EQ(journal.Begin(app.path(), "1.0.0.0"), Journal::Status::kOk);
  g_pJournal = &journal;
  DamagedValues damaged;
  {
    platform::ScopedService<platform::RegistryStore> guard(&platform::Env::SetRegistry, &damaged);
    EXPECT_FALSE(Apply(R"(<action key="-HKCU\Software\Example"/>)"));
  }
  g_pJournal = nullptr;
  EXPECT_TRUE(Read(kHkeyCurrentUser, "Software\\Example\\A", "w").bExists);
}

TEST_F(RegistryActionTest, KeyDeletionNeverReachesARoot) {
  Write(kHkeyCurrentUser, "Software\\Keep", "v", platform::kRegSz, "x");
  Write(kHkeyLocalMachine, "Software\\Keep", "v", platform::kRegSz, "x");
  for (const char* key : {"-HKCU\\", "-HKCU\\\\", "-HKCU\\\\Software", "-", "-\\"}) {
    EXPECT_FALSE(Apply(std::string("<action key=\"") + key + "\"/>")) << key;
  }
  EXPECT_TRUE(KeyExists(kHkeyCurrentUser, "Software\\Keep"));
  EXPECT_TRUE(KeyExists(kHkeyLocalMachine, "Software\\Keep"));
}

TEST_F(RegistryActionTest, DwordIsTheDecimalNumberAtTheStartAsThirtyTwoBits) {
  struct Case {
    const char* szValue;
    uint32_t dwExpected;
  } cases[] = {
      {"0x10", 0},
      {"-1", 4294967295u},
      {" 42abc", 42},
      {"", 0},
      {"+7", 7},
      {"99999999999", 2147483647u},
      {"-99999999999", 2147483648u},
  };
  for (const Case& c : cases) {
    Apply(std::string("<action key=\"HKCU\\S\" valuetype=\"Dword\" valuename=\"d\" value=\"") +
          c.szValue + "\"/>");
    Value v = Read(kHkeyCurrentUser, "S", "d");
    EXPECT_EQ(v.dwType, platform::kRegDword) << c.szValue;
    uint32_t expected = c.dwExpected;
    EXPECT_EQ(v.data,
              Bytes({static_cast<int>(expected & 0xFF), static_cast<int>(expected >> 8 & 0xFF),
                     static_cast<int>(expected >> 16 & 0xFF), static_cast<int>(expected >> 24)}))
        << c.szValue;
  }
}

TEST_F(RegistryActionTest, BinaryWithNegativeStartReplacesTheValue) {
  Write(kHkeyCurrentUser, "S", "b", platform::kRegBinary, kEight);
  EXPECT_TRUE(Apply(R"(<action key="HKCU\S" valuetype="binary" valuename="b" value="hex:aa,bb"
                             startpos="-1"/>)"));
  Value v = Read(kHkeyCurrentUser, "S", "b");
  EXPECT_EQ(v.dwType, platform::kRegBinary);
  EXPECT_EQ(v.data, Bytes({0xAA, 0xBB}));

  // A value that cannot be read is written whole whatever the start.
  EXPECT_TRUE(Apply(R"(<action key="HKCU\S" valuetype="BINARY" valuename="new" value="hex:01"
                             startpos="5"/>)"));
  EXPECT_EQ(Read(kHkeyCurrentUser, "S", "new").data, Bytes({1}));
}

TEST_F(RegistryActionTest, BinaryPatchOverwritesOnlyItsBytes) {
  Write(kHkeyCurrentUser, "S", "b", platform::kRegBinary, kEight);
  EXPECT_TRUE(Apply(R"(<action key="HKCU\S" valuetype="BINARY" valuename="b" value="hex:aa,bb"
                             startpos="2"/>)"));
  EXPECT_EQ(Read(kHkeyCurrentUser, "S", "b").data, Bytes({0, 1, 0xAA, 0xBB, 4, 5, 6, 7}));

  // Without "startpos" (bound as empty, read as 0) the patch starts at byte 0;
  // the last byte is still inside.
  Apply(R"(<action key="HKCU\S" valuetype="BINARY" valuename="b" value="hex:ee"/>)");
  Apply(R"(<action key="HKCU\S" valuetype="BINARY" valuename="b" value="hex:ff" startpos="7"/>)");
  EXPECT_EQ(Read(kHkeyCurrentUser, "S", "b").data, Bytes({0xEE, 1, 0xAA, 0xBB, 4, 5, 6, 0xFF}));
}

TEST_F(RegistryActionTest, PatchAsLongAsTheValueLeavesItsBytesButMakesItBinary) {
  Write(kHkeyCurrentUser, "S", "b", platform::kRegBinary, kEight);
  Write(kHkeyCurrentUser, "S", "s", platform::kRegSz, std::string("abcdefg\0", 8));
  EXPECT_TRUE(Apply(R"(<action key="HKCU\S" valuetype="BINARY" valuename="b"
                             value="hex:ff,ff,ff,ff,ff,ff,ff,ff" startpos="0"/>)"));
  EXPECT_TRUE(Apply(R"(<action key="HKCU\S" valuetype="BINARY" valuename="s"
                             value="hex:ff,ff,ff,ff,ff,ff,ff,ff,ff" startpos="0"/>)"));
  EXPECT_EQ(Read(kHkeyCurrentUser, "S", "b").data, kEight);
  Value s = Read(kHkeyCurrentUser, "S", "s");
  EXPECT_EQ(s.dwType, platform::kRegBinary);
  EXPECT_EQ(s.data, std::string("abcdefg\0", 8));
}

TEST_F(RegistryActionTest, PatchOverAnotherTypeTurnsItBinary) {
  Write(kHkeyCurrentUser, "S", "d", platform::kRegDword, Bytes({1, 2, 3, 4}));
  EXPECT_TRUE(Apply(R"(<action key="HKCU\S" valuetype="BINARY" valuename="d" value="hex:09"
                             startpos="3"/>)"));
  Value v = Read(kHkeyCurrentUser, "S", "d");
  EXPECT_EQ(v.dwType, platform::kRegBinary);
  EXPECT_EQ(v.data, Bytes({1, 2, 3, 9}));
}

TEST_F(RegistryActionTest, PatchPastTheEndChangesNothing) {
  Write(kHkeyCurrentUser, "S", "b", platform::kRegBinary, kEight);
  Write(kHkeyCurrentUser, "S", "s", platform::kRegSz, std::string("abcdefg\0", 8));
  // "4294967298" must not wrap round to 2.
  for (const char* start : {"7", "8", "1000", "4294967298", "2147483647"}) {
    for (const char* name : {"b", "s"}) {
      EXPECT_FALSE(Apply(std::string("<action key=\"HKCU\\S\" valuetype=\"BINARY\" valuename=\"") +
                         name + "\" value=\"hex:aa,bb\" startpos=\"" + start + "\"/>"))
          << start;
    }
  }
  EXPECT_EQ(Read(kHkeyCurrentUser, "S", "b").data, kEight);
  Value s = Read(kHkeyCurrentUser, "S", "s");
  EXPECT_EQ(s.dwType, platform::kRegSz);
  EXPECT_EQ(s.data, std::string("abcdefg\0", 8));
}

TEST_F(RegistryActionTest, BinaryTextNotInHexNotationWritesNothing) {
  Write(kHkeyCurrentUser, "S", "b", platform::kRegBinary, kEight);
  for (const char* text : {"hex(2):41,00", " hex:01", "0a,0b", ""}) {
    EXPECT_FALSE(Apply(std::string("<action key=\"HKCU\\S\" valuetype=\"BINARY\" valuename=\"b\" "
                                   "value=\"") +
                       text + "\" startpos=\"-1\"/>"))
        << text;
  }
  EXPECT_EQ(Read(kHkeyCurrentUser, "S", "b").data, kEight);
}

TEST(ParseHexBytes, NotationOfRegistryExportFiles) {
  struct Case {
    const char* szText;
    std::string expected;
  } cases[] = {
      {"hex:0a,0B,ff", Bytes({0x0A, 0x0B, 0xFF})},
      {"HEX: 01, 02", Bytes({1, 2})},
      {"hex:1ff", Bytes({0xFF})},
      {"hex:01,,02", Bytes({1, 0, 2})},
      {"hex:01,02,", Bytes({1, 2, 0})},
      {"hex:", Bytes({0})},
      {"hex:01,02,\\\r\n  03,\\\n\t04", Bytes({1, 2, 3, 4})},
      {"hex:0x1f,-1,zz,7g", Bytes({0x1F, 0xFF, 0, 7})},
      {"hex:100000001", Bytes({0xFF})},  // out of range: the largest number
  };
  for (const Case& c : cases) {
    std::unique_ptr<unsigned char[]> bytes;
    int n = ParseHexBytes(c.szText, bytes);
    ASSERT_EQ(n, static_cast<int>(c.expected.size())) << c.szText;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes.get()), n), c.expected) << c.szText;
    EXPECT_EQ(bytes[n], 0) << c.szText;
  }
  for (const char* text : {"hex(2):41,00", " hex:01", "he", "", "0a,0b"}) {
    std::unique_ptr<unsigned char[]> bytes;
    EXPECT_EQ(ParseHexBytes(text, bytes), 0) << text;
  }
}

TEST(ProgramAndRegistryTypes, AreRegisteredWithTheirDefaults) {
  RegisterActionTypes();
  for (const char* type : {"open", " Registry ", "RUN"}) {
    auto action = CreateAction(type);
    ASSERT_TRUE(action) << type;
  }
  auto registry = CreateAction("registry");
  EXPECT_EQ(registry->GetType(), "registry");
  EXPECT_EQ(registry->GetParamValues(),
            (std::vector<std::string>{"", "HKEY_LOCAL_MACHINE", "STRING", "", "", "-1"}));
  EXPECT_EQ(CreateAction("run")->GetParamNames(),
            (std::vector<std::string>{"description", "cmd", "args", "async"}));
  EXPECT_EQ(CreateAction("open")->GetParamValues(), (std::vector<std::string>{"", "", "false"}));
  ClearActionTypes();
  EXPECT_FALSE(CreateAction("run"));
}

}  // namespace
