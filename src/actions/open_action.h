// "open": starts an existing program file, waiting for it to end unless
// "async" is "true".
#pragma once

#include <memory>
#include <string>

#include "actions/action.h"

class OpenAction : public Action {
 public:
  OpenAction();

  void InitDefaults() override;
  // "file" and also "cmd" set m_szFile; "async" as for "run".
  int SetParam(const std::string& name, const std::string& value) override;
  // False, with nothing started, when m_szFile does not exist; otherwise
  // m_szFile is the whole command line, in quotes when it holds a blank.
  int Execute() override;
  std::unique_ptr<Action> Clone() const override;

 private:
  std::string m_szFile;
  bool m_bWait = true;
};
