#include "support/zip_builder.h"

#include <minizip/zip.h>
#include <zlib.h>

ZipBuilder& ZipBuilder::File(const std::string& name, const std::string& data, uint32_t dosDateTime,
                             bool stored) {
  return Entry(name, data, 0x20, dosDateTime, stored);
}

ZipBuilder& ZipBuilder::Directory(const std::string& name) {
  return Entry(name, "", kDirectoryAttribute, kDefaultDosTime, true);
}

ZipBuilder& ZipBuilder::Entry(const std::string& name, const std::string& data,
                              uint32_t externalAttributes, uint32_t dosDateTime, bool stored) {
  m_items.push_back({name, data, externalAttributes, dosDateTime, stored});
  return *this;
}

ZipBuilder& ZipBuilder::Claiming(const std::string& name, const std::string& data,
                                 uint64_t declaredSize) {
  m_items.push_back({name, data, 0x20, kDefaultDosTime, true, declaredSize});
  return *this;
}

ZipBuilder& ZipBuilder::UnixFile(const std::string& name, const std::string& data, uint32_t mode) {
  m_items.push_back({name, data, (0100000u | mode) << 16, kDefaultDosTime, false});
  m_items.back().madeOnUnix = true;
  return *this;
}

ZipBuilder& ZipBuilder::Utf8File(const std::string& name, const std::string& data) {
  File(name, data);
  m_items.back().flags = 0x800;
  return *this;
}

bool ZipBuilder::Write(const std::string& path) const {
  zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  if (!zip) return false;
  bool ok = true;
  for (const Item& item : m_items) {
    zip_fileinfo info = {};
    info.dosDate = item.dosDateTime;
    info.external_fa = item.attributes;
    int method = item.stored ? 0 : Z_DEFLATED;
    int level = item.stored ? 0 : Z_DEFAULT_COMPRESSION;
    bool raw = item.declaredSize != UINT64_MAX;
    // Version made by: 3 (Unix) in the upper byte, 2.0 in the lower.
    uLong madeBy = item.madeOnUnix ? (3u << 8) | 20u : 0u;
    if (zipOpenNewFileInZip4_64(zip, item.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                method, level, raw, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                nullptr, 0, madeBy, item.flags, raw) != ZIP_OK) {
      ok = false;
      break;
    }
    if (!item.data.empty() &&
        zipWriteInFileInZip(zip, item.data.data(), static_cast<unsigned>(item.data.size())) !=
            ZIP_OK) {
      ok = false;
    }
    if (raw) {
      uLong crc = crc32(0, reinterpret_cast<const Bytef*>(item.data.data()),
                        static_cast<uInt>(item.data.size()));
      if (zipCloseFileInZipRaw64(zip, item.declaredSize, crc) != ZIP_OK) ok = false;
    } else if (zipCloseFileInZip(zip) != ZIP_OK) {
      ok = false;
    }
    if (!ok) break;
  }
  if (zipClose(zip, nullptr) != ZIP_OK) ok = false;
  return ok;
}
