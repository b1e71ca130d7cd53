// "unzip": unpacks a zip archive into a folder, one logged step and one step
// of the current-file bar per entry. An entry that would replace the running
// updater is written beside it under the side name.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "actions/action.h"

class ZipExtractor;

class UnzipAction : public Action {
 public:
  UnzipAction();

  void InitDefaults() override;
  int SetParam(const std::string& name, const std::string& value) override;
  int Execute() override;
  std::unique_ptr<Action> Clone() const override;
  void AddSpaceNeeded(SpaceNeeds* needs) const override;

 private:
  struct Planned {
    std::string path;  // where the entry goes
    uint64_t size = 0;
    bool directory = false;
  };
  // Where each entry that can be read goes, and how big it is; those that
  // cannot fail when they are extracted.
  std::vector<Planned> Plan(ZipExtractor& zip) const;
  // The path an entry is shown as (and, when it is the updater, written
  // beside it under the side name).
  std::string DisplayPath(const std::string& name) const;
  void AddNeeds(const std::vector<Planned>& plan, bool asides, SpaceNeeds* needs) const;

  std::string m_szFile;   // the archive
  std::string m_szWhere;  // the destination folder
};
