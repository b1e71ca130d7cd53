#include "update/write_access.h"

#include <string>

#include "env/config.h"
#include "env/main_window.h"
#include "env/texts.h"
#include "env/update_log.h"
#include "platform/env.h"

namespace {

constexpr char kRunAsVerb[] = "runas";

bool CanChangeProduct(platform::Elevation& elevation) {
  return elevation.CanCreateFileIn(g_szAppPath) && elevation.CanWriteMachineKey(kProductKey);
}

}  // namespace

WriteAccess EnsureWriteAccess() {
  platform::Elevation& elevation = platform::Env::Get().elevation();
  if (elevation.IsElevated() || CanChangeProduct(elevation)) return WriteAccess::kGranted;
  if (elevation.CanElevate()) {
    WriteLog(texts::kRestartingElevated, true);
    std::string folder;
    platform::Env::Get().fs().GetFullPath(".", &folder);
    platform::Error error = elevation.Execute(kRunAsVerb, g_szThisFile, kAutoArgument, folder,
                                              g_pMainWnd ? g_pMainWnd->GetWindowId() : 0);
    if (error == platform::kErrorSuccess) {
      if (g_pMainWnd) g_pMainWnd->EndDialog();
      return WriteAccess::kRestarted;
    }
    if (error != platform::kErrorCancelled)
      WriteLog(texts::kRestartFailed + std::to_string(error), false);
  }
  WriteLog(texts::kCancelledNoAdminRights, true);
  return WriteAccess::kRefused;
}
