// "copy": copies or moves one file. A move never replaces an existing
// destination; a destination naming the running updater becomes its side name.
#pragma once

#include <memory>
#include <string>

#include "actions/action.h"

class CopyAction : public Action {
 public:
  CopyAction();

  void InitDefaults() override;
  int SetParam(const std::string& name, const std::string& value) override;
  // Rewrites m_szTo (into a folder, onto the side name) before the work.
  int Execute() override;
  std::unique_ptr<Action> Clone() const override;
  void AddSpaceNeeded(SpaceNeeds* needs) const override;

 private:
  std::string m_szFrom;
  std::string m_szTo;  // a file, or an existing folder to copy into
  int m_bMove = 1;
  int m_bOverwrite = 1;  // copies only; a move never replaces
};
