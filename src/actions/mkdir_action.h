// "mkdir": creates a directory with every missing parent.
#pragma once

#include <memory>
#include <string>

#include "actions/action.h"

class MkdirAction : public Action {
 public:
  MkdirAction();

  void InitDefaults() override;
  int SetParam(const std::string& name, const std::string& value) override;
  // True at once when anything (a file too) already stands at the path.
  int Execute() override;
  std::unique_ptr<Action> Clone() const override;

 private:
  std::string m_szDir;
};
