// SplitString against the plain reading of its rule (trim the text; cut at the
// first separator; trim the piece and the rest; repeat): the same items for
// any text, separator set and trim set.
#include <cstdint>
#include <string>
#include <vector>

#include "actions/split_string.h"
#include "env/mbstring.h"
#include "fuzz_support.h"

namespace {

std::vector<std::string> Reference(const std::string& text, const char* separators,
                                   const char* trim) {
  std::vector<std::string> items;
  std::string rest = TrimChars(text, trim);
  for (;;) {
    size_t p = rest.find_first_of(separators);
    if (p == std::string::npos) {
      items.push_back(TrimChars(rest, trim));
      return items;
    }
    items.push_back(TrimChars(rest.substr(0, p), trim));
    rest = TrimChars(rest.substr(p + 1), trim);
  }
}

// A short set of characters taken from the front of the input: a length byte
// (0 to 3), then that many bytes; a zero byte ends the set early.
std::string TakeSet(const uint8_t*& data, size_t& size) {
  if (size == 0) return std::string();
  size_t n = std::min<size_t>(data[0] % 4, size - 1);
  std::string set(reinterpret_cast<const char*>(data + 1), n);
  data += n + 1;
  size -= n + 1;
  return set.c_str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string separators = TakeSet(data, size);
  std::string trim = TakeSet(data, size);
  std::string text(reinterpret_cast<const char*>(data), size);

  std::vector<std::string> items = {"left over"};
  int count = SplitString(items, text, separators.c_str(), trim.c_str());
  FUZZ_CHECK(count == static_cast<int>(items.size()) && count >= 1, "count %d", count);
  FUZZ_CHECK(items == Reference(text, separators.c_str(), trim.c_str()), "%zu items", items.size());
  return 0;
}
