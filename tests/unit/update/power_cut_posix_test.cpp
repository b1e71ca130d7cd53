// A power cut at every moment of an update: after the next start every file
// holds its old or its new bytes, and an atomic update is wholly old or
// wholly new, with the version to match.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "actions/action_registry.h"
#include "actions/copy_action.h"
#include "actions/mkdir_action.h"
#include "actions/registry_action.h"
#include "actions/registry_tree.h"
#include "actions/remove_action.h"
#include "actions/shortcut_action.h"
#include "actions/unzip_action.h"
#include "support/power_cut_fs_posix.h"
#include "support/shortcut_sandbox.h"
#include "support/zip_builder.h"
#include "unit/update/run_fixture.h"
#include "update/atomic_update.h"
#include "update/update_run.h"

namespace fs = std::filesystem;

namespace {

using Tree = std::map<std::string, std::string>;
const PowerCutFs::Loss kLosses[] = {PowerCutFs::Loss::kUnflushed, PowerCutFs::Loss::kBytes};

Tree Files(const std::string& root) {
  Tree tree;
  if (!fs::exists(root)) return tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    std::string rel = fs::relative(it->path(), root).generic_string();
    if (rel == "rollback" || rel == "download") {
      it.disable_recursion_pending();
      continue;
    }
    tree[rel] = it->is_directory() ? "<dir>" : ReadFileBytes(it->path().string());
  }
  return tree;
}

void Write(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  ASSERT_TRUE(WriteFileBytes(path, bytes));
}

}  // namespace

TEST(PowerCut, APlainUnzipLeavesEveryFileOldOrNew) {
  TempDir dir;
  dir.Enter();
  std::string data = dir.Sub("data");
  std::string archive = dir.Sub("p.zip");
  ZipBuilder()
      .File("a.txt", "new a")
      .File("b.txt", std::string(70000, 'b'))
      .File("c.txt", "new c")
      .File("sub/d.txt", "new d")
      .Write(archive);
  const Tree old = {{"a.txt", "old a"}, {"b.txt", "old b"}};
  auto prepare = [&] {
    fs::remove_all(data);
    for (const auto& [name, bytes] : old) Write(data + "/" + name, bytes);
  };
  auto unzip = [&] {
    UnzipAction action;
    action.SetParam("file", archive);
    action.SetParam("where", data);
    return action.Execute();
  };
  prepare();
  int moments = 0;
  {
    PowerCutFs count(data, -1);
    ASSERT_TRUE(unzip());
    moments = count.Moments();
  }
  const Tree fresh = Files(data);
  ASSERT_GT(moments, 10);
  for (int k = 0; k < moments; ++k) {
    for (PowerCutFs::Loss loss : kLosses) {
      SCOPED_TRACE("moment " + std::to_string(k) + ", loss " + std::to_string(int(loss)));
      prepare();
      {
        PowerCutFs cut(data, k);
        unzip();
        cut.Cut(loss);
      }
      for (const auto& [name, bytes] : Files(data)) {
        if (bytes == "<dir>" || name.find(".~vu") != std::string::npos) continue;
        auto was = old.find(name);
        EXPECT_TRUE((was != old.end() && bytes == was->second) || bytes == fresh.at(name)) << name;
      }
    }
  }
}

class PowerCutRunTest : public RunFixture {
 protected:
  PowerCutRunTest() {
    RegisterActionType("unzip", std::make_unique<UnzipAction>());
    RegisterActionType("copy", std::make_unique<CopyAction>());
    RegisterActionType("mkdir", std::make_unique<MkdirAction>());
    RegisterActionType("remove", std::make_unique<RemoveAction>());
    RegisterActionType("registry", std::make_unique<RegistryAction>());
    RegisterActionType("shortcut", std::make_unique<ShortcutAction>());
    std::string zip = m_dir.Sub("files.zip");
    ZipBuilder().File("a.txt", "new a").File("new.txt", "new file").File("d/c.txt", "c").Write(zip);
    m_internet.Serve("http://h/files.zip", ReadFileBytes(zip));
    m_internet.Serve(kUrl, Manifest());
  }

  static std::string Manifest() {
    const char* actions[] = {
        "<action type='unzip' file='${this_file}' where='${app_path}/data'/>",
        "<action type='copy' from='${app_path}/data/new.txt' to='${app_path}/conf.ini' "
        "move='false'/>",
        "<action type='copy' from='${app_path}/old.bin' to='${app_path}/moved.bin'/>",
        "<action type='mkdir' dir='${app_path}/logs/2026'/>",
        "<action type='remove' path='${app_path}/junk.txt'/>",
        "<action type='remove' path='${app_path}/cache'/>",
        "</actions></package><package><actions>",
        "<action type='registry' key='HKLM\\Software\\Velmar Test' valuename='Name' value='new'/>",
        "<action type='registry' key='HKLM\\Software\\Velmar Test\\Made' valuetype='DWORD' "
        "valuename='Count' value='7'/>",
        "<action type='registry' key='HKLM\\Software\\Velmar Test' valuename='-Gone'/>",
        "<action type='registry' key='-HKCU\\Software\\Velmar Test\\Sub'/>",
        "<action type='shortcut' cmd='create' name='Fresh' target='${app_path}/bin/app'/>",
        "<action type='shortcut' cmd='delete' name='Old'/>",
    };
    std::string text =
        "<updateinfo version='1.1.0.0' atomic='true'><package><url>http://h/files.zip</url>"
        "<actions>";
    for (const char* action : actions) text += action;
    return text + "</actions></package></updateinfo>";
  }

  void Prepare() {
    fs::remove_all(g_szAppPath);
    fs::remove_all(m_shell.m_szDesktop);
    fs::create_directories(g_szDownloadPath);
    fs::create_directories(m_shell.m_szDesktop);
    for (const auto& [name, bytes] : Tree{{"data/a.txt", "old a"},
                                          {"data/keep.txt", "kept"},
                                          {"conf.ini", "old conf"},
                                          {"old.bin", "to move"},
                                          {"junk.txt", "junk"},
                                          {"cache/x", "x"},
                                          {"cache/s/y", "y"}}) {
      Write(JoinPath(g_szAppPath, name), bytes);
    }
    Write(JoinPath(m_shell.m_szDesktop, "Old.lnk"), "an old link");
    RegistryKey key;
    key.SetRootKey(platform::kHkeyCurrentUser);
    key.DeleteKey("Software\\Velmar Test");
    key.SetRootKey(platform::kHkeyLocalMachine);
    key.DeleteKey("Software\\Velmar Test");
    key.SetSubKey("Software\\Velmar Test");
    for (const char* name : {"Name", "Gone"}) {
      key.SetValueName(name);
      key.WriteString("old");
    }
    key.SetRootKey(platform::kHkeyCurrentUser);
    key.SetSubKey("Software\\Velmar Test\\Sub\\Inner");
    key.SetValueName("One");
    key.WriteDWORD(1);
    SetInstalledVersion("1.0.0.0");
    g_szVersion = "1.0.0.0";
  }

  // Everything the update changes, and the version recorded.
  Tree State() {
    Tree state = Files(g_szAppPath);
    for (const auto& [name, bytes] : Files(m_shell.m_szDesktop)) state["desktop/" + name] = bytes;
    struct Value {
      platform::RootKey root;
      const char* key;
      const char* name;
    };
    for (const Value& v :
         {Value{platform::kHkeyLocalMachine, "Software\\Velmar Test", "Name"},
          Value{platform::kHkeyLocalMachine, "Software\\Velmar Test", "Gone"},
          Value{platform::kHkeyLocalMachine, "Software\\Velmar Test\\Made", "Count"},
          Value{platform::kHkeyCurrentUser, "Software\\Velmar Test\\Sub\\Inner", "One"}}) {
      RegistryValue value;
      EXPECT_TRUE(QueryRegistryValue(v.root, v.key, v.name, &value));
      if (value.exists) state[std::string(v.key) + "/" + v.name] = value.data;
    }
    state["version"] = GetInstalledVersion();
    return state;
  }

  void Run() {
    UpdateRun run;
    std::string text;
    run.RunUpdate(kUrl, text);
  }

  static constexpr char kUrl[] = "http://h/update.xml";
  ShortcutSandbox m_shell;
};

TEST_F(PowerCutRunTest, AnAtomicUpdateIsWhollyOldOrWhollyNewAfterTheNextStart) {
  Prepare();
  const Tree old = State();
  int moments = 0;
  {
    PowerCutFs count(g_szAppPath, -1);
    Run();
    moments = count.Moments();
  }
  const Tree fresh = State();
  ASSERT_EQ(fresh.at("version"), "1.1.0.0");
  ASSERT_NE(fresh, old);
  // A kill too, at every moment: between the last change and the commit
  // among them.
  for (int k = 0; k < moments; ++k) {
    for (PowerCutFs::Loss loss : {kLosses[0], kLosses[1], PowerCutFs::Loss::kNothing}) {
      SCOPED_TRACE("moment " + std::to_string(k) + ", loss " + std::to_string(int(loss)));
      Prepare();
      {
        PowerCutFs cut(g_szAppPath, k);
        Run();
        cut.Cut(loss);
      }
      // The next start: its configuration, then the journal's undo.
      g_szVersion = GetInstalledVersion();
      ASSERT_TRUE(RecoverUnfinishedUpdate());
      Tree now = State();
      EXPECT_TRUE(now == old || now == fresh) << "moment " << k;
    }
  }
}
