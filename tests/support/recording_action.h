// An action type known only to the tests. It follows the pattern of the real
// types (typed fields filled by an overriding SetParam, Clone, Execute that
// logs its description first) and writes one line per Execute into a journal,
// so tests can see when actions run and with which values.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "actions/action.h"

class RecordingAction : public Action {
 public:
  static constexpr char kParams[] = "description,file,cmd,where,from,flag";
  static constexpr char kDefaults[] = ",,,,,true";

  explicit RecordingAction(const std::string& type = "record");

  void InitDefaults() override;
  int SetParam(const std::string& name, const std::string& value) override;
  // Logs the description, then appends "<type> file=<m_szFile> cmd=<m_szCmd>
  // where=<m_szWhere> from=<m_szFrom> flag=<m_nFlag>", followed by " exists"
  // when m_szFile names something that exists, to the journal.
  int Execute() override;
  std::unique_ptr<Action> Clone() const override;

  // Calls of SetParam that reached this type's setter, as "name=value".
  std::vector<std::string> m_aSetCalls;

  std::string m_szFile;
  std::string m_szCmd;
  std::string m_szWhere;
  std::string m_szFrom;
  int m_nFlag = 0;

  // Every Execute of every RecordingAction, in order.
  static std::vector<std::string>& Journal();
};

// Registers RecordingAction under the given type names for the life of the
// object, clearing the registry before and after.
class ScopedRecordingTypes {
 public:
  explicit ScopedRecordingTypes(const std::vector<std::string>& types);
  ~ScopedRecordingTypes();
};
