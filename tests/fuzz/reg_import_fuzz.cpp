// The .reg import of updater-reg on any bytes: a file it accepts, written out
// again as export writes it, is read back to the same keys and values.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::vector<RegFileKey> keys;
  int line = 0;
  std::string problem;
  if (!ParseRegFile(bytes, &keys, &line, &problem)) {
    FUZZ_CHECK(keys.empty() && line >= 1 && !problem.empty(), "line %d: %s", line, problem.c_str());
    return 0;
  }

  // Deletions have no exported form; the rest is what export would write.
  std::vector<RegFileKey> kept;
  std::string text = RegFileHeader();
  for (const RegFileKey& key : keys) {
    if (key.remove) continue;
    RegFileKey copy = key;
    copy.values.clear();
    text += RegFileKeyLine(key.key.display);
    for (const RegFileValue& value : key.values) {
      if (value.remove) continue;
      text += RegFileValueLine(value.name, value.type, value.bytes);
      copy.values.push_back(value);
    }
    text += "\r\n";
    kept.push_back(copy);
  }

  std::vector<RegFileKey> again;
  FUZZ_CHECK(ParseRegFile(text, &again, &line, &problem), "export unreadable at line %d: %s\n%s",
             line, problem.c_str(), text.c_str());
  FUZZ_CHECK(again.size() == kept.size(), "%zu keys became %zu", kept.size(), again.size());
  for (size_t k = 0; k < kept.size(); ++k) {
    const RegFileKey& a = kept[k];
    const RegFileKey& b = again[k];
    FUZZ_CHECK(a.key.root == b.key.root && a.key.subKey == b.key.subKey && !b.remove,
               "key [%s] became [%s]", a.key.display.c_str(), b.key.display.c_str());
    FUZZ_CHECK(a.values.size() == b.values.size(), "[%s]: %zu values became %zu",
               a.key.display.c_str(), a.values.size(), b.values.size());
    for (size_t v = 0; v < a.values.size(); ++v) {
      const RegFileValue& x = a.values[v];
      const RegFileValue& y = b.values[v];
      FUZZ_CHECK(x.name == y.name && x.type == y.type && x.bytes == y.bytes && !y.remove,
                 "[%s] \"%s\" type %u (%zu bytes) came back as \"%s\" type %u (%zu bytes)",
                 a.key.display.c_str(), x.name.c_str(), x.type, x.bytes.size(), y.name.c_str(),
                 y.type, y.bytes.size());
    }
  }
  return 0;
}
