// The atomic run: every file before any action, the outcome of a failing
// action, and the attribute that asks for it.
#include "update/atomic_update.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include "actions/action_registry.h"
#include "actions/copy_action.h"
#include "actions/journal.h"
#include "actions/mkdir_action.h"
#include "actions/remove_action.h"
#include "env/texts.h"
#include "platform/in_use_retry.h"
#include "unit/update/run_fixture.h"
#include "update/update_run.h"

namespace {

using Strings = std::vector<std::string>;

const char kManifestUrl[] = "http://updates.test/update.xml";

// Two packages with files; the second's file is served only when asked.
std::string Manifest(const std::string& secondAction = "") {
  return "<updateinfo version='1.0.0.1' atomic='TRUE'>"
         "<package><description>first</description><url>http://h/a.zip</url>"
         "<actions><action type='run' cmd='one'/></actions></package>"
         "<package><description>second</description><url>http://h/b.zip</url>"
         "<actions><action type='run' cmd='two'/>" +
         secondAction + "</actions></package></updateinfo>";
}

Strings Status(const Strings& lines) {
  Strings out;
  for (const std::string& line : lines) out.push_back("status:" + line);
  return out;
}

}  // namespace

TEST(IsAtomicManifest, OnlyTrueInAnyCaseAsksForIt) {
  const std::pair<const char*, bool> cases[] = {
      {"<updateinfo atomic='true'/>", true},   {"<updateinfo atomic='TRUE'/>", true},
      {"<updateinfo atomic='tRuE'/>", true},   {"<updateinfo atomic='false'/>", false},
      {"<updateinfo atomic=' true'/>", false}, {"<updateinfo atomic='1'/>", false},
      {"<updateinfo atomic=''/>", false},      {"<updateinfo/>", false},
      {"<updateinfo Atomic='true'/>", false},
  };
  for (const auto& c : cases) {
    TiXmlDocument doc;
    doc.Parse(c.first);
    EXPECT_EQ(IsAtomicManifest(ManifestRoot(doc)), c.second) << c.first;
  }
}

class AtomicRunTest : public RunFixture {
 protected:
  AtomicRunTest() {
    RegisterActionType("mkdir", std::make_unique<MkdirAction>());
    RegisterActionType("copy", std::make_unique<CopyAction>());
  }
  void Run(const std::string& manifest) {
    m_internet.Serve(kManifestUrl, manifest);
    UpdateRun run;
    std::string text;
    run.RunUpdate(kManifestUrl, text);
  }
  Strings Shown() const {
    Strings out;
    for (const std::string& call : Seen()) {
      if (call.compare(0, 7, "status:") == 0) out.push_back(call);
    }
    return out;
  }
};

TEST_F(AtomicRunTest, EveryFileComesBeforeAnyAction) {
  m_internet.Serve("http://h/a.zip", "a");
  m_internet.Serve("http://h/b.zip", "b");
  Run(Manifest());
  EXPECT_EQ(Shown(),
            Status({"检查更新信息", "分析更新信息", "开始更新", "first", "下载文件: http://h/a.zip",
                    "second", "下载文件: http://h/b.zip", "更新完毕"}));
  EXPECT_EQ(RecordingAction::Journal().size(), 2u);
  EXPECT_EQ(GetInstalledVersion(), "1.0.0.1");
  EXPECT_FALSE(std::filesystem::exists(RollbackPathOf(g_szAppPath)));
}

TEST_F(AtomicRunTest, AFileThatCannotBeHadRunsNoActionOfAnyPackage) {
  m_internet.Serve("http://h/a.zip", "a");
  Run(Manifest());
  Strings shown = Shown();
  ASSERT_GE(shown.size(), 2u);
  EXPECT_EQ(Strings(shown.end() - 2, shown.end()),
            Status({texts::kCannotDownload, texts::kUpdateIncomplete}));
  EXPECT_TRUE(RecordingAction::Journal().empty());
  EXPECT_EQ(GetInstalledVersion(), "1.0.0.0");
}

TEST_F(AtomicRunTest, AFailingActionEndsTheActionsAndPutsEverythingBack) {
  m_internet.Serve("http://h/a.zip", "a");
  m_internet.Serve("http://h/b.zip", "b");
  std::string made = g_szAppPath + "/made";
  // The folder is made under the journal, then the copy of a missing file
  // fails, and the action after it never runs.
  Run(Manifest("<action type='mkdir' dir='" + made + "'/><action type='copy' from='" + g_szAppPath +
               "/absent' to='" + made + "'/><action type='run' cmd='three'/>"));
  EXPECT_EQ(Shown().back(), "status:" + std::string(texts::kUpdateRolledBack));
  EXPECT_EQ(RecordingAction::Journal().size(), 2u);
  EXPECT_FALSE(std::filesystem::exists(made));
  EXPECT_FALSE(std::filesystem::exists(RollbackPathOf(g_szAppPath)));
  EXPECT_EQ(GetInstalledVersion(), "1.0.0.0");
}

// Windows refuses to rename a folder that holds a file another program has
// open; Wine lets it pass, so the refusal comes from a file system that
// answers 32 for the folder's first moves. The journal's move aside of a
// tree to be removed waits like any move: a folder let go in time is removed,
// one held for good fails the removal after 10 s and the update is put back.
TEST_F(AtomicRunTest, ATreeHeldForAMomentIsMovedAsideOnceItIsLetGo) {
  static int s_nPauses = 0;
  platform::InUsePause oldPause = platform::SetInUsePause([](uint32_t) { ++s_nPauses; });
  RegisterActionType("remove", std::make_unique<RemoveAction>());
  m_internet.Serve("http://h/a.zip", "a");
  m_internet.Serve("http://h/b.zip", "b");
  const std::string tree = g_szAppPath + "/cache";
  for (int held : {3, -1}) {
    std::filesystem::create_directories(tree + "/sub");
    ASSERT_TRUE(WriteFileBytes(tree + "/sub/x", "x"));
    struct HeldTree : platform::FsWrapper {
      HeldTree(const std::string& tree, int held)
          : FsWrapper(platform::DefaultFs()), m_szTree(tree), m_nHeld(held) {}
      platform::Error MoveFile(const std::string& f, const std::string& t) override {
        if (f == m_szTree && m_nHeld != 0) {
          if (m_nHeld > 0) --m_nHeld;
          return platform::kErrorSharingViolation;
        }
        return FsWrapper::MoveFile(f, t);
      }
      std::string m_szTree;
      int m_nHeld;
    } busy(tree, held);
    platform::InUseRetryFs retrying(&busy, true);
    platform::ScopedService<platform::Fs> guard(&platform::Env::SetFs, &retrying);
    s_nPauses = 0;
    Run(Manifest("<action type='remove' path='" + tree + "'/>"));
    EXPECT_EQ(Shown().back(), "status:" + std::string(held > 0 ? texts::kUpdateFinished
                                                               : texts::kUpdateRolledBack));
    EXPECT_EQ(std::filesystem::exists(tree + "/sub/x"), held < 0) << held;
    EXPECT_EQ(s_nPauses, held > 0 ? held : 14) << held;
  }
  platform::SetInUsePause(oldPause);
}
