// Administrator rights on demand. On Windows a program that is not elevated
// may lack the rights to change the installation folder or the product key in
// HKEY_LOCAL_MACHINE; it can start itself again elevated, after the user says
// yes to the prompt (UAC). POSIX has nothing of the kind: there a process has
// all the rights it will ever have and is never started again.
#pragma once

#include <string>

#include "platform/errors.h"
#include "platform/window_messages.h"

namespace platform {

constexpr Error kErrorNotSupported = 50;  // the platform cannot do it
constexpr Error kErrorCancelled = 1223;   // the user declined the prompt

class Elevation {
 public:
  virtual ~Elevation() = default;

  // True when a restart cannot give the process more rights: it is elevated
  // already, or the platform has no elevation (POSIX).
  virtual bool IsElevated() = 0;
  // True when a program started with the verb "runas" gets administrator
  // rights (Windows with UAC on); false where nothing would ask the user.
  virtual bool CanElevate() = 0;
  // The real write test of a folder: a new temporary file is created in it
  // and removed again.
  virtual bool CanCreateFileIn(const std::string& folder) = 0;
  // True when the key of HKEY_LOCAL_MACHINE opens for writing, in the
  // registry view the process writes.
  virtual bool CanWriteMachineKey(const std::string& subKey) = 0;
  // ShellExecuteEx of `program` with `verb` and `parameters` in `folder`, any
  // prompt owned by the window `owner` (0: none). 0 once the program has
  // started, 1223 when the user declined, otherwise the error.
  virtual Error Execute(const std::string& verb, const std::string& program,
                        const std::string& parameters, const std::string& folder,
                        WindowId owner) = 0;
};

}  // namespace platform
