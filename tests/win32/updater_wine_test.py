#!/usr/bin/env python3
"""updater.exe under Wine, as a user on Windows starts it.

  updater_wine_test.py CASE --wine WINE --updater EXE --probe EXE --test-window EXE --work DIR

Cases:
  not_installed   no product key in the 32-bit registry view (one in the 64-bit
                  view only is not the product's): only the "Please install"
                  box, then the end
  auto_run        "-auto" against nginx, the product key written as its 32-bit
                  installer writes it: the posted click runs the whole update,
                  the dialog stays open with both buttons enabled, a file copied
                  from "${sys32_path}" comes from SysWOW64; a screenshot
                  of it is kept in DIR/win32-dialog-auto.png
  gbk_actions     one manifest with every action type on an installation whose
                  folder name holds GBK characters with the trail byte 0x5C,
                  checked from outside: files, registry, shortcuts, the window
                  closed, the log line by line
  atomic_rolled_back  an atomic update whose last program fails: files and
                  registry as before, the version not recorded
  atomic_killed   the same, ended during that program: the next start puts
                  everything back

updater.exe is a 32-bit program: the keys of the product live in the 32-bit
registry view (Wow6432Node), which reg.exe reaches with /reg:32.

The environment names the Wine prefix (WINEPREFIX), the display (DISPLAY) and
the servers' folder (UPDATER_SERVERS_DIR). Texts on the Windows side are GBK.
"""
import argparse
import getpass
import hashlib
import io
import os
import pathlib
import shutil
import subprocess
import sys
import time
import zipfile

PRODUCT_KEY = r"HKLM\SOFTWARE\VELMAR\Velmar Acc"
UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\VELMAR ACC"


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


class Wine:
    def __init__(self, args):
        self.wine = args.wine
        self.updater = args.updater
        self.probe = args.probe
        self.test_window = args.test_window

    def run(self, *argv, cwd=None, check=True, timeout=60):
        result = subprocess.run([self.wine, *argv], cwd=cwd, capture_output=True,
                                timeout=timeout)
        if check and result.returncode != 0:
            raise AssertionError(f"{argv} exited with {result.returncode}: "
                                 f"{result.stdout!r} {result.stderr!r}")
        return result

    def reg(self, *argv, check=True, view="/reg:32"):
        return self.run("reg", *argv, view, check=check)

    def reg_value(self, key, name, view="/reg:32"):
        out = self.reg("query", key, "/v", name, check=False, view=view).stdout
        for line in out.decode("gbk", "replace").splitlines():
            parts = line.split(None, 2)
            if len(parts) >= 2 and parts[0].lower() == name.lower():
                return parts[1], parts[2].strip() if len(parts) == 3 else ""
        return None

    def key_exists(self, key):
        return self.reg("query", key, check=False).returncode == 0

    def probe_file(self, command, work):
        out = pathlib.Path(work) / "probe.txt"
        out.unlink(missing_ok=True)
        if self.run(self.probe, command, windows_path(out), check=False).returncode != 0:
            return None
        fields = {}
        for line in out.read_bytes().decode("gbk").splitlines():
            key, _, value = line.partition("=")
            fields[key] = value
        return fields


def wait_for(what, seconds, step=0.5):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = what()
        if value:
            return value
        time.sleep(step)
    return what()


def wine_drive_c():
    return pathlib.Path(os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine"))) / "drive_c"


def nginx_folder(name):
    """A folder of this test below nginx's document root, and its URL."""
    servers = pathlib.Path(os.environ["UPDATER_SERVERS_DIR"])
    port = (servers / "nginx.port").read_text().strip()
    tag = f"{name}-{os.getpid()}"
    www = pathlib.Path((servers / "nginx.root").read_text().strip()) / tag
    return www, f"http://127.0.0.1:{port}/{tag}"


def clear_keys(wine):
    for key in (r"HKLM\SOFTWARE\VELMAR", UNINSTALL_KEY):
        for view in ("/reg:32", "/reg:64"):
            wine.reg("delete", key, "/f", check=False, view=view)


def screenshot(path):
    ids = subprocess.run(["xwininfo", "-name", "Velmar Updater"], capture_output=True, text=True)
    window = next((line.split()[3] for line in ids.stdout.splitlines()
                   if line.startswith("xwininfo: Window id:")), None)
    if window is None:
        raise AssertionError("the dialog has no X window to photograph")
    subprocess.run(["import", "-window", window, str(path)], check=True)


def case_not_installed(wine, work):
    clear_keys(wine)
    # A 64-bit program's key: not the view the product's installer writes.
    wine.reg("add", PRODUCT_KEY, "/ve", "/d", windows_path(work), "/f", view="/reg:64")
    process = subprocess.Popen([wine.wine, wine.updater], cwd=work,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        box = wait_for(lambda: wine.probe_file("box", work), 30)
        assert box, "no message box appeared"
        assert box["text"] == "Please install Velmar Acc first.", box
        assert process.wait(timeout=30) == 0
        assert not (pathlib.Path(work) / "updater.log").exists(), "nothing is logged"
    finally:
        if process.poll() is None:
            process.kill()


def case_auto_run(wine, work):
    www, base = nginx_folder("wine-auto")
    app = pathlib.Path(work) / "Velmar Acc"
    app.mkdir(parents=True)

    core = os.urandom(200 * 1024 + 3)
    readme = "Velmar Acc 1.2.0.5 更新说明\r\n".encode("gbk")
    (www / "1.0.0.0").mkdir(parents=True)
    (www / "files").mkdir()
    (www / "files" / "core.dat").write_bytes(core)
    (www / "files" / "readme.txt").write_bytes(readme)
    manifest = f"""<?xml version="1.0" encoding="GBK"?>
<updateinfo version="1.2.0.5">
  <package name="core">
    <description>更新主程序</description>
    <url>{base}/files/core.dat</url>
    <md5>{hashlib.md5(core).hexdigest().upper()}</md5>
    <pre-actions><action type="mkdir" description="建立目录" dir="${{app_path}}\\bin"/></pre-actions>
    <actions><action type="copy" from="${{this_file}}" to="${{app_path}}\\bin" move="false"/></actions>
  </package>
  <package name="readme">
    <url>{base}/files/readme.txt</url>
    <md5>{hashlib.md5(readme).hexdigest()}</md5>
    <actions>
      <action type="copy" from="${{this_file}}" to="${{app_path}}\\readme.txt"/>
      <action type="copy" from="${{sys32_path}}\\kernel32.dll" to="${{app_path}}\\kernel32.dll"
              move="false"/>
    </actions>
  </package>
</updateinfo>
"""
    (www / "1.0.0.0" / "update.xml").write_bytes(manifest.encode("gbk"))

    clear_keys(wine)
    wine.reg("add", PRODUCT_KEY, "/ve", "/d", windows_path(app), "/f")
    wine.reg("add", PRODUCT_KEY, "/v", "updateurl", "/d", base + "/%s/update.xml", "/f")
    wine.reg("add", PRODUCT_KEY, "/v", "cert", "/t", "REG_BINARY", "/d", "000000105AA5", "/f")

    process = subprocess.Popen([wine.wine, wine.updater, "-AUTO"], cwd=work,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        log = pathlib.Path(work) / "updater.log"

        def finished():
            if not log.exists() or "结束时间".encode("gbk") not in log.read_bytes():
                return None
            state = wine.probe_file("state", work)
            return state if state and state["update"] == "1" else None

        state = wait_for(finished, 90)
        assert state, f"the run did not finish: {log.read_bytes() if log.exists() else b''!r}"
        screenshot(pathlib.Path(work).parent / "win32-dialog-auto.png")

        assert state["current"] == "当前版本号：1.0.0.0", state
        assert state["latest"] == "最新版本号：1.2.0.5", state
        assert state["status"] == "更新完毕", state
        assert state["close"] == "1", state
        # Centred on the screen as it opened; "&" in a status or version text
        # shows as it is.
        assert state["centred"] == "1", state
        assert state["noprefix"] == "1", state
        # Two packages, each counted once downloaded and once carried out.
        assert state["total"] == "4/4", state
        assert state["file"] == f"{len(readme)}/{len(readme)}", state

        text = log.read_bytes()
        assert text.endswith(b"\r\n"), "log lines end in CR LF"
        for line in ("检查更新信息", "分析更新信息", "开始更新", "文件校验正确", "建立目录", "更新完毕"):
            assert line.encode("gbk") in text, line
        assert (app / "bin" / "core.dat").read_bytes() == core
        assert (app / "readme.txt").read_bytes() == readme
        # The system folder, as a 32-bit program sees it: SysWOW64 behind
        # "system32".
        wow64 = wine_drive_c() / "windows" / "syswow64"
        assert (app / "kernel32.dll").read_bytes() == (wow64 / "kernel32.dll").read_bytes(), \
            "the 32-bit system folder"
        assert not (app / "download").exists(), "the download folder is deleted"
        assert wine.reg_value(UNINSTALL_KEY, "DisplayVersion") == ("REG_SZ", "1.2.0.5")
        assert wine.reg_value(PRODUCT_KEY, "cert") is not None
        # Nothing in the 64-bit view.
        assert wine.reg_value(UNINSTALL_KEY, "DisplayVersion", view="/reg:64") is None
        assert wine.reg_value(PRODUCT_KEY, "cert", view="/reg:64") is None

        # The dialog stays open until Close; the window menu's command 16
        # shows the About box.
        assert process.poll() is None, "the dialog stays open after the run"
        about = wine.probe_file("about", work)
        assert about and about["caption"] == "About Updater", about
        wine.run(wine.probe, "close")
        assert process.wait(timeout=30) == 0
    finally:
        if process.poll() is None:
            process.kill()
        shutil.rmtree(www, ignore_errors=True)

# Both GBK characters end in the byte 0x5C, the backslash's code: "淺" (9C 5C)
# in the middle of the installation folder's name, "乗" (81 5C) at its end.
GBK_APP = "Velmar淺Acc乗"
TEST_KEY = PRODUCT_KEY + r"\Test"


def zip_bytes(entries):
    """A zip archive of (name, bytes) pairs; a name ending in "/" is a folder."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time=(2024, 5, 6, 7, 8, 10))
            info.external_attr = 0x10 if name.endswith("/") else 0x20
            archive.writestr(info, data)
    return buffer.getvalue()


def tree(folder):
    """Every file and folder below `folder`, as relative paths with "/"."""
    return sorted(str(path.relative_to(folder)) + ("/" if path.is_dir() else "")
                  for path in pathlib.Path(folder).rglob("*"))


def case_gbk_actions(wine, work):
    www, base = nginx_folder("wine-gbk")
    work = pathlib.Path(work)
    # Whatever a probe writes goes here, beside the case's folder.
    probes = work.parent / (work.name + "-probes")
    shutil.rmtree(probes, ignore_errors=True)
    probes.mkdir()
    app = work / GBK_APP
    app.mkdir()
    (app / "data").mkdir()
    (app / "data" / "old.txt").write_bytes(b"to be moved\r\n")
    (app / "data" / "obsolete.txt").write_bytes(b"to be removed\r\n")
    (app / "cache" / "deep").mkdir(parents=True)
    (app / "cache" / "deep" / "a.bin").write_bytes(b"a")
    (app / "cache" / "b.bin").write_bytes(b"b")
    app_win = windows_path(app)

    acc = b"MZ" + os.urandom(4000)
    package = zip_bytes([
        ("bin/", b""),
        ("bin/acc.exe", acc),
        ("bin/lang/zh.txt", "简体中文\r\n".encode("gbk")),
        # %2 is the file to write: run proves it was waited for by the copy
        # after it; open writes beside itself.
        ("tools/mark.cmd", b"@echo off\r\necho ran %1> %2\r\n"),
        ("tools/open.cmd", b"@echo off\r\necho opened> \"%~dp0opened.txt\"\r\n"),
    ])
    (www / "1.0.0.0").mkdir(parents=True)
    (www / "files").mkdir()
    (www / "files" / "pkg.zip").write_bytes(package)

    window_class, window_title = "VelmarAccWindow", "Velmar Acc 主窗口"
    # Descriptions of the actions, in the order they are logged.
    d = {k: f"步骤{k}" for k in ("close", "unzip", "mkdir", "copy", "move", "rmfile", "rmtree",
                                 "run", "runcopy", "open", "string", "dword", "binary", "patch",
                                 "delvalue", "delkey")}
    a = "${app_path}"
    manifest = f"""<?xml version="1.0" encoding="GBK"?>
<updateinfo version="1.1.0.0">
  <package name="all">
    <description>全部动作</description>
    <url>{base}/files/pkg.zip</url>
    <md5>{hashlib.md5(package).hexdigest()}</md5>
    <pre-actions>
      <action type="sendmessage" description="{d['close']}" classname="{window_class}"
              title="{window_title}" message="WM_CLOSE"/>
    </pre-actions>
    <actions>
      <action type="unzip" description="{d['unzip']}" file="${{this_file}}" where="{a}"/>
      <action type="mkdir" description="{d['mkdir']}" dir="{a}\\新乗\\子目录淺"/>
      <action type="copy" description="{d['copy']}" from="{a}\\bin\\acc.exe"
              to="{a}\\新乗\\acc.exe" move="false"/>
      <action type="copy" description="{d['move']}" from="{a}\\data\\old.txt"
              to="{a}\\data\\moved淺.txt" move="true"/>
      <action type="remove" description="{d['rmfile']}" path="{a}\\data\\obsolete.txt"/>
      <action type="remove" description="{d['rmtree']}" path="{a}\\cache"/>
      <action type="run" description="{d['run']}" cmd="cmd.exe"
              args="/c {a}\\tools\\mark.cmd 乗 {a}\\ran.txt"/>
      <action type="copy" description="{d['runcopy']}" from="{a}\\ran.txt"
              to="{a}\\ran-copy.txt" move="false"/>
      <action type="open" description="{d['open']}" file="{a}\\tools\\open.cmd"/>
      <action type="registry" description="{d['string']}" key="HKLM\\SOFTWARE\\VELMAR\\Velmar Acc\\Test"
              valuename="path" value="{a}\\bin"/>
      <action type="registry" description="{d['dword']}" key="HKLM\\SOFTWARE\\VELMAR\\Velmar Acc\\Test"
              valuetype="DWORD" valuename="count" value="-1"/>
      <action type="registry" description="{d['binary']}" key="HKLM\\SOFTWARE\\VELMAR\\Velmar Acc\\Test"
              valuetype="BINARY" valuename="blob" value="hex:01,02,03,04,05,06"/>
      <action type="registry" description="{d['patch']}" key="HKLM\\SOFTWARE\\VELMAR\\Velmar Acc\\Test"
              valuetype="BINARY" valuename="blob" value="hex:aa,bb" startpos="2"/>
      <action type="registry" description="{d['delvalue']}" key="HKLM\\SOFTWARE\\VELMAR\\Velmar Acc\\Test"
              valuename="-old"/>
      <action type="registry" description="{d['delkey']}" key="-HKLM\\SOFTWARE\\VELMAR\\Velmar Acc\\Obsolete"/>
    </actions>
    <post-actions>
      <action type="shortcut" cmd="create" id="0" name="{GBK_APP}"
              target="{a}\\bin\\acc.exe" arg="-x" lnkdesc="运行 Velmar Acc" iconfile="{a}\\bin\\acc.exe"
              iconindex="0"/>
      <action type="shortcut" cmd="create" id="0" name="旧乗"
              target="{a}\\bin\\acc.exe"/>
      <action type="shortcut" cmd="update" id="0" name="{GBK_APP}"
              arg="-auto" lnkdesc="已更新 淺乗" newitems="arg, lnkdesc"/>
      <action type="shortcut" cmd="delete" id="0" name="旧乗"/>
    </post-actions>
  </package>
</updateinfo>
"""
    (www / "1.0.0.0" / "update.xml").write_bytes(manifest.encode("gbk"))

    clear_keys(wine)
    wine.reg("add", PRODUCT_KEY, "/ve", "/d", app_win, "/f")
    wine.reg("add", PRODUCT_KEY, "/v", "updateurl", "/d", base + "/%s/update.xml", "/f")
    wine.reg("add", PRODUCT_KEY, "/v", "cert", "/t", "REG_BINARY", "/d", "00000010", "/f")
    wine.reg("add", TEST_KEY, "/v", "old", "/d", "x", "/f")
    wine.reg("add", TEST_KEY, "/v", "kept", "/d", "y", "/f")
    wine.reg("add", PRODUCT_KEY + r"\Obsolete\Inner", "/v", "z", "/d", "z", "/f")

    desktop = wine_drive_c() / "users" / getpass.getuser() / "Desktop"
    for name in (GBK_APP, "旧乗"):
        (desktop / (name + ".lnk")).unlink(missing_ok=True)

    record = probes / "window.txt"
    window = subprocess.Popen([wine.wine, wine.test_window, "window", window_class, window_title,
                               windows_path(record), "once"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    process = None
    try:
        # The window is up once the probe finds it.
        assert wait_for(lambda: wine.run(wine.probe, "find", window_class, window_title,
                                         check=False).returncode == 0, 30), "no test window"
        process = subprocess.Popen([wine.wine, wine.updater, "-auto"], cwd=work,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        log = work / "updater.log"

        def finished():
            return log.exists() and "结束时间".encode("gbk") in log.read_bytes()

        assert wait_for(finished, 120), \
            f"the run did not finish: {log.read_bytes() if log.exists() else b''!r}"
        # Every check is made, and all that fail are reported together.
        failed = []

        def expect(held, what):
            if not held:
                failed.append(what)

        expect(wait_for(lambda: (app / "tools" / "opened.txt").exists(), 5), "open ran")
        wine.run(wine.probe, "close")
        assert process.wait(timeout=30) == 0

        # The window got WM_CLOSE twice, closed on the second and its program ended.
        expect(window.wait(timeout=30) == 0, "the test window ended")
        expect(record.read_text().splitlines() == ["10 0 0", "10 0 0"],
               f"two WM_CLOSE: {record.read_text()!r}")

        # Files: the installation holds exactly these; beside it only the log.
        expect(sorted(os.listdir(work)) == sorted([GBK_APP, "updater.log"]),
               f"nothing beside the installation: {os.listdir(work)}")
        expect(tree(app) == sorted([
            "bin/", "bin/acc.exe", "bin/lang/", "bin/lang/zh.txt", "tools/", "tools/mark.cmd",
            "tools/open.cmd", "tools/opened.txt", "data/", "data/moved淺.txt", "新乗/",
            "新乗/子目录淺/", "新乗/acc.exe", "ran.txt", "ran-copy.txt"]),
            f"the installation's files: {tree(app)}")

        def content(*parts):
            path = app.joinpath(*parts)
            return path.read_bytes() if path.is_file() else None

        expect(content("bin", "acc.exe") == acc, "bin\\acc.exe unzipped")
        expect(content("新乗", "acc.exe") == acc, "acc.exe copied")
        expect(content("bin", "lang", "zh.txt") == "简体中文\r\n".encode("gbk"), "zh.txt unzipped")
        expect(content("data", "moved淺.txt") == b"to be moved\r\n", "old.txt moved")
        expect(content("ran.txt") == "ran 乗\r\n".encode("gbk"), f"run wrote {content('ran.txt')!r}")
        expect(content("ran-copy.txt") == content("ran.txt"), "the copy after run saw its file")

        # Registry, in the 32-bit view.
        expect(wine.reg_value(TEST_KEY, "path") == ("REG_SZ", app_win + "\\bin"), "string value")
        expect(wine.reg_value(TEST_KEY, "count") == ("REG_DWORD", "0xffffffff"), "DWORD value")
        expect(wine.reg_value(TEST_KEY, "blob") == ("REG_BINARY", "0102AABB0506"),
               f"binary value patched: {wine.reg_value(TEST_KEY, 'blob')}")
        expect(wine.reg_value(TEST_KEY, "old") is None, "value deleted")
        expect(wine.reg_value(TEST_KEY, "kept") == ("REG_SZ", "y"), "other value kept")
        expect(not wine.key_exists(PRODUCT_KEY + r"\Obsolete"), "key deleted with its sub key")
        expect(wine.reg_value(UNINSTALL_KEY, "DisplayVersion") == ("REG_SZ", "1.1.0.0"),
               "version recorded")

        # Shortcuts, as the shell reads them.
        expect(not (desktop / "旧乗.lnk").exists(), "the deleted shortcut is gone")
        out = probes / "link.txt"
        loaded = wine.run(wine.probe, "link", windows_path(desktop / (GBK_APP + ".lnk")),
                          windows_path(out), check=False).returncode == 0
        fields = dict(line.partition("=")[::2] for line in
                      out.read_bytes().decode("gbk").splitlines()) if loaded else {}
        expect(fields == {"target": app_win + "\\bin\\acc.exe", "args": "-auto",
                          "desc": "已更新 淺乗", "icon": app_win + "\\bin\\acc.exe",
                          "index": "0"}, f"the shortcut as created and updated: {fields}")

        # The log, line by line, in GBK.
        lines = log.read_bytes().decode("gbk").split("\r\n")
        unzipped = ["bin/", "bin/acc.exe", "bin/lang/zh.txt", "tools/mark.cmd", "tools/open.cmd"]
        expected = (
            ["检查更新信息", "分析更新信息", "开始更新", "全部动作",
             f"下载文件: {base}/files/pkg.zip", "检验下载文件", "文件校验正确",
             d["close"], d["unzip"]]
            + [f"正在解压文件: {app_win}\\" + name.replace("/", "\\") for name in unzipped]
            + ["解压文件完毕"]
            + [d[k] for k in ("mkdir", "copy", "move", "rmfile", "rmtree", "run", "runcopy",
                              "open", "string", "dword", "binary", "patch", "delvalue",
                              "delkey")]
            + ["更新完毕"])
        expect(lines[0].startswith("开始时间: ") and lines[-3].startswith("结束时间: ")
               and lines[-2:] == ["", ""] and lines[1:-3] == expected,
               "the log:\n" + "\n".join(lines))
        assert not failed, "\n".join(failed)
    finally:
        for p in (process, window):
            if p is not None and p.poll() is None:
                p.kill()
        shutil.rmtree(www, ignore_errors=True)


def installation_state(wine, app):
    """Names, bytes and write times below the installation, and the test key."""
    files = {}
    for top, dirs, names in os.walk(app):
        for name in dirs + names:
            path = os.path.join(top, name)
            rel = os.path.relpath(path, app)
            if os.path.isdir(path):
                files[rel] = "<dir>"
            else:
                with open(path, "rb") as f:
                    files[rel] = (hashlib.md5(f.read()).hexdigest(), os.stat(path).st_mtime_ns)
    key = wine.reg("query", r"HKCU\Software\Velmar Test", "/s", check=False).stdout
    return files, key


def case_atomic_rolled_back(wine, work, killed=False):
    """An atomic manifest whose last action fails (or, killed: during which the
    updater is ended): the files and the registry are as before, the version
    is not recorded, and the journal is gone (after the next start)."""
    www, base = nginx_folder("wine-atomic")
    app = pathlib.Path(work) / "Velmar Acc"
    for rel, data in (("conf.ini", b"old conf"), ("junk.txt", b"junk"), ("data\\a.txt", b"old a"),
                      ("cache\\x", b"x"), ("cache\\sub\\y", b"y"), ("old.bin", b"old")):
        path = app / rel.replace("\\", "/")
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        os.utime(path, ns=(1500000000 * 10**9,) * 2)
    core = os.urandom(3000)
    (www / "1.0.0.0").mkdir(parents=True)
    (www / "core.dat").write_bytes(core)
    archive = io.BytesIO()
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("a.txt", b"new a")
        z.writestr("new\\b.txt", b"new b")
    (www / "files.zip").write_bytes(archive.getvalue())
    marker = pathlib.Path(work) / "paused"
    # Reached only when every action before it succeeded.
    last = ('<action type="run" description="last step" cmd="cmd.exe" args="/c exit 3"/>'
            if not killed else
            f'<action type="run" description="last step" cmd="cmd.exe" args="/c echo x> '
            f'{windows_path(marker)} &amp; ping -n 60 127.0.0.1 &gt; nul"/>')
    manifest = f"""<?xml version="1.0" encoding="GBK"?>
<updateinfo version="1.2.0.5" atomic="true">
  <package name="core">
    <url>{base}/core.dat</url>
    <md5>{hashlib.md5(core).hexdigest()}</md5>
    <actions>
      <action type="copy" from="${{this_file}}" to="${{app_path}}\\conf.ini" move="false"/>
      <action type="copy" from="${{app_path}}\\old.bin" to="${{app_path}}\\moved.bin"/>
      <action type="mkdir" dir="${{app_path}}\\logs\\2026"/>
      <action type="remove" path="${{app_path}}\\junk.txt"/>
      <action type="remove" path="${{app_path}}\\cache"/>
      <action type="registry" key="HKCU\\Software\\Velmar Test" valuename="Name" value="new"/>
      <action type="registry" key="HKCU\\Software\\Velmar Test\\Made" valuetype="DWORD"
              valuename="n" value="7"/>
      <action type="registry" key="HKCU\\Software\\Velmar Test" valuename="-Gone"/>
      <action type="registry" key="-HKCU\\Software\\Velmar Test\\Sub"/>
    </actions>
  </package>
  <package name="files">
    <url>{base}/files.zip</url>
    <md5>{hashlib.md5(archive.getvalue()).hexdigest()}</md5>
    <actions>
      <action type="unzip" file="${{this_file}}" where="${{app_path}}\\data"/>
      <action type="registry" key="HKCU\\Software\\Velmar Test" valuetype="BINARY"
              valuename="Blob" value="hex:aa,bb" startpos="1"/>
      <action type="shortcut" cmd="create" id="0" name="Atomic Fresh"
              target="${{app_path}}\\conf.ini"/>
      {last}
    </actions>
  </package>
</updateinfo>
"""
    (www / "1.0.0.0" / "update.xml").write_bytes(manifest.encode("gbk"))

    clear_keys(wine)
    wine.reg("delete", r"HKCU\Software\Velmar Test", "/f", check=False)
    wine.reg("add", PRODUCT_KEY, "/ve", "/d", windows_path(app), "/f")
    wine.reg("add", PRODUCT_KEY, "/v", "updateurl", "/d", base + "/%s/update.xml", "/f")
    wine.reg("add", PRODUCT_KEY, "/v", "cert", "/t", "REG_BINARY", "/d", "00000010", "/f")
    wine.reg("add", r"HKCU\Software\Velmar Test", "/v", "Name", "/d", "old", "/f")
    wine.reg("add", r"HKCU\Software\Velmar Test", "/v", "Gone", "/d", "bye", "/f")
    wine.reg("add", r"HKCU\Software\Velmar Test", "/v", "Blob", "/t", "REG_BINARY", "/d",
             "01020304", "/f")
    wine.reg("add", r"HKCU\Software\Velmar Test\Sub\Inner", "/v", "Two", "/t", "REG_DWORD",
             "/d", "2", "/f")
    before = installation_state(wine, app)
    log = pathlib.Path(work) / "updater.log"
    try:
        process = subprocess.Popen([wine.wine, wine.updater, "-AUTO"], cwd=work,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            if killed:
                assert wait_for(marker.exists, 60, 0.1), "the program never ran"
                process.kill()
                process.wait(timeout=30)
                subprocess.run(["wineserver", "-k"], check=False)
                assert (app / "rollback" / "journal").exists(), "no journal after the kill"
                # The next start puts everything back (and finds no newer manifest).
                (www / "1.0.0.0" / "update.xml").write_bytes(b'<updateinfo version="1.0.0.0"/>')
                process = subprocess.Popen([wine.wine, wine.updater, "-AUTO"], cwd=work,
                                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            done = "结束时间".encode("gbk")
            expected = ("上次更新没有完成，已恢复原来的版本" if killed else
                        "更新失败，已恢复原来的版本").encode("gbk")
            assert wait_for(lambda: log.exists() and done in log.read_bytes().split(
                expected)[-1], 90), f"the run did not end: {log.read_bytes()!r}"
            assert expected in log.read_bytes(), log.read_bytes()
            assert "last step".encode("gbk") in log.read_bytes(), log.read_bytes()
            wine.run(wine.probe, "close")
            process.wait(timeout=30)
        finally:
            if process.poll() is None:
                process.kill()
        after = installation_state(wine, app)
        assert after == before, f"not as before: {before} {after}"
        prefix = pathlib.Path(os.environ["WINEPREFIX"])
        made = list(prefix.glob("drive_c/users/*/Desktop/Atomic Fresh.lnk"))
        made += list(pathlib.Path.home().glob("Desktop/Atomic Fresh.lnk"))
        assert not made, f"the shortcut stayed: {made}"
        assert wine.reg_value(PRODUCT_KEY, "cert") == ("REG_BINARY", "00000010")
        assert wine.reg_value(UNINSTALL_KEY, "DisplayVersion") is None
    finally:
        shutil.rmtree(www, ignore_errors=True)
        wine.reg("delete", r"HKCU\Software\Velmar Test", "/f", check=False)


def main():
    parser = argparse.ArgumentParser()
    cases = {"not_installed": case_not_installed, "auto_run": case_auto_run,
             "gbk_actions": case_gbk_actions, "atomic_rolled_back": case_atomic_rolled_back,
             "atomic_killed": lambda wine, work: case_atomic_rolled_back(wine, work, True)}
    parser.add_argument("case", choices=sorted(cases))
    parser.add_argument("--wine", required=True)
    parser.add_argument("--updater", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--test-window", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    work = pathlib.Path(args.work) / args.case
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    wine = Wine(args)
    cases[args.case](wine, str(work))
    print(f"{args.case}: ok")


if __name__ == "__main__":
    sys.exit(main())
