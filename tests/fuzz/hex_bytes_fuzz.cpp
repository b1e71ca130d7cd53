// ParseHexBytes on any text: 0 unless it starts with "hex:", otherwise one
// byte per comma-separated item (blanks, tabs, line ends and backslashes do
// not count) and a zero byte after them, all inside the array it returns.
#include <cstdint>
#include <memory>
#include <string>

#include "actions/registry_action.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<unsigned char[]> bytes;
  int count = ParseHexBytes(text, bytes);

  bool notation = size >= 4 && (text[0] | 0x20) == 'h' && (text[1] | 0x20) == 'e' &&
                  (text[2] | 0x20) == 'x' && text[3] == ':';
  if (!notation) {
    FUZZ_CHECK(count == 0, "%d bytes from text without the notation", count);
    return 0;
  }
  int commas = 0;
  for (size_t i = 4; i < size; ++i) commas += text[i] == ',';
  FUZZ_CHECK(count == commas + 1, "%d bytes for %d commas", count, commas);
  unsigned sum = 0;
  for (int i = 0; i < count; ++i) sum += bytes[i];
  FUZZ_CHECK(bytes[count] == 0, "no zero byte after the %d bytes (sum %u)", count, sum);
  return 0;
}
