#include "actions/action_registry.h"

#include <algorithm>
#include <unordered_map>

#include "actions/copy_action.h"
#include "actions/mkdir_action.h"
#include "actions/open_action.h"
#include "actions/registry_action.h"
#include "actions/remove_action.h"
#include "actions/run_action.h"
#include "actions/send_message_action.h"
#include "actions/shortcut_action.h"
#include "actions/unzip_action.h"
#include "env/mbstring.h"

namespace {

std::unordered_map<std::string, std::unique_ptr<Action>>& Prototypes() {
  static std::unordered_map<std::string, std::unique_ptr<Action>> map;
  return map;
}

template <typename T>
void Register(const char* type) {
  RegisterActionType(type, std::make_unique<T>());
}

}  // namespace

void RegisterActionType(const std::string& type, std::unique_ptr<Action> prototype) {
  Prototypes()[type] = std::move(prototype);
}

void RegisterActionTypes() {
  // Each action type adds itself here, in this order: copy, shortcut, mkdir,
  // open, registry, remove, run, sendmessage, unzip.
  Register<CopyAction>("copy");
  Register<ShortcutAction>("shortcut");
  Register<MkdirAction>("mkdir");
  Register<OpenAction>("open");
  Register<RegistryAction>("registry");
  Register<RemoveAction>("remove");
  Register<RunAction>("run");
  Register<SendMessageAction>("sendmessage");
  Register<UnzipAction>("unzip");
}

std::unique_ptr<Action> CreateAction(const std::string& type) {
  std::string key = MbsLower(TrimChars(type, " \t\r\n"));
  auto it = Prototypes().find(key);
  if (it == Prototypes().end() || !it->second) return nullptr;
  return it->second->Clone();
}

std::vector<std::string> RegisteredActionTypes() {
  std::vector<std::string> types;
  for (const auto& entry : Prototypes()) types.push_back(entry.first);
  std::sort(types.begin(), types.end());
  return types;
}

void ClearActionTypes() { Prototypes().clear(); }
