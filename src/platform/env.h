// The process-wide set of platform services. Each starts as the real
// operating system's on first use; tests put a wrapper in place of one service
// and restore it afterwards (see ScopedService).
#pragma once

#include "platform/elevation.h"
#include "platform/fs.h"
#include "platform/internet.h"
#include "platform/processes.h"
#include "platform/registry_store.h"
#include "platform/shell.h"
#include "platform/system_paths.h"
#include "platform/text.h"
#include "platform/window_messages.h"

namespace platform {

// The real implementations, one per back-end file. They live for the process.
Fs* DefaultFs();
RegistryStore* DefaultRegistryStore();
Internet* DefaultInternet();
Processes* DefaultProcesses();
WindowMessages* DefaultWindowMessages();
Shell* DefaultShell();
Text* DefaultText();
SystemPaths* DefaultSystemPaths();
Elevation* DefaultElevation();

class Env {
 public:
  static Env& Get() {
    static Env env;
    return env;
  }

  Fs& fs() { return *Current(m_pFs, DefaultFs); }
  RegistryStore& registry() { return *Current(m_pRegistry, DefaultRegistryStore); }
  Internet& internet() { return *Current(m_pInternet, DefaultInternet); }
  Processes& processes() { return *Current(m_pProcesses, DefaultProcesses); }
  WindowMessages& windows() { return *Current(m_pWindows, DefaultWindowMessages); }
  Shell& shell() { return *Current(m_pShell, DefaultShell); }
  Text& text() { return *Current(m_pText, DefaultText); }
  SystemPaths& paths() { return *Current(m_pPaths, DefaultSystemPaths); }
  Elevation& elevation() { return *Current(m_pElevation, DefaultElevation); }

  // Each setter returns the previous service (null when none was in use yet);
  // a null argument goes back to the default.
  Fs* SetFs(Fs* p) { return Swap(m_pFs, p); }
  RegistryStore* SetRegistry(RegistryStore* p) { return Swap(m_pRegistry, p); }
  Internet* SetInternet(Internet* p) { return Swap(m_pInternet, p); }
  Processes* SetProcesses(Processes* p) { return Swap(m_pProcesses, p); }
  WindowMessages* SetWindows(WindowMessages* p) { return Swap(m_pWindows, p); }
  Shell* SetShell(Shell* p) { return Swap(m_pShell, p); }
  Text* SetText(Text* p) { return Swap(m_pText, p); }
  SystemPaths* SetPaths(SystemPaths* p) { return Swap(m_pPaths, p); }
  Elevation* SetElevation(Elevation* p) { return Swap(m_pElevation, p); }

 private:
  template <typename T>
  static T* Current(T*& slot, T* (*fallback)()) {
    if (!slot) slot = fallback();
    return slot;
  }
  template <typename T>
  static T* Swap(T*& slot, T* p) {
    T* old = slot;
    slot = p;
    return old;
  }

  Fs* m_pFs = nullptr;
  RegistryStore* m_pRegistry = nullptr;
  Internet* m_pInternet = nullptr;
  Processes* m_pProcesses = nullptr;
  WindowMessages* m_pWindows = nullptr;
  Shell* m_pShell = nullptr;
  Text* m_pText = nullptr;
  SystemPaths* m_pPaths = nullptr;
  Elevation* m_pElevation = nullptr;
};

// Puts a service in place for the life of the object:
//   ScopedService<Fs> guard(&Env::SetFs, &faultyFs);
template <typename T>
class ScopedService {
 public:
  ScopedService(T* (Env::*setter)(T*), T* service)
      : m_setter(setter), m_pOld((Env::Get().*setter)(service)) {}
  ~ScopedService() { (Env::Get().*m_setter)(m_pOld); }
  ScopedService(const ScopedService&) = delete;
  ScopedService& operator=(const ScopedService&) = delete;

 private:
  T* (Env::*m_setter)(T*);
  T* m_pOld;
};

}  // namespace platform
