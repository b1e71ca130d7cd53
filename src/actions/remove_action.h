// "remove": deletes one file or a whole directory tree. Links are removed
// themselves, never followed; the running updater is never deleted.
#pragma once

#include <memory>
#include <string>

#include "actions/action.h"

class RemoveAction : public Action {
 public:
  RemoveAction();

  void InitDefaults() override;
  int SetParam(const std::string& name, const std::string& value) override;
  // False for a missing path and for a read-only file (which stays); true for
  // the running updater, which stays too.
  int Execute() override;
  std::unique_ptr<Action> Clone() const override;
  void AddSpaceNeeded(SpaceNeeds* needs) const override;

 private:
  std::string m_szPath;
};
