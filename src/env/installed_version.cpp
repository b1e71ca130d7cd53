#include "env/installed_version.h"

#include <cstdint>
#include <cstdio>

#include "env/config.h"
#include "env/registry_key.h"

namespace {

const char kCertValue[] = "cert";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VELMAR ACC";
const char kDisplayVersionValue[] = "DisplayVersion";

// The packed version: 4 bits, 8 bits, 4 bits and 16 bits from the top.
uint32_t PackVersion(const unsigned int n[4]) {
  return ((n[0] & 0xFu) << 28) | ((n[1] & 0xFFu) << 20) | ((n[2] & 0xFu) << 16) | (n[3] & 0xFFFFu);
}

std::string UnpackVersion(uint32_t v) {
  char text[48];
  snprintf(text, sizeof text, "%u.%u.%u.%u", v >> 28, (v >> 20) & 0xFF, (v >> 16) & 0xF,
           v & 0xFFFF);
  return text;
}

uint32_t LittleEndian32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void PutLittleEndian32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

void OpenCert(RegistryKey& key) {
  key.SetRootKey(platform::kHkeyLocalMachine);
  key.SetSubKey(kProductKey);
  key.SetValueName(kCertValue);
}

// Reads one "%u" field: leading white space, then decimal digits. Digits past
// the 32-bit range saturate, where sscanf's result would be undefined.
bool ReadNumber(const std::string& text, size_t* pos, unsigned int* number) {
  size_t i = *pos;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
  uint64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + static_cast<unsigned>(text[i] - '0');
    if (value > UINT32_MAX) value = UINT32_MAX;
  }
  *number = static_cast<unsigned int>(value);
  *pos = i;
  return true;
}

}  // namespace

void ParseVersion(const std::string& text, unsigned int numbers[4]) {
  for (int i = 0; i < 4; ++i) numbers[i] = 0;
  size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (pos >= text.size() || text[pos] != '.') return;
      ++pos;
    }
    if (!ReadNumber(text, &pos, &numbers[i])) return;
  }
}

std::string RecordedVersion(const std::string& version) {
  unsigned int numbers[4];
  ParseVersion(version, numbers);
  return UnpackVersion(PackVersion(numbers));
}

std::string GetInstalledVersion() {
  RegistryKey key;
  OpenCert(key);
  unsigned char* data = nullptr;
  uint32_t size = 0;
  std::string version;
  // A "cert" shorter than four bytes holds no version.
  if (key.ReadBinary(&data, &size) == platform::kErrorSuccess && size >= 4) {
    version = UnpackVersion(LittleEndian32(data));
  }
  delete[] data;
  return version;
}

bool SetInstalledVersion(const std::string& version, VersionWriteCheck check) {
  RegistryKey key;
  OpenCert(key);
  unsigned char* data = nullptr;
  uint32_t size = 0;
  bool ok = true;
  // Only an existing "cert" that holds a version is rewritten; the bytes after
  // the first four are kept.
  if (key.ReadBinary(&data, &size) == platform::kErrorSuccess && size >= 4) {
    unsigned int numbers[4];
    ParseVersion(version, numbers);
    PutLittleEndian32(data, PackVersion(numbers));
    std::string bytes(reinterpret_cast<const char*>(data), size);
    if (check &&
        !check(platform::kHkeyLocalMachine, kProductKey, kCertValue, bytes, platform::kRegBinary)) {
      delete[] data;
      return false;
    }
    ok = key.WriteBinary(data, size) == platform::kErrorSuccess;
  }
  delete[] data;

  key.SetRootKey(platform::kHkeyLocalMachine);
  key.SetSubKey(kUninstallKey);
  key.SetValueName(kDisplayVersionValue);
  std::string text = std::string(version.c_str()) + '\0';
  if (check && !check(platform::kHkeyLocalMachine, kUninstallKey, kDisplayVersionValue, text,
                      platform::kRegSz)) {
    return false;
  }
  return key.WriteString(version.c_str()) == platform::kErrorSuccess && ok;
}
