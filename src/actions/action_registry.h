// The process-wide map from type name to prototype action. Filled when the
// update dialog is constructed, emptied when it is destroyed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "actions/action.h"

// Registers the types in their fixed order: copy, shortcut, mkdir, open,
// registry, remove, run, sendmessage, unzip.
void RegisterActionTypes();
// A clone of the prototype for the trimmed, lower-cased type name; null when
// the type is not registered.
std::unique_ptr<Action> CreateAction(const std::string& type);
// The registered type names, sorted.
std::vector<std::string> RegisteredActionTypes();
void ClearActionTypes();
// Adds (or replaces) one prototype under `type`.
void RegisterActionType(const std::string& type, std::unique_ptr<Action> prototype);
