// "run": starts a command with its arguments, waiting for it to end unless
// "async" is "true".
#pragma once

#include <memory>
#include <string>

#include "actions/action.h"

class RunAction : public Action {
 public:
  RunAction();

  void InitDefaults() override;
  // "args" sets m_szArgs; "cmd" and also "file" set m_szCmd; "async" sets
  // m_bWait to false for "true" in any case and to true for anything else.
  int SetParam(const std::string& name, const std::string& value) override;
  // Starts m_szCmd + " " + m_szArgs; the blank is there also without arguments.
  // An m_szCmd that names an existing file and holds a blank goes in quotes.
  int Execute() override;
  std::unique_ptr<Action> Clone() const override;

 private:
  std::string m_szArgs;
  std::string m_szCmd;
  bool m_bWait = true;
};
