// What the fuzz targets share: a file system whose update log goes nowhere
// (a target logs on every bad input and would fill the disk), and a check
// that stops the run with a message when a property does not hold.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/env.h"

namespace fuzz {

class DiscardedFile : public platform::WritableFile {
 public:
  bool Write(const void*, size_t n, size_t* written) override {
    *written = n;
    return true;
  }
  bool Sync() override { return true; }
  bool Close() override { return true; }
};

// Forwards everything but the writes to updater.log.
class QuietLogFs : public platform::FsWrapper {
 public:
  QuietLogFs() : platform::FsWrapper(platform::DefaultFs()) {}
  platform::Error OpenForWrite(const std::string& path, platform::WriteMode mode,
                               std::unique_ptr<platform::WritableFile>* file) override {
    if (path == "updater.log") {
      *file = std::make_unique<DiscardedFile>();
      return platform::kErrorSuccess;
    }
    return platform::FsWrapper::OpenForWrite(path, mode, file);
  }
};

inline void InstallQuietLog() {
  static QuietLogFs fs;
  platform::Env::Get().SetFs(&fs);
}

// A broken property is a finding like a crash: libFuzzer keeps the input.
#define FUZZ_CHECK(condition, ...)                                 \
  do {                                                             \
    if (!(condition)) {                                            \
      std::fprintf(stderr, "property failed: %s\n  ", #condition); \
      std::fprintf(stderr, __VA_ARGS__);                           \
      std::fprintf(stderr, "\n");                                  \
      std::abort();                                                \
    }                                                              \
  } while (0)

}  // namespace fuzz
