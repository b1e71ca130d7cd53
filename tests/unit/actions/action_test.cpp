#include "actions/action.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <cstdlib>

#include "actions/action_registry.h"
#include "support/recording_action.h"
#include "support/recording_main_window.h"
#include "support/temp_dir.h"

namespace {

using Strings = std::vector<std::string>;

// Sets an environment variable for one test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : m_szName(name) {
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() { unsetenv(m_szName.c_str()); }

 private:
  std::string m_szName;
};

// The first element of an XML text.
class Element {
 public:
  explicit Element(const std::string& xml) {
    m_doc.Parse(xml.c_str());
    EXPECT_FALSE(m_doc.Error()) << m_doc.ErrorDesc();
  }
  const TiXmlElement* get() const { return m_doc.FirstChildElement(); }

 private:
  TiXmlDocument m_doc;
};

// An action bound from an element, as the manifest loader does it.
std::unique_ptr<RecordingAction> Bound(const std::string& xml) {
  auto action = std::make_unique<RecordingAction>();
  Element element(xml);
  EXPECT_EQ(action->LoadFromElement(element.get()), 1);
  return action;
}

}  // namespace

// --- the parameter table -----------------------------------------------------

TEST(ActionTable, NewActionHoldsItsListWithDefaultsAndTypedFieldsFromThem) {
  RecordingAction action;
  EXPECT_EQ(action.GetType(), "record");
  EXPECT_EQ(action.GetParamNames(),
            (Strings{"description", "file", "cmd", "where", "from", "flag"}));
  EXPECT_EQ(action.GetParamValues(), (Strings{"", "", "", "", "", "true"}));
  // DefineParams goes through the type's own setter, in list order.
  EXPECT_EQ(action.m_aSetCalls,
            (Strings{"description=", "file=", "cmd=", "where=", "from=", "flag=true"}));
  EXPECT_EQ(action.m_nFlag, 1);
}

TEST(ActionTable, DefineParamsKeepsTheShorterListAndDiscardsTheOldTable) {
  Action action("plain");
  action.DefineParams(" a , b ,c", "1,2");
  EXPECT_EQ(action.GetParamNames(), (Strings{"a", "b"}));
  EXPECT_EQ(action.GetParamValues(), (Strings{"1", "2"}));

  action.DefineParams("x", "9,8,7");
  EXPECT_EQ(action.GetParamNames(), (Strings{"x"}));
  EXPECT_EQ(action.GetParamValues(), (Strings{"9"}));
}

TEST(ActionTable, NamesMatchIgnoringCaseAndNeverTwice) {
  Action action("plain");
  action.DefineParams("description,Path", ",old");
  EXPECT_EQ(action.SetParam("PATH", "new"), 1);
  EXPECT_EQ(action.GetParamNames(), (Strings{"description", "Path"}));
  EXPECT_EQ(action.GetParam("path"), "new");
  EXPECT_EQ(action.GetParam("missing"), "");

  // A name that is not in the table is added at its end, as written.
  action.SetParam("Extra", "e");
  EXPECT_EQ(action.GetParamNames(), (Strings{"description", "Path", "Extra"}));
  EXPECT_EQ(action.GetParamValues(), (Strings{"", "new", "e"}));
  EXPECT_EQ(action.GetParamNames().size(), action.GetParamValues().size());
}

TEST(ActionTable, TypeSetterTrimsAndLowerCasesItsKeyButTheTableDoesNot) {
  RecordingAction action;
  action.SetParam(" FILE\t", "x");
  EXPECT_EQ(action.m_szFile, "x");
  // The base compares the name as passed: " FILE\t" is a new entry.
  EXPECT_EQ(action.GetParamNames().back(), " FILE\t");
  EXPECT_EQ(action.GetParam("file"), "");

  action.SetParam("Flag", "FALSE");
  EXPECT_EQ(action.m_nFlag, 0);
  EXPECT_EQ(action.GetParam("flag"), "FALSE");
}

TEST(ActionTable, BaseActionDoesNothingOfItsOwn) {
  Action action("plain");
  EXPECT_EQ(action.Execute(), 1);
  EXPECT_EQ(action.Clone(), nullptr);
  EXPECT_TRUE(action.GetParamNames().empty());
}

TEST(ActionTable, ApplyParamsSetsEveryEntryAgainOverTheCountAtTheStart) {
  // A setter that adds an entry for every name it is given.
  class Growing : public Action {
   public:
    Growing() : Action("growing") { DefineParams("a,b", "1,2"); }
    int SetParam(const std::string& name, const std::string& value) override {
      m_aSeen.push_back(name);
      Action::SetParam(name, value);
      return Action::SetParam(name + "+", value);
    }
    Strings m_aSeen;
  };
  Growing action;
  ASSERT_EQ(action.GetParamNames(), (Strings{"a", "b", "a+", "b+"}));
  action.m_aSeen.clear();
  action.ApplyParams();
  // The entries added on the way ("a++", "b++") are not visited.
  EXPECT_EQ(action.m_aSeen, (Strings{"a", "b", "a+", "b+"}));
  EXPECT_EQ(action.GetParamNames(), (Strings{"a", "b", "a+", "b+", "a++", "b++"}));
}

// --- environment expansion -----------------------------------------------------

TEST(ActionEnvironment, TableGetsTheExpansionTypedFieldTheRawValue) {
  ScopedEnv env("VELMAR_ACTION_TEST_DIR", "/opt/velmar");
  RecordingAction action;
  action.SetParam("file", "%VELMAR_ACTION_TEST_DIR%/a %VELMAR_UNDEFINED_VARIABLE%");
  EXPECT_EQ(action.GetParam("file"), "/opt/velmar/a %VELMAR_UNDEFINED_VARIABLE%");
  EXPECT_EQ(action.m_szFile, "%VELMAR_ACTION_TEST_DIR%/a %VELMAR_UNDEFINED_VARIABLE%");
}

TEST(ActionEnvironment, ExpansionLongerThan260BytesKeepsTheValueUnexpanded) {
  ScopedEnv env("VELMAR_ACTION_TEST_LONG", std::string(250, 'x'));
  RecordingAction action;
  // 250 + 10 = 260 bytes: still fits with its terminating zero.
  action.SetParam("cmd", "%VELMAR_ACTION_TEST_LONG%0123456789");
  EXPECT_EQ(action.GetParam("cmd"), std::string(250, 'x') + "0123456789");
  // 261 bytes: too long, the table keeps the text as written.
  action.SetParam("cmd", "%VELMAR_ACTION_TEST_LONG%0123456789A");
  EXPECT_EQ(action.GetParam("cmd"), "%VELMAR_ACTION_TEST_LONG%0123456789A");
  EXPECT_EQ(action.m_szCmd, "%VELMAR_ACTION_TEST_LONG%0123456789A");
}

TEST(ActionEnvironment, DescriptionIsLoggedUnexpandedAndEmptyOneLogsNothing) {
  TempDir dir;
  dir.Enter();
  RecordingMainWindow window;
  ScopedEnv env("VELMAR_ACTION_TEST_NAME", "expanded");
  RecordingAction action;
  action.SetParam("description", "install %VELMAR_ACTION_TEST_NAME%");
  EXPECT_EQ(action.GetDescription(), "install %VELMAR_ACTION_TEST_NAME%");
  EXPECT_EQ(action.GetParam("description"), "install expanded");
  action.Execute();

  RecordingAction silent;
  silent.Execute();
  EXPECT_EQ(window.CallsOf("status:"), (Strings{"status:install %VELMAR_ACTION_TEST_NAME%"}));
  EXPECT_EQ(ReadFileBytes("updater.log"), "install %VELMAR_ACTION_TEST_NAME%\r\n");
}

// --- LoadFromElement -------------------------------------------------------------

TEST(ActionLoad, WithoutElementNothingChanges) {
  RecordingAction action;
  action.m_aSetCalls.clear();
  EXPECT_EQ(action.LoadFromElement(nullptr), 0);
  EXPECT_TRUE(action.m_aSetCalls.empty());
  EXPECT_EQ(action.GetParam("flag"), "true");
}

TEST(ActionLoad, EveryParameterIsSetAndAnAbsentAttributeGivesEmptyText) {
  auto action = Bound(R"(<action type="record" from="a" other="o" description="d &amp; e"/>)");
  EXPECT_EQ(action->GetParamValues(), (Strings{"d & e", "", "", "", "a", ""}));
  EXPECT_EQ(action->GetDescription(), "d & e");
  // "flag" was absent: the default is replaced by the empty text.
  EXPECT_EQ(action->GetParam("flag"), "");
  // Attributes outside the list are not read.
  EXPECT_EQ(action->GetParamNames().size(), 6u);
  EXPECT_EQ(action->GetParam("other"), "");
}

TEST(ActionLoad, DoubledBackslashesCollapseOnlyForFileCmdAndWhere) {
  auto action = Bound(R"(<action file="C:\\a\\b" cmd="\\\\srv\\x" where="a\\\b" from="C:\\a"/>)");
  EXPECT_EQ(action->m_szFile, "C:\\a\\b");
  EXPECT_EQ(action->m_szCmd, "\\\\srv\\x");  // four become two
  EXPECT_EQ(action->m_szWhere, "a\\\\b");    // three become two
  EXPECT_EQ(action->m_szFrom, "C:\\\\a");    // kept doubled
  EXPECT_EQ(action->GetParam("file"), "C:\\a\\b");
}

TEST(ActionLoad, AttributeNamesAreCaseSensitive) {
  auto both = Bound(R"(<action FILE="upper" file="lower" Cmd="c"/>)");
  EXPECT_EQ(both->m_szFile, "lower");
  EXPECT_EQ(both->m_szCmd, "");
  auto upperOnly = Bound(R"(<action FILE="upper"/>)");
  EXPECT_EQ(upperOnly->m_szFile, "");
}

// --- SubstituteThisFile ------------------------------------------------------------

TEST(ActionThisFile, ReplacedInEveryValueAndSetAgainThroughTheTypeSetter) {
  ScopedEnv env("VELMAR_ACTION_TEST_DIR", "/opt/velmar");
  auto action = Bound(
      R"(<action file="${this_file}" cmd="%VELMAR_ACTION_TEST_DIR%/run ${this_file} ${this_file}")"
      R"( where="${THIS_FILE}" from="%VELMAR_ACTION_TEST_DIR%"/>)");
  action->m_aSetCalls.clear();
  action->SubstituteThisFile("/dl/pkg.zip");
  EXPECT_EQ(action->m_szFile, "/dl/pkg.zip");
  // The typed field now gets the table's expanded text with the path.
  EXPECT_EQ(action->m_szCmd, "/opt/velmar/run /dl/pkg.zip /dl/pkg.zip");
  // The word in capitals stays, and unchanged values are not set again.
  EXPECT_EQ(action->m_szWhere, "${THIS_FILE}");
  EXPECT_EQ(action->m_szFrom, "%VELMAR_ACTION_TEST_DIR%");
  EXPECT_EQ(action->m_aSetCalls,
            (Strings{"file=/dl/pkg.zip", "cmd=/opt/velmar/run /dl/pkg.zip /dl/pkg.zip"}));
}

TEST(ActionThisFile, EmptyPathRemovesTheWord) {
  auto action = Bound(R"(<action file="x${this_file}y"/>)");
  action->SubstituteThisFile("");
  EXPECT_EQ(action->m_szFile, "xy");
}

// --- the registry ----------------------------------------------------------------

TEST(ActionRegistry, CreateActionTrimsAndLowerCasesTheTypeName) {
  ScopedRecordingTypes types({"record"});
  for (const char* name : {"record", " Record ", "\tRECORD\r\n"}) {
    std::unique_ptr<Action> action = CreateAction(name);
    ASSERT_NE(action, nullptr) << name;
    EXPECT_EQ(action->GetType(), "record");
    EXPECT_EQ(action->GetParam("flag"), "true");
  }
  EXPECT_EQ(CreateAction(""), nullptr);
  EXPECT_EQ(CreateAction("unknown"), nullptr);
  EXPECT_EQ(CreateAction("rec ord"), nullptr);
}

TEST(ActionRegistry, EveryActionIsAFreshCloneOfAnUntouchedPrototype) {
  ScopedRecordingTypes types({"record"});
  std::unique_ptr<Action> first = CreateAction("record");
  first->SetParam("flag", "false");
  first->SetParam("file", "f");
  std::unique_ptr<Action> second = CreateAction("record");
  EXPECT_EQ(second->GetParamValues(), (Strings{"", "", "", "", "", "true"}));
  EXPECT_EQ(static_cast<RecordingAction*>(second.get())->m_nFlag, 1);
}

TEST(ActionRegistry, ClearActionTypesForgetsEveryType) {
  ScopedRecordingTypes types({"record", "run"});
  ASSERT_NE(CreateAction("run"), nullptr);
  ClearActionTypes();
  EXPECT_EQ(CreateAction("run"), nullptr);
  EXPECT_EQ(CreateAction("record"), nullptr);
}
