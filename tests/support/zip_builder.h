// Builds zip archives for tests with minizip's writer, so that no binary
// archive is ever checked in.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ZipBuilder {
 public:
  // 2021-06-15 10:20:30 as a DOS date-time.
  static constexpr uint32_t kDefaultDosTime =
      (((2021 - 1980) << 9 | 6 << 5 | 15) << 16) | (10 << 11 | 20 << 5 | 30 / 2);
  static constexpr uint32_t kDirectoryAttribute = 0x10;

  // A file entry, deflated unless `stored`.
  ZipBuilder& File(const std::string& name, const std::string& data,
                   uint32_t dosDateTime = kDefaultDosTime, bool stored = false);
  // A directory entry: the name as given (normally ending in "/") with the
  // DOS directory attribute.
  ZipBuilder& Directory(const std::string& name);
  // Any entry, with the external attributes given.
  ZipBuilder& Entry(const std::string& name, const std::string& data, uint32_t externalAttributes,
                    uint32_t dosDateTime, bool stored);

  // A file entry made on Unix, carrying `mode` (such as 0755) in the upper
  // half of its external attributes.
  ZipBuilder& UnixFile(const std::string& name, const std::string& data, uint32_t mode);

  // A file entry whose name is flagged as UTF-8 (general-purpose bit 11), as
  // Python's zipfile and 7-Zip write non-ASCII names.
  ZipBuilder& Utf8File(const std::string& name, const std::string& data);

  // A stored entry whose header states `declaredSize` (with ZIP64 fields) and
  // the CRC of `data`, while only `data` follows: an archive that lies.
  ZipBuilder& Claiming(const std::string& name, const std::string& data, uint64_t declaredSize);

  // Writes the archive (an empty one when nothing was added); false on error.
  bool Write(const std::string& path) const;

 private:
  struct Item {
    std::string name;
    std::string data;
    uint32_t attributes;
    uint32_t dosDateTime;
    bool stored;
    uint64_t declaredSize = UINT64_MAX;  // the real size unless set
    bool madeOnUnix = false;
    uint32_t flags = 0;  // general-purpose bits
  };
  std::vector<Item> m_items;
};
