// Before a due update changes anything: the rights to change the installation
// folder and the product key, and when they are missing, a restart of the
// updater with administrator rights.
#pragma once

enum class WriteAccess {
  kGranted,    // the run goes on as it always did
  kRestarted,  // an elevated updater took over; this run and its dialog end
  kRefused,    // no rights and none to be had: nothing is changed
};

// Asks nothing of a process that is elevated (so an updater started by the
// restart never restarts again) or that can write both. Otherwise shows why
// it restarts and starts g_szThisFile with "runas" and "-auto" in the current
// folder (where updater.log is), then asks the dialog to end; a declined
// prompt, a failed start or a Windows without UAC show that the update was
// cancelled for lack of administrator rights.
WriteAccess EnsureWriteAccess();
