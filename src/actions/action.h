// The base of every action type: a table of named text parameters with
// defaults, bound from the attributes of a manifest element.
#pragma once

#include <memory>
#include <string>
#include <vector>

class SpaceNeeds;
class TiXmlElement;

// Stands for the package's downloaded file in a parameter value; replaced
// (case-sensitively) by SubstituteThisFile just before the action runs.
extern const char kThisFileVar[];  // "${this_file}"

class Action {
 public:
  explicit Action(const std::string& szType);
  virtual ~Action();

  // Each type sets its typed fields to their start values, then DefineParams.
  virtual void InitDefaults();
  // The value of the first entry whose name equals `name` ignoring case.
  virtual std::string GetParam(const std::string& name) const;
  // Base: stores the environment-expanded value in the table. The types first
  // fill their typed field from the value as passed, then call this.
  virtual int SetParam(const std::string& name, const std::string& value);
  virtual void ApplyParams();
  // Non-zero on success. Base: nothing, TRUE.
  virtual int Execute();
  // A new action of the same type in its freshly constructed state.
  virtual std::unique_ptr<Action> Clone() const;
  // The room Execute will take in an atomic update, the asides the journal
  // keeps included, added before any action runs. Base: none.
  virtual void AddSpaceNeeded(SpaceNeeds* needs) const;

  int DefineParams(const std::string& names, const std::string& defaults);
  int LoadFromElement(const TiXmlElement* element);
  void SubstituteThisFile(const std::string& path);

  const std::string& GetType() const { return m_szType; }
  const std::string& GetDescription() const { return m_szDescription; }
  const std::vector<std::string>& GetParamNames() const { return m_aParamNames; }
  const std::vector<std::string>& GetParamValues() const { return m_aParamValues; }

 protected:
  // The first step of every Execute: log and show the description, if any.
  void LogDescription() const;
  // The name as the types' setters compare it: lower-cased, trimmed.
  static std::string ParamKey(const std::string& name);
  // "false" (any case) is 0, every other text 1.
  static int ParseFlag(const std::string& value);

  std::vector<std::string> m_aParamNames;
  std::string m_szDescription;
  std::vector<std::string> m_aParamValues;
  std::string m_szType;
};
