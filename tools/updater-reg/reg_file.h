// .reg files, "Windows Registry Editor Version 5.00": the reading for import,
// the writing for export.
//
// Written as UTF-8 with CR LF line ends; read as UTF-8 (with or without its
// byte-order mark) or as UTF-16LE with its byte-order mark, the form reg.exe
// writes. As reg.exe does, REG_EXPAND_SZ values go out as hex(2): with their
// text in UTF-16LE (so do REG_MULTI_SZ as hex(7): and REG_SZ values that a
// quoted string cannot hold, as hex(1):); bytes that are not UTF-8 travel as
// lone surrogates, so every value comes back as it was.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "key_name.h"

struct RegFileValue {
  std::string name;  // empty for the default value, "@"
  bool remove = false;
  uint32_t type = 0;
  std::string bytes;
};

struct RegFileKey {
  KeyName key;
  bool remove = false;  // [-KEY]: the key and everything below it
  std::vector<RegFileValue> values;
};

// The whole file, or false with the line (1-based) and the problem of the
// first fault; nothing is returned then.
bool ParseRegFile(const std::string& bytes, std::vector<RegFileKey>* keys, int* errorLine,
                  std::string* problem);

// The file's first line and the blank line after it.
std::string RegFileHeader();
// "[KEY]" and its line end.
std::string RegFileKeyLine(const std::string& display);
// One value: "name"=data with its line end, hex data wrapped at 80 columns.
std::string RegFileValueLine(const std::string& name, uint32_t type, const std::string& bytes);
