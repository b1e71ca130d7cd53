// The plan: what a client at an installed version would do, with every action's
// parameters as the updater binds them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "actions/action_registry.h"
#include "env/config.h"
#include "env/texts.h"
#include "platform/env.h"
#include "support/scoped_config.h"
#include "support/temp_dir.h"
#include "updater-manifest/plan.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct PlannedAction {
  std::string szType;
  int nLine = 0;
  std::map<std::string, std::string> params;
  std::map<std::string, bool> absent;
};

struct Plan {
  bool bUsable = false;
  std::string szText;
  std::vector<PlannedAction> actions;
};

Plan MakePlan(const std::string& manifest, const std::string& installed,
              const std::string& appPath = "/opt/velmar") {
  std::ostringstream out;
  Plan plan;
  plan.bUsable = PlanManifest(manifest, installed, appPath, out);
  plan.szText = out.str();
  static const std::regex head(R"re(^ +\d+\. (\w+) \(line (\d+)\)$)re");
  static const std::regex param(R"re(^ +(\w+) += "(.*)"( \(attribute absent\))?$)re");
  std::istringstream lines(plan.szText);
  std::string line;
  std::smatch m;
  while (std::getline(lines, line)) {
    if (std::regex_match(line, m, head)) {
      plan.actions.push_back({m[1], std::stoi(m[2]), {}, {}});
    } else if (!plan.actions.empty() && std::regex_match(line, m, param)) {
      plan.actions.back().params[m[1]] = m[2];
      plan.actions.back().absent[m[1]] = m[3].matched;
    }
  }
  return plan;
}

std::string Example() {
  return ReadFileBytes(std::string(UPDATER_TEST_SOURCE_DIR) + "/../docs/example-manifest.xml");
}

TEST(ManifestPlan, ShowsTheBoundParametersOfEachOfTheNineTypes) {
  Plan plan = MakePlan(Example(), "2.0.0.0");
  ASSERT_TRUE(plan.bUsable) << plan.szText;
  EXPECT_THAT(plan.szText, HasSubstr("newer: the update runs 2 packages, then records 2.1.0.0"));
  EXPECT_THAT(plan.szText, HasSubstr("saved as: /opt/velmar/download/acc-2.1.0.0.zip"));
  EXPECT_THAT(plan.szText, HasSubstr("md5: 9e107d9d372bb6826bd81d3542a419d6"));
  EXPECT_THAT(
      plan.szText,
      HasSubstr("sha256: 5ae28399dee7040d66c7993ec6972abf1ca69cdfde2755508c8b17032e3a0910"));
  ASSERT_EQ(plan.actions.size(), 11u) << plan.szText;

  std::map<std::string, std::map<std::string, std::string>> first;
  for (const PlannedAction& a : plan.actions) first.emplace(a.szType, a.params);
  ASSERT_EQ(first.size(), 9u);

  using Params = std::map<std::string, std::string>;
  EXPECT_EQ(first["sendmessage"], (Params{{"description", "Closing Velmar Acc"},
                                          {"classname", "VelmarAcc"},
                                          {"title", "Velmar Acc"},
                                          {"message", "WM_CLOSE"},
                                          {"wparam", ""},
                                          {"lparam", ""}}));
  EXPECT_EQ(first["unzip"], (Params{{"description", "Unpacking the program files"},
                                    {"file", "${this_file}"},
                                    {"where", "/opt/velmar"}}));
  EXPECT_EQ(first["mkdir"],
            (Params{{"description", "Making the reports folder"}, {"dir", "/opt/velmar/reports"}}));
  EXPECT_EQ(first["remove"],
            (Params{{"description", "Removing the old help"}, {"path", "/opt/velmar/help-2.0"}}));
  EXPECT_EQ(first["copy"], (Params{{"description", "Keeping the user's settings"},
                                   {"from", "/opt/velmar/settings.ini"},
                                   {"to", "/opt/velmar/settings-2.0.ini"},
                                   {"move", "false"},
                                   {"overwrite", "false"}}));
  EXPECT_EQ(first["registry"], (Params{{"description", "Recording the help folder"},
                                       {"key", "HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMAR\\Velmar Acc"},
                                       {"valuetype", "STRING"},
                                       {"valuename", "helpdir"},
                                       {"value", "/opt/velmar/help"},
                                       {"startpos", ""}}));
  EXPECT_EQ(first["shortcut"], (Params{{"cmd", "update"},
                                       {"id", "0"},
                                       {"name", "Velmar Acc"},
                                       {"target", "/opt/velmar/acc"},
                                       {"arg", ""},
                                       {"lnkdesc", ""},
                                       {"iconfile", ""},
                                       {"iconindex", ""},
                                       {"newitems", "target"}}));
  EXPECT_EQ(first["run"], (Params{{"description", "Converting the data files"},
                                  {"cmd", "/opt/velmar/accconv"},
                                  {"args", "--quiet"},
                                  {"async", "false"}}));
  EXPECT_EQ(first["open"],
            (Params{{"description", ""}, {"file", "/opt/velmar/whatsnew.txt"}, {"async", "true"}}));
  // Lines and order of the document; absent attributes marked.
  EXPECT_EQ(plan.actions[0].szType, "sendmessage");
  EXPECT_EQ(plan.actions[0].nLine, 13);
  EXPECT_TRUE(plan.actions[0].absent["wparam"]);
  EXPECT_FALSE(plan.actions[0].absent["message"]);
  EXPECT_EQ(plan.actions[10].szType, "open");
}

TEST(ManifestPlan, BindsBackslashesAndEnvironmentReferencesAsTheUpdaterDoes) {
  std::string manifest =
      "<updateinfo version=\"1.0.0.1\"><package><actions>\n"
      "<action type=\"run\" cmd=\"C:\\\\Tools\\\\x.exe\" args=\"a\\\\b %PATH%\"/>\n"
      "<action type=\"nosuch\"/>\n"
      "<action type=\"copy\" from=\"E:\\\\y\" to=\"${win_path}|${sys32_path}\"/>\n"
      "<action type=\"unzip\" where=\"D:\\\\\\\\x\"/>\n"
      "</actions></package></updateinfo>";
  Plan plan = MakePlan(manifest, "1.0.0.0", "");
  ASSERT_EQ(plan.actions.size(), 3u) << plan.szText;
  // Doubled backslashes become one in "cmd", "file" and "where" only; the
  // client's environment is the client's, so references stay as written.
  EXPECT_EQ(plan.actions[0].params["cmd"], "C:\\Tools\\x.exe");
  EXPECT_EQ(plan.actions[0].params["args"], "a\\\\b %PATH%");
  EXPECT_THAT(plan.szText, HasSubstr("2. (line 3) type \"nosuch\" is not registered: passed over"));
  EXPECT_EQ(plan.actions[1].szType, "copy");
  EXPECT_EQ(plan.actions[1].params["from"], "E:\\\\y");
  platform::SystemPaths& paths = platform::Env::Get().paths();
  EXPECT_EQ(plan.actions[1].params["to"], paths.WindowsDirectory() + "|" + paths.SystemDirectory());
  EXPECT_EQ(plan.actions[2].params["where"], "D:\\\\x");
  // Without an installation folder its variable stays.
  EXPECT_THAT(plan.szText, Not(HasSubstr("saved as")));
}

TEST(ManifestPlan, AManifestThatIsNotNewerOrNotUsableInstallsNothing) {
  Plan same = MakePlan(Example(), "2.1.0.0");
  EXPECT_TRUE(same.bUsable);
  EXPECT_THAT(same.szText, HasSubstr("not newer"));
  EXPECT_THAT(same.szText, HasSubstr(texts::kAlreadyLatest));
  EXPECT_TRUE(same.actions.empty());

  Plan newer = MakePlan(Example(), "10.0.0.0");
  EXPECT_THAT(newer.szText, HasSubstr("not newer"));

  Plan broken = MakePlan("<updateinfo version=\"2.0.0.0\">\n<package>\n</updateinfo>", "1.0.0.0");
  EXPECT_FALSE(broken.bUsable);
  EXPECT_THAT(broken.szText, HasSubstr("Error in (Row: 3"));
  EXPECT_THAT(broken.szText, HasSubstr(texts::kUpdateInfoWrong));

  Plan empty = MakePlan("<updateinfo version=\"2.0.0.0\"/>", "1.0.0.0");
  EXPECT_THAT(empty.szText, HasSubstr("without packages"));
}

TEST(ManifestPlan, LeavesTheProcessAsItFoundIt) {
  ScopedConfig config;
  TempDir dir;
  dir.Enter();
  g_szAppPath = "/keep/app";
  g_szVersion = "1.1.1.1";
  ClearActionTypes();
  MakePlan(Example(), "2.0.0.0");
  EXPECT_EQ(g_szAppPath, "/keep/app");
  EXPECT_EQ(g_szVersion, "1.1.1.1");
  EXPECT_TRUE(RegisteredActionTypes().empty());
  EXPECT_EQ(std::filesystem::current_path().string(), dir.path());
  // What the updater logged went to the scratch folder, not here.
  EXPECT_FALSE(std::filesystem::exists(dir.Sub("updater.log")));
}

}  // namespace
