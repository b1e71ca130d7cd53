// The updater's process-wide setting, put in place for the time the tool reads
// a manifest through the updater's own code, and restored afterwards.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/env.h"

// The values that ExpandPathVars puts in place of the path variables.
struct ClientPaths {
  std::string szAppPath;
  std::string szWinPath;
  std::string szSys32Path;
};

// Each variable stands for itself, so the expanded text keeps the bytes,
// lines and columns of the file as written.
ClientPaths UnexpandedPaths();

// Keeps %NAME% references as written: the client expands them in its own
// environment, so the publisher's would only mislead.
class UnexpandedText : public platform::Text {
 public:
  bool IsLeadByte(unsigned char c) const override;
  bool ExpandEnvironment(const std::string& in, size_t capacity, std::string* out) const override;
  bool GetVariable(const std::string& name, std::string* value) const override;
};

// Sets the installed version, the path values and the download folder, fills
// the action registry when it is empty, and makes a scratch folder the current
// directory, so that what the updater logs (updater.log) lands there and can be
// read back. Everything is restored, and the folder removed, on destruction.
class ClientSetting {
 public:
  ClientSetting(const std::string& installedVersion, const ClientPaths& paths);
  ~ClientSetting();
  ClientSetting(const ClientSetting&) = delete;
  ClientSetting& operator=(const ClientSetting&) = delete;

  // False when no scratch folder could be made; the log then goes nowhere.
  bool HasScratch() const { return !m_szScratch.empty(); }
  const std::string& ScratchDir() const { return m_szScratch; }
  // The lines logged since the last call, without their CR LF.
  std::vector<std::string> TakeLog();

 private:
  std::string m_aSaved[5];
  bool m_bRegistered = false;
  UnexpandedText m_text;
  platform::ScopedService<platform::Text> m_textGuard;
  std::string m_szPreviousCwd;
  std::string m_szScratch;
  size_t m_nLogRead = 0;
};

// The whole file; false when it cannot be read.
bool ReadTextFile(const std::string& path, std::string* text);
