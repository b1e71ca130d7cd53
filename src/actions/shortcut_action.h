// "shortcut": creates, updates or deletes a shell shortcut in a special folder.
#pragma once

#include <string>
#include <vector>

#include "actions/action.h"

class ShortcutAction : public Action {
 public:
  ShortcutAction();
  ~ShortcutAction() override;

  void InitDefaults() override;
  int SetParam(const std::string& name, const std::string& value) override;
  // Nothing without a name. "create" writes the shortcut; "update" rewrites
  // an existing one, taking from the action only the properties named in
  // newitems; "delete" removes it for good. Nothing is logged.
  int Execute() override;
  std::unique_ptr<Action> Clone() const override;

  std::string m_szCmd;
  int m_nFolderId = 0;
  std::string m_szName;
  std::string m_szTarget;
  std::string m_szArgs;
  std::string m_szLinkDesc;
  std::string m_szIconFile;
  int m_nIconIndex = 1;
  // Lower-cased, each key followed by a comma: "target,arg,".
  std::string m_szNewItems;
};

// The commands a shortcut action carries out: "create", "update", "delete".
// `cmd` as the action keeps it (lower-cased, trimmed); any other does nothing.
bool IsShortcutCommand(const std::string& cmd);
std::vector<std::string> ShortcutCommands();
