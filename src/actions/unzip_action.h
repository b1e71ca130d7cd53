// "unzip": unpacks a zip archive into a folder, one logged step and one step
// of the current-file bar per entry. An entry that would replace the running
// updater is written beside it under the side name.
#pragma once

#include <memory>
#include <string>

#include "actions/action.h"

class UnzipAction : public Action {
 public:
  UnzipAction();

  void InitDefaults() override;
  int SetParam(const std::string& name, const std::string& value) override;
  int Execute() override;
  std::unique_ptr<Action> Clone() const override;

 private:
  std::string m_szFile;   // the archive
  std::string m_szWhere;  // the destination folder
};
