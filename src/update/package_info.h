// One "package" of the update manifest: an optional file to download and
// verify, and three ordered lists of actions that run after it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "actions/action.h"

class TiXmlElement;

class PackageInfo {
 public:
  PackageInfo();
  virtual ~PackageInfo();

  // Fills the fields and the three action lists from a "package" element.
  // Always TRUE.
  int LoadFromXml(const TiXmlElement* element);
  // Downloads the file into the download folder and checks its MD5 (three
  // attempts in all), then runs pre-actions, actions and post-actions. Always
  // TRUE: nothing here stops the run.
  int Process();

  std::string m_szName;
  std::string m_szVersion;
  std::string m_szDescription;
  std::string m_szUrl;
  std::string m_szMd5;        // only when m_szUrl is not empty
  std::string m_szLocalFile;  // set by Process; empty without a URL
  std::vector<std::unique_ptr<Action>> m_listPreActions;
  std::vector<std::unique_ptr<Action>> m_listActions;
  std::vector<std::unique_ptr<Action>> m_listPostActions;
};
