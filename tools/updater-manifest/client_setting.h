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
  bool FromUtf8(const std::string& utf8, std::string* text) const override;
};

// Writes the files the updater opens by a relative name (its updater.log) into
// a scratch folder instead of the current directory; without a folder they
// are refused.
class ScratchLogFs : public platform::FsWrapper {
 public:
  ScratchLogFs(platform::Fs* target, const std::string& scratch)
      : FsWrapper(target), m_szScratch(scratch) {}
  platform::Error OpenForWrite(const std::string& path, platform::WriteMode mode,
                               std::unique_ptr<platform::WritableFile>* file) override;

 private:
  std::string m_szScratch;
};

// Sets the installed version, the path values and the download folder, fills
// the action registry when it is empty, keeps environment references as
// written, and sends what the updater logs (updater.log) to a scratch folder,
// where it can be read back. Everything is restored, and the folder removed,
// on destruction.
class ClientSetting {
 public:
  ClientSetting(const std::string& installedVersion, const ClientPaths& paths);
  ~ClientSetting();
  ClientSetting(const ClientSetting&) = delete;
  ClientSetting& operator=(const ClientSetting&) = delete;

  // False when no scratch folder could be made; the log then goes nowhere.
  bool HasScratch() const { return !m_szScratch.empty(); }
  const std::string& ScratchDir() const { return m_szScratch; }
  // The lines logged since the last call, without their line ends.
  std::vector<std::string> TakeLog();

 private:
  std::string m_aSaved[5];
  bool m_bRegistered = false;
  std::string m_szScratch;
  UnexpandedText m_text;
  platform::ScopedService<platform::Text> m_textGuard;
  ScratchLogFs m_fs;
  platform::ScopedService<platform::Fs> m_fsGuard;
  size_t m_nLogRead = 0;
};

// The whole file; false when it cannot be read.
bool ReadTextFile(const std::string& path, std::string* text);
// Written beside the path first and renamed over it, so the file is never
// half written; false, with nothing left beside it, when that fails.
bool WriteWholeFile(const std::string& path, const std::string& text);
