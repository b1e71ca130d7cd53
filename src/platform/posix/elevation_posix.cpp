// POSIX back-end of Elevation: there is nothing to elevate to, so a run never
// asks and never starts itself again; its writes report for themselves.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/env.h"

namespace platform {
namespace {

class PosixElevation : public Elevation {
 public:
  bool IsElevated() override { return true; }
  bool CanElevate() override { return false; }

  bool CanCreateFileIn(const std::string& folder) override {
    std::string name = folder + "/.~vuXXXXXX";
    int fd = mkstemp(&name[0]);
    if (fd < 0) return false;
    close(fd);
    unlink(name.c_str());
    return true;
  }

  bool CanWriteMachineKey(const std::string& subKey) override {
    std::unique_ptr<RegistryHandle> key;
    return Env::Get().registry().OpenKey(kHkeyLocalMachine, subKey, kKeySetValue, &key) ==
           kErrorSuccess;
  }

  Error Execute(const std::string&, const std::string&, const std::string&, const std::string&,
                WindowId) override {
    return kErrorNotSupported;
  }
};

}  // namespace

Elevation* DefaultElevation() {
  static PosixElevation elevation;
  return &elevation;
}

}  // namespace platform
