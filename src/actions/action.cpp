#include "actions/action.h"

#include <tinyxml.h>

#include "actions/split_string.h"
#include "env/mbstring.h"
#include "env/update_log.h"
#include "platform/env.h"
#include "platform/separators.h"

namespace {

// ExpandEnvironmentStringsA into 261 bytes; a longer expansion keeps the value
// unexpanded.
constexpr size_t kExpandCapacity = 261;
constexpr char kBlanks[] = " \t";
constexpr char kWhiteSpace[] = " \t\r\n";

std::string ExpandEnvironment(const std::string& value) {
  std::string expanded;
  if (!platform::Env::Get().text().ExpandEnvironment(value, kExpandCapacity, &expanded)) {
    return value;
  }
  return expanded;
}

}  // namespace

const char kThisFileVar[] = "${this_file}";

Action::Action(const std::string& szType) : m_szType(szType) {}

Action::~Action() = default;

void Action::InitDefaults() {}

std::string Action::GetParam(const std::string& name) const {
  for (size_t i = 0; i < m_aParamNames.size(); ++i) {
    if (MbsEqualNoCase(m_aParamNames[i], name)) return m_aParamValues[i];
  }
  return std::string();
}

int Action::SetParam(const std::string& name, const std::string& value) {
  std::string expanded = ExpandEnvironment(value);
  if (MbsEqualNoCase(name, "description")) m_szDescription = value;
  for (size_t i = 0; i < m_aParamNames.size(); ++i) {
    if (MbsEqualNoCase(m_aParamNames[i], name)) {
      m_aParamValues[i] = expanded;
      return 1;
    }
  }
  m_aParamNames.push_back(name);
  m_aParamValues.push_back(expanded);
  return 1;
}

void Action::ApplyParams() {
  size_t count = m_aParamNames.size();
  for (size_t i = 0; i < count; ++i) {
    // Copies: SetParam may append to the table.
    std::string name = m_aParamNames[i];
    std::string value = m_aParamValues[i];
    SetParam(name, value);
  }
}

int Action::Execute() { return 1; }

std::unique_ptr<Action> Action::Clone() const { return nullptr; }

int Action::DefineParams(const std::string& names, const std::string& defaults) {
  SplitString(m_aParamNames, names, ",", kBlanks);
  SplitString(m_aParamValues, defaults, ",", kBlanks);
  size_t n = std::min(m_aParamNames.size(), m_aParamValues.size());
  m_aParamNames.resize(n);
  m_aParamValues.resize(n);
  for (size_t i = 0; i < n; ++i) {
    std::string name = m_aParamNames[i];
    std::string value = m_aParamValues[i];
    SetParam(name, value);
  }
  return 1;
}

int Action::LoadFromElement(const TiXmlElement* element) {
  if (!element) return 0;
  size_t count = m_aParamNames.size();
  for (size_t i = 0; i < count; ++i) {
    std::string name = m_aParamNames[i];
    const char* attribute = element->Attribute(name.c_str());
    std::string value = attribute ? attribute : "";
    // Doubled backslashes are manifest escaping, collapsed for these three.
    if (std::string("|file|cmd|where|").find("|" + name + "|") != std::string::npos) {
      value = platform::CollapseDoubledSeparators(value, '\\');
    }
    SetParam(name, value);
  }
  return 1;
}

void Action::AddSpaceNeeded(SpaceNeeds*) const {}

void Action::SubstituteThisFile(const std::string& path) {
  size_t count = m_aParamNames.size();
  for (size_t i = 0; i < count; ++i) {
    std::string value = m_aParamValues[i];
    if (ReplaceAll(&value, kThisFileVar, path) > 0) {
      std::string name = m_aParamNames[i];
      SetParam(name, value);
    }
  }
}

void Action::LogDescription() const {
  if (!m_szDescription.empty()) WriteLog(m_szDescription, true);
}

std::string Action::ParamKey(const std::string& name) {
  return MbsLower(TrimChars(name, kWhiteSpace));
}

int Action::ParseFlag(const std::string& value) { return MbsEqualNoCase(value, "false") ? 0 : 1; }
