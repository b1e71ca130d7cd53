#include "env/installed_version.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "env/registry_key.h"
#include "support/registry_sandbox.h"

using platform::kErrorFileNotFound;
using platform::kErrorSuccess;

namespace {

const char kProduct[] = "SOFTWARE\\VELMAR\\Velmar Acc";
const char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VELMAR ACC";

RegistryKey Value(const char* path, const char* name) {
  RegistryKey key;
  key.SetRootKey(platform::kHkeyLocalMachine);
  key.SetSubKey(path);
  key.SetValueName(name);
  return key;
}

void WriteCert(const std::string& bytes) {
  Value(kProduct, "cert").WriteBinary(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// The bytes of "cert"; "<missing>" when it cannot be read.
std::string ReadCert() {
  unsigned char* data = nullptr;
  uint32_t size = 0;
  std::string bytes = "<missing>";
  if (Value(kProduct, "cert").ReadBinary(&data, &size) == kErrorSuccess)
    bytes.assign(reinterpret_cast<char*>(data), size);
  delete[] data;
  return bytes;
}

std::string DisplayVersion() {
  std::string text = "<missing>";
  Value(kUninstall, "DisplayVersion").ReadString(text);
  return text;
}

std::string Parsed(const std::string& text) {
  unsigned int n[4] = {9, 9, 9, 9};
  ParseVersion(text, n);
  return std::to_string(n[0]) + "." + std::to_string(n[1]) + "." + std::to_string(n[2]) + "." +
         std::to_string(n[3]);
}

class InstalledVersion : public ::testing::Test {
 protected:
  RegistrySandbox m_sandbox;
};

TEST_F(InstalledVersion, ReadsThePackedFieldsOfTheFirstFourBytes) {
  WriteCert(std::string("\x64\x00\x13\x20", 4));
  EXPECT_EQ(GetInstalledVersion(), "2.1.3.100");
  WriteCert(std::string("\xff\xff\xff\xff\x01\x02", 6));
  EXPECT_EQ(GetInstalledVersion(), "15.255.15.65535");
}

TEST_F(InstalledVersion, MissingOrShortCertHasNoVersion) {
  EXPECT_EQ(GetInstalledVersion(), "");
  WriteCert(std::string("\x64\x00\x13", 3));
  EXPECT_EQ(GetInstalledVersion(), "");
}

TEST_F(InstalledVersion, WritingKeepsTheBytesAfterTheFirstFourAndTheLength) {
  WriteCert(std::string("\x64\x00\x13\x20\xde\xad\xbe\xef", 8));
  SetInstalledVersion("3.2.1.5");
  EXPECT_EQ(ReadCert(), std::string("\x05\x00\x21\x30\xde\xad\xbe\xef", 8));
  EXPECT_EQ(GetInstalledVersion(), "3.2.1.5");
  EXPECT_EQ(DisplayVersion(), "3.2.1.5");
}

TEST_F(InstalledVersion, EachNumberIsCutToItsField) {
  WriteCert(std::string(4, '\0'));
  SetInstalledVersion("16.300.17.70000");
  EXPECT_EQ(GetInstalledVersion(), "0.44.1.4464");
  EXPECT_EQ(RecordedVersion("16.300.17.70000"), "0.44.1.4464");
  EXPECT_EQ(RecordedVersion("15.255.15.65535"), "15.255.15.65535");
  // DisplayVersion holds the text as given.
  EXPECT_EQ(DisplayVersion(), "16.300.17.70000");
}

TEST_F(InstalledVersion, WithoutCertOnlyDisplayVersionIsWritten) {
  SetInstalledVersion("1.2.3.4");
  EXPECT_EQ(DisplayVersion(), "1.2.3.4");
  EXPECT_EQ(ReadCert(), "<missing>");
  EXPECT_EQ(GetInstalledVersion(), "");

  // A short "cert" is no version and is left as it is.
  WriteCert("ab");
  SetInstalledVersion("5.6.7.8");
  EXPECT_EQ(ReadCert(), "ab");
  EXPECT_EQ(DisplayVersion(), "5.6.7.8");
}

TEST_F(InstalledVersion, ShortVersionTextReadsTheMissingNumbersAsZero) {
  WriteCert(std::string("\x64\x00\x13\x20", 4));
  SetInstalledVersion("2.1");
  EXPECT_EQ(GetInstalledVersion(), "2.1.0.0");
  SetInstalledVersion("");
  EXPECT_EQ(GetInstalledVersion(), "0.0.0.0");
  EXPECT_EQ(DisplayVersion(), "");
}

TEST_F(InstalledVersion, CertWrittenByTheRegistryToolIsRead) {
  // updater-reg on POSIX, reg.exe on Windows: the same syntax.
  std::string command = std::string(UPDATER_REG_TOOL) +
                        " add \"HKLM\\SOFTWARE\\VELMAR\\Velmar Acc\" /v cert /t REG_BINARY"
                        " /d 64001320 /f";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  EXPECT_EQ(GetInstalledVersion(), "2.1.3.100");
}

TEST(ParseVersion, ReadsAsScanfWouldAndZeroesWhatCannotBeRead) {
  EXPECT_EQ(Parsed("2.1.3.100"), "2.1.3.100");
  EXPECT_EQ(Parsed("2.1"), "2.1.0.0");
  EXPECT_EQ(Parsed(""), "0.0.0.0");
  EXPECT_EQ(Parsed("abc"), "0.0.0.0");
  EXPECT_EQ(Parsed(" 1. 2.\t3.4"), "1.2.3.4");
  EXPECT_EQ(Parsed("1 .2.3.4"), "1.0.0.0");
  EXPECT_EQ(Parsed("1..3.4"), "1.0.0.0");
  EXPECT_EQ(Parsed("1.2.3.4.5"), "1.2.3.4");
  EXPECT_EQ(Parsed("1.2.3.4beta"), "1.2.3.4");
  EXPECT_EQ(Parsed("1.2x.3.4"), "1.2.0.0");
  EXPECT_EQ(Parsed("99999999999.1.1.1"), "4294967295.1.1.1");
  EXPECT_EQ(Parsed("1.-2.3.4"), "1.0.0.0");
}

}  // namespace
