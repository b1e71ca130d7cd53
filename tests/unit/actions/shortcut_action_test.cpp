#include "actions/shortcut_action.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <filesystem>

#include "actions/action_registry.h"
#include "actions/shortcut_manager.h"
#include "support/native_path.h"
#include "support/recording_main_window.h"
#include "support/shortcut_sandbox.h"

namespace {

namespace fs = std::filesystem;

struct Read {
  int32_t status = 0;
  std::string target, args, description, iconFile;
  int iconIndex = -99;
};

class ShortcutActionTest : public testing::Test {
 protected:
  void SetUp() override { RegisterActionTypes(); }
  void TearDown() override { ClearActionTypes(); }

  // Runs the action that a manifest element describes.
  int Run(const std::string& attributes) {
    TiXmlDocument doc;
    doc.Parse(("<action type=\"shortcut\" " + attributes + "/>").c_str());
    std::unique_ptr<Action> action = CreateAction("shortcut");
    if (!action || !action->LoadFromElement(doc.RootElement())) return -1;
    return action->Execute();
  }

  Read ReadBack(const std::string& name, int folder = 0) {
    Read r;
    ShortcutManager manager;
    r.status = manager.ReadShortcut(0, folder, name, r.target, r.args, r.description, r.iconFile,
                                    r.iconIndex);
    return r;
  }

  // A path in the sandbox, as targets and icons are named (none exists).
  std::string P(const char* relative) const { return m_box.m_dir.Sub(relative); }

  std::string Link(const std::string& name) const {
    return m_box.m_szDesktop + NativePath("/") + name + ".lnk";
  }

  // The existing shortcut that the update cases start from.
  void MakeExisting() {
    ASSERT_EQ(Run("name=\"App\" target=\"" + P("opt/old/acc") +
                  "\" arg=\"-old\" lnkdesc=\"Old description\" "
                  "iconfile=\"" +
                  P("opt/old/acc.ico") + "\" iconindex=\"2\""),
              1);
  }

  ShortcutSandbox m_box;
  RecordingMainWindow m_window;
};

TEST_F(ShortcutActionTest, ParametersAndTheirNotations) {
  std::unique_ptr<Action> fresh = CreateAction(" Shortcut ");
  ASSERT_TRUE(fresh);
  auto& action = static_cast<ShortcutAction&>(*fresh);
  EXPECT_EQ(action.GetParamNames(),
            (std::vector<std::string>{"cmd", "id", "name", "target", "arg", "lnkdesc", "iconfile",
                                      "iconindex", "newitems"}));
  EXPECT_EQ(action.GetParamValues(),
            (std::vector<std::string>{"create", "0", "", "", "", "", "", "1", ""}));
  EXPECT_EQ(action.m_szCmd, "create");
  EXPECT_EQ(action.m_nIconIndex, 1);

  for (const char* id : {"0x10", "0X10", "16", "  0x10", "16abc"}) {
    action.SetParam("id", "5");
    action.SetParam("id", id);
    EXPECT_EQ(action.m_nFolderId, 16) << id;
  }
  for (const char* noNumber : {"", "abc", "  ", "x10"}) {
    action.SetParam("id", "5");
    action.SetParam("ID", noNumber);
    EXPECT_EQ(action.m_nFolderId, 5) << "\"" << noNumber << "\" keeps the value";
  }
  action.SetParam("iconindex", "0xFFFFFFFF");
  EXPECT_EQ(action.m_nIconIndex, -1);
  action.SetParam("iconindex", "-3");
  EXPECT_EQ(action.m_nIconIndex, -3);
  action.SetParam("iconindex", "0x");
  EXPECT_EQ(action.m_nIconIndex, 0);

  action.SetParam("cmd", "  UpDate ");
  EXPECT_EQ(action.m_szCmd, "update");
  action.SetParam("cmd", " ");
  EXPECT_EQ(action.m_szCmd, "create");
  action.SetParam("newitems", " Target ,ARG ");
  EXPECT_EQ(action.m_szNewItems, "target,arg,");
  action.SetParam("name", " %HOME% ");
  EXPECT_EQ(action.m_szName, " %HOME% ") << "the name as passed, not expanded";

  // A manifest without "id" or "iconindex" sets the empty text: the defaults stay.
  EXPECT_EQ(Run("name=\"Defaults\""), 1);
  Read r = ReadBack("Defaults");
  EXPECT_EQ(r.target, m_box.m_szThisFile);
}

TEST_F(ShortcutActionTest, FolderIdNotationsNameTheSameFolder) {
  EXPECT_EQ(Run("id=\"0x1a\" name=\"Hex\" target=\"" + P("opt/acc") + "\""), 1);
  EXPECT_EQ(Run("id=\"0X1A\" name=\"HexUpper\" target=\"" + P("opt/acc") + "\""), 1);
  EXPECT_EQ(Run("id=\"26\" name=\"Decimal\" target=\"" + P("opt/acc") + "\""), 1);
  EXPECT_EQ(FolderNames(m_box.m_szConfig),
            (std::vector<std::string>{"Decimal.lnk", "Hex.lnk", "HexUpper.lnk"}));
  EXPECT_EQ(Run("id=\"desktop\" name=\"NoDigits\" target=\"" + P("opt/acc") + "\""), 1);
  EXPECT_EQ(FolderNames(m_box.m_szDesktop), (std::vector<std::string>{"NoDigits.lnk"}));
  for (const char* name : {"Hex", "HexUpper", "Decimal"}) {
    ExpectLnkinfoReads(m_box.m_szConfig + NativePath("/") + name + ".lnk", P("opt/acc"), "", "", "",
                       0);
  }
}

TEST_F(ShortcutActionTest, CreateLinksAnEmptyTargetToTheUpdaterAndSetsNoIconWithoutAFile) {
  EXPECT_EQ(
      Run("cmd=\"Create\" name=\"Velmar Updater\" lnkdesc=\"更新 Velmar Acc\" iconindex=\"4\""), 1);
  Read r = ReadBack("Velmar Updater");
  EXPECT_GE(r.status, 0);
  EXPECT_EQ(r.target, m_box.m_szThisFile);
  EXPECT_EQ(r.description, "更新 Velmar Acc");
  EXPECT_EQ(r.iconFile, "");
  EXPECT_EQ(r.iconIndex, 0);
  ExpectLnkinfoReads(Link("Velmar Updater"), m_box.m_szThisFile, "", "更新 Velmar Acc", "", 0);
  EXPECT_TRUE(m_window.m_aCalls.empty()) << "a shortcut action logs and shows nothing";
  EXPECT_FALSE(fs::exists("updater.log"));
}

TEST_F(ShortcutActionTest, CreateOverAnExistingShortcutReplacesIt) {
  MakeExisting();
  EXPECT_EQ(Run("name=\"App\" target=\"" + P("opt/new/acc") + "\""), 1);
  Read r = ReadBack("App");
  EXPECT_EQ(r.target, P("opt/new/acc"));
  EXPECT_EQ(r.args, "");
  EXPECT_EQ(r.description, "");
  EXPECT_EQ(r.iconFile, "");
  ExpectLnkinfoReads(Link("App"), P("opt/new/acc"), "", "", "", 0);
}

TEST_F(ShortcutActionTest, UpdateTakesOnlyTheNamedItemsFromTheAction) {
  MakeExisting();
  ExpectLnkinfoReads(Link("App"), P("opt/old/acc"), "-old", "Old description", P("opt/old/acc.ico"),
                     2);
  EXPECT_EQ(Run("cmd=\"update\" name=\"App\" target=\"" + P("opt/new/acc") +
                "\" arg=\"-auto\" "
                "lnkdesc=\"New\" iconfile=\"" +
                P("opt/new.ico") + "\" iconindex=\"9\" newitems=\"Target ,ARG\""),
            1);
  Read r = ReadBack("App");
  EXPECT_EQ(r.target, P("opt/new/acc"));
  EXPECT_EQ(r.args, "-auto");
  EXPECT_EQ(r.description, "Old description");
  EXPECT_EQ(r.iconFile, P("opt/old/acc.ico"));
  EXPECT_EQ(r.iconIndex, 2);
  ExpectLnkinfoReads(Link("App"), P("opt/new/acc"), "-auto", "Old description",
                     P("opt/old/acc.ico"), 2);

  EXPECT_EQ(Run("cmd=\"update\" name=\"App\" lnkdesc=\"\" iconindex=\"0x9\" "
                "newitems=\"lnkdesc,iconindex\""),
            1);
  r = ReadBack("App");
  EXPECT_EQ(r.description, "");
  EXPECT_EQ(r.iconIndex, 9);
  EXPECT_EQ(r.args, "-auto");
  ExpectLnkinfoReads(Link("App"), P("opt/new/acc"), "-auto", "", P("opt/old/acc.ico"), 9);
}

TEST_F(ShortcutActionTest, UpdateWithEmptyNewItemsRewritesTheShortcutWithItsOwnValues) {
  MakeExisting();
  Read before = ReadBack("App");
  EXPECT_EQ(Run("cmd=\"update\" name=\"App\" target=\"" + P("opt/other") + "\" arg=\"-other\""), 1);
  Read after = ReadBack("App");
  EXPECT_EQ(after.target, before.target);
  EXPECT_EQ(after.args, before.args);
  EXPECT_EQ(after.description, before.description);
  EXPECT_EQ(after.iconFile, before.iconFile);
  EXPECT_EQ(after.iconIndex, before.iconIndex);
  ExpectLnkinfoReads(Link("App"), P("opt/old/acc"), "-old", "Old description", P("opt/old/acc.ico"),
                     2);
}

TEST_F(ShortcutActionTest, UpdateOfAMissingOrUnreadableShortcutChangesNothing) {
  EXPECT_EQ(Run("cmd=\"update\" name=\"App\" target=\"" + P("opt/acc") + "\" newitems=\"target\""),
            0);
  EXPECT_TRUE(FolderNames(m_box.m_szDesktop).empty());
  fs::create_directories(m_box.m_szDesktop);
  WriteFileBytes(Link("Broken"), std::string("L\0\0\0", 4));
  EXPECT_EQ(
      Run("cmd=\"update\" name=\"Broken\" target=\"" + P("opt/acc") + "\" newitems=\"target\""), 0);
  EXPECT_EQ(ReadFileBytes(Link("Broken")), std::string("L\0\0\0", 4));
}

TEST_F(ShortcutActionTest, DeleteRemovesTheShortcutWithoutAsking) {
  MakeExisting();
  m_window.m_aCalls.clear();
  EXPECT_EQ(Run("cmd=\"delete\" name=\"App\""), 1);
  EXPECT_FALSE(fs::exists(Link("App")));
  EXPECT_TRUE(m_window.m_aCalls.empty()) << "no question, no message";
  EXPECT_FALSE(fs::exists(m_box.m_szData + NativePath("/Trash")));
  EXPECT_EQ(Run("cmd=\" DELETE \" name=\"App\""), 0) << "already gone: fails silently";
}

TEST_F(ShortcutActionTest, EmptyNameOrUnknownCommandDoesNothing) {
  for (const char* cmd : {"create", "update", "delete"}) {
    EXPECT_EQ(Run(std::string("cmd=\"") + cmd + "\" name=\"\" target=\"" + P("opt/acc") + "\""), 0)
        << cmd;
  }
  EXPECT_TRUE(FolderNames(m_box.m_szDesktop).empty());
  MakeExisting();
  EXPECT_EQ(Run("cmd=\"remove\" name=\"App\""), 0);
  EXPECT_EQ(Run("cmd=\"new\" name=\"Other\""), 0);
  EXPECT_EQ(FolderNames(m_box.m_szDesktop), (std::vector<std::string>{"App.lnk"}));
}

TEST_F(ShortcutActionTest, OnlyCreateTrimsBlanksAroundTheName) {
  EXPECT_EQ(Run("name=\"  App  \" target=\" " + P("opt/acc") + " \""), 1);
  EXPECT_EQ(FolderNames(m_box.m_szDesktop), (std::vector<std::string>{"App.lnk"}));
  EXPECT_EQ(ReadBack("App").target, P("opt/acc"));
  ExpectLnkinfoReads(Link("App"), P("opt/acc"), "", "", "", 0);
  // Update and delete look for "  App  .lnk", which is not there.
  EXPECT_EQ(
      Run("cmd=\"update\" name=\"  App  \" target=\"" + P("opt/new") + "\" newitems=\"target\""),
      0);
  EXPECT_EQ(ReadBack("App").target, P("opt/acc"));
  EXPECT_EQ(Run("cmd=\"delete\" name=\"  App  \""), 0);
  EXPECT_TRUE(fs::exists(Link("App")));
}

TEST_F(ShortcutActionTest, LnkinfoReadsEveryPropertyWeWrite) {
  if (!LnkinfoInstalled()) GTEST_SKIP() << "lnkinfo (liblnk-utils) is not installed";
  EXPECT_EQ(Run("id=\"0x10\" name=\"速度\" target=\"/opt/更新/acc\" arg=\"-auto &quot;a b&quot;\" "
                "lnkdesc=\"Velmar 说明\" iconfile=\"/opt/更新/acc.ico\" iconindex=\"0x3\""),
            1);
  std::map<std::string, std::string> fields;
  ASSERT_TRUE(RunLnkinfo(Link("速度"), &fields));
  EXPECT_EQ(fields["Local path"], "/opt/更新/acc");
  EXPECT_EQ(fields["Command line arguments"], "-auto \"a b\"");
  EXPECT_EQ(fields["Description"], "Velmar 说明");
  EXPECT_EQ(fields["Icon location"], "/opt/更新/acc.ico");
  EXPECT_EQ(fields["Icon index"], "3");
}

}  // namespace
