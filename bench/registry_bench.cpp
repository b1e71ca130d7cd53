// Single reads through RegistryKey, as LoadConfig and the registry action
// make them, timed by bench/run from outside: READS reads of the value "v"
// of keys spread over HKLM\SOFTWARE\VelmarBench\Key0 .. Key<KEYS-1>, each
// key opened and closed by its own read. Every value must read back as
// "value <n>"; prints "ok READS".
//   registry_bench read KEYS READS
#include <cstdio>
#include <cstdlib>
#include <string>

#include "env/registry_key.h"

int main(int argc, char** argv) {
  if (argc != 4 || std::string(argv[1]) != "read" || atol(argv[2]) <= 0 || atol(argv[3]) <= 0) {
    fprintf(stderr, "usage: registry_bench read KEYS READS\n");
    return 2;
  }
  long keys = atol(argv[2]);
  long reads = atol(argv[3]);
  RegistryKey key;
  key.SetRootKey(platform::kHkeyLocalMachine);
  key.SetValueName("v");
  for (long i = 0; i < reads; ++i) {
    // A stride prime to any key count of the figure: no two reads in a row
    // land near each other.
    long n = (i * 7919) % keys;
    std::string subKey = "SOFTWARE\\VelmarBench\\Key" + std::to_string(n);
    key.SetSubKey(subKey.c_str());
    std::string text;
    platform::Error err = key.ReadString(text);
    if (err != platform::kErrorSuccess || text != "value " + std::to_string(n)) {
      fprintf(stderr, "%s: error %u, read \"%s\"\n", subKey.c_str(), err, text.c_str());
      return 1;
    }
  }
  printf("ok %ld\n", reads);
  return 0;
}
