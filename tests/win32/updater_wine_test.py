#!/usr/bin/env python3
"""updater.exe under Wine, as a user on Windows starts it.

  updater_wine_test.py CASE --wine WINE --updater EXE --probe EXE --test-window EXE --work DIR [--bits 64]

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
  atomic_rolled_back  an atomic update covering every undoable action, with a
                  failing program at each position in turn: files, registry
                  and shortcuts as before, the version not recorded
  atomic_killed   the same, ended with taskkill /f during a waiting program at
                  each position: the next start puts everything back, the one
                  after completes the update
  files_in_use    the product's window closes at once while its process holds
                  its exe for 3 s more, one file is held for 2 s and one for
                  20 s (no FILE_SHARE_DELETE or FILE_SHARE_WRITE): the exe and
                  the first file are replaced, the second fails after about
                  10 s with the unzip's message and keeps its bytes
  decoy_program   an installation in "Program Files" with a "Program.exe"
                  planted beside that folder: run and open start the real
                  program, with its arguments, and never the decoy
  zip_names       Chinese names as Python's zipfile writes them (flagged as
                  UTF-8) and as Info-ZIP's zip stores GBK names (unflagged)
                  unpack to the same names
  resume          a package from the fault server, every answer of which is
                  cut off after 40 % of it: WinINet's second and third
                  attempts ask for the rest (Range, If-Range with the ETag)
                  and the package arrives whole on the third, the server
                  sending it about once
  dpi_layout      the dialog at 100 % and at 150 % (96 and 144 dpi): laid out
                  for that DPI, its buttons and bars themed (Common Controls 6
                  from the manifest); a screenshot of each is kept in
                  DIR/win32-dialog-<dpi>dpi.png

updater.exe is a 32-bit program: the keys of the product live in the 32-bit
registry view (Wow6432Node), which reg.exe reaches with /reg:32. Where the
32-bit Wine is missing, the same cases run against a 64-bit build (--bits 64):
its own view is then the 64-bit one and its system folder system32, and the
other view is the one that must stay untouched.

The environment names the Wine prefix (WINEPREFIX), the display (DISPLAY) and
the servers' folder (UPDATER_SERVERS_DIR). Texts on the Windows side are GBK.
"""
import argparse
import getpass
import hashlib
import io
import json
import os
import pathlib
import shutil
import subprocess
import sys
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from e2e_checks import run_wine  # noqa: E402
import zipfile

PRODUCT_KEY = r"HKLM\SOFTWARE\VELMAR\Velmar Acc"
# The registry view and system folder of the program under test, and the view
# it must not see (set from --bits).
OWN_VIEW, OTHER_VIEW, SYSTEM_FOLDER = "/reg:32", "/reg:64", "syswow64"
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
        result = run_wine([self.wine, *argv], cwd=cwd, timeout=timeout)
        if check and result.returncode != 0:
            raise AssertionError(f"{argv} exited with {result.returncode}: "
                                 f"{result.stdout!r} {result.stderr!r}")
        return result

    def reg(self, *argv, check=True, view=None):
        return self.run("reg", *argv, view or OWN_VIEW, check=check)

    def reg_value(self, key, name, view=None):
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
    # A key in the other view: not the view the product's installer writes.
    wine.reg("add", PRODUCT_KEY, "/ve", "/d", windows_path(work), "/f", view=OTHER_VIEW)
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


def case_dpi_layout(wine, work):
    www, base = nginx_folder("wine-dpi")
    (www / "1.0.0.0").mkdir(parents=True)
    (www / "1.0.0.0" / "update.xml").write_bytes(b'<updateinfo version="1.0.0.0"/>')
    clear_keys(wine)
    wine.reg("add", PRODUCT_KEY, "/ve", "/d", windows_path(work), "/f")
    wine.reg("add", PRODUCT_KEY, "/v", "updateurl", "/d", base + "/%s/update.xml", "/f")
    wine.reg("add", PRODUCT_KEY, "/v", "cert", "/t", "REG_BINARY", "/d", "00000010", "/f")
    # Wine's desktop keeps the DPI it was made with: a new server makes it anew.
    desktop = r"HKCU\Control Panel\Desktop"

    # The persistent server must not hold the test's output open, and the old
    # server is waited for before a new one starts.
    def restart_wine():
        subprocess.run(["wineserver", "-k"], check=False)
        subprocess.run(["wineserver", "-w"], check=False, timeout=60)
        subprocess.run(["wineserver", "-p"], check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    log = pathlib.Path(work) / "updater.log"
    try:
        for dpi in (96, 144):
            wine.reg("add", desktop, "/v", "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f")
            restart_wine()
            log.unlink(missing_ok=True)
            process = subprocess.Popen([wine.wine, wine.updater, "-AUTO"], cwd=work,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                assert wait_for(lambda: log.exists() and "结束时间".encode("gbk") in log.read_bytes(),
                                60), f"{dpi} dpi: the run did not end"
                layout = wine.probe_file("layout", work)
                assert layout == {"dpi": str(dpi), "themed": "4/4"}, (dpi, layout)
                state = wine.probe_file("state", work)
                assert state["status"] == "你使用的已经是最新版本", state
                screenshot(pathlib.Path(work).parent / f"win32-dialog-{dpi}dpi.png")
                wine.run(wine.probe, "close")
                assert process.wait(timeout=30) == 0
            finally:
                if process.poll() is None:
                    process.kill()
    finally:
        wine.reg("delete", desktop, "/v", "LogPixels", "/f", check=False)
        restart_wine()
        shutil.rmtree(www, ignore_errors=True)


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
        wow64 = wine_drive_c() / "windows" / SYSTEM_FOLDER
        assert (app / "kernel32.dll").read_bytes() == (wow64 / "kernel32.dll").read_bytes(), \
            "the 32-bit system folder"
        assert not (app / "download").exists(), "the download folder is deleted"
        assert wine.reg_value(UNINSTALL_KEY, "DisplayVersion") == ("REG_SZ", "1.2.0.5")
        assert wine.reg_value(PRODUCT_KEY, "cert") is not None
        # Nothing in the other view.
        assert wine.reg_value(UNINSTALL_KEY, "DisplayVersion", view=OTHER_VIEW) is None
        assert wine.reg_value(PRODUCT_KEY, "cert", view=OTHER_VIEW) is None

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


ATOMIC_HKLM = PRODUCT_KEY + r"\Test"
ATOMIC_HKCU = r"HKCU\Software\Velmar Test"
# GBK names whose trail byte is 0x5C, in the folder and in a shortcut's name.
ATOMIC_APP = "Velmar淺Atomic乗"
OLD_LINK = "旧乗"


def atomic_actions():
    """Every action that can be undone, over two packages."""
    a = "${app_path}"
    files = [
        f'<action type="unzip" file="${{this_file}}" where="{a}\\data"/>',
        f'<action type="copy" from="{a}\\data\\new.txt" to="{a}\\conf.ini" move="false"/>',
        f'<action type="copy" from="{a}\\old.bin" to="{a}\\moved淺.bin" move="true"/>',
        f'<action type="mkdir" dir="{a}\\logs\\2026\\12"/>',
        f'<action type="remove" path="{a}\\junk.txt"/>',
        f'<action type="remove" path="{a}\\cache"/>',
    ]
    k = ATOMIC_HKLM
    other = [
        f'<action type="registry" key="{k}" valuename="Name" value="{a}\\new"/>',
        f'<action type="registry" key="{k}\\Made\\Deeper" valuetype="DWORD" valuename="Count"'
        f' value="7"/>',
        f'<action type="registry" key="{k}" valuetype="BINARY" valuename="Blob"'
        f' value="hex:aa,bb" startpos="2"/>',
        f'<action type="registry" key="{k}" valuename="-Gone"/>',
        f'<action type="registry" key="-{ATOMIC_HKCU}\\Sub"/>',
        f'<action type="shortcut" cmd="create" id="0" name="Atomic Fresh"'
        f' target="{a}\\bin\\acc.exe" lnkdesc="新的"/>',
        f'<action type="shortcut" cmd="update" id="0" name="Atomic Existing"'
        f' target="{a}\\bin\\new.exe" arg="-y" newitems="target, arg"/>',
        f'<action type="shortcut" cmd="delete" id="0" name="{OLD_LINK}"/>',
    ]
    return files, other


ATOMIC_POSITIONS = range(sum(map(len, atomic_actions())) + 1)


def atomic_manifest(base, zip_md5, at=None, extra=""):
    """The two packages; `extra` goes in after the first `at` actions."""
    files, other = atomic_actions()
    if at is not None and at <= len(files):
        files.insert(at, extra)
    elif at is not None:
        other.insert(at - len(files), extra)
    return f"""<?xml version="1.0" encoding="GBK"?>
<updateinfo version="1.2.0.5" atomic="TRUE">
  <package name="files"><description>文件</description>
    <url>{base}/files.zip</url><md5>{zip_md5}</md5>
    <actions>{"".join(files)}</actions></package>
  <package name="settings"><description>设置</description>
    <actions>{"".join(other)}</actions></package>
</updateinfo>
""".encode("gbk")


class AtomicInstallation:
    """The installed product as each run finds it: files with fixed times, the
    registry and the desktop's shortcuts, put back the same way before each
    position."""

    def __init__(self, wine, work, www, base):
        self.wine, self.work, self.www, self.base = wine, pathlib.Path(work), www, base
        self.app = self.work / ATOMIC_APP
        self.desktop = wine_drive_c() / "users" / getpass.getuser() / "Desktop"
        self.links = {}
        self.reg_file = self.work.parent / (self.work.name + "-reset.reg")

    def reset_registry(self):
        app = windows_path(self.app)
        hklm = ATOMIC_HKLM.replace("HKLM", "HKEY_LOCAL_MACHINE")
        hkcu = ATOMIC_HKCU.replace("HKCU", "HKEY_CURRENT_USER")
        product = PRODUCT_KEY.replace("HKLM", "HKEY_LOCAL_MACHINE")
        uninstall = UNINSTALL_KEY.replace("HKLM", "HKEY_LOCAL_MACHINE")
        text = "\r\n".join([
            "Windows Registry Editor Version 5.00", "",
            f"[-{hkcu}]", f"[-{uninstall}]", f"[-{product}]", "",
            f"[{product}]", '@="%s"' % app.replace("\\", "\\\\"),
            f'"updateurl"="{self.base}/%s/update.xml"', '"cert"=hex:00,00,00,10', "",
            f"[{hklm}]", '"Name"="old"', '"Blob"=hex:01,02,03,04,05,06', '"Gone"="bye"', "",
            f"[{hkcu}\\Sub]", '"One"=dword:00000001', "",
            f"[{hkcu}\\Sub\\Inner]", '"Two"="two"', "@=hex:ff,00", "", ""])
        self.reg_file.write_bytes(b"\xff\xfe" + text.encode("utf-16-le"))
        self.wine.reg("import", windows_path(self.reg_file))

    def reset(self):
        shutil.rmtree(self.app, ignore_errors=True)
        for rel, data in (("data/a.txt", b"old a"), ("data/b.txt", b"old b"),
                          ("data/keep.txt", b"kept"), ("conf.ini", b"old conf"),
                          ("old.bin", b"to be moved"), ("junk.txt", b"to be removed"),
                          ("cache/x", b"x"), ("cache/sub/y", b"y"), ("bin/acc.exe", b"MZ")):
            path = self.app / rel
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
            os.utime(path, ns=(1500000000 * 10**9,) * 2)
        self.reset_registry()
        for name in os.listdir(self.desktop):
            if name.startswith("Atomic ") or name.startswith(OLD_LINK):
                os.remove(self.desktop / name)
        for name, (data, ns) in self.links.items():
            (self.desktop / name).write_bytes(data)
            os.utime(self.desktop / name, ns=(ns, ns))

    def make_links(self):
        """The two shortcuts a plain update made earlier."""
        self.reset()
        a = "${app_path}"
        setup = f"""<?xml version="1.0" encoding="GBK"?>
<updateinfo version="1.0.0.5"><package name="s"><actions>
  <action type="shortcut" cmd="create" id="0" name="Atomic Existing" target="{a}\\bin\\acc.exe"
          arg="-x" lnkdesc="旧的"/>
  <action type="shortcut" cmd="create" id="0" name="{OLD_LINK}" target="{a}\\bin\\acc.exe"/>
</actions></package></updateinfo>
""".encode("gbk")
        self.serve(setup)
        self.run("更新完毕")
        for name in ("Atomic Existing.lnk", OLD_LINK + ".lnk"):
            path = self.desktop / name
            self.links[name] = (path.read_bytes(), 1500000000 * 10**9)

    def serve(self, manifest):
        (self.www / "1.0.0.0" / "update.xml").write_bytes(manifest)

    def start(self):
        (self.work / "updater.log").unlink(missing_ok=True)
        return subprocess.Popen([self.wine.wine, self.wine.updater, "-AUTO"], cwd=self.work,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def finish(self, process, message):
        """Waits for the run's end, closes the dialog; the log must hold `message`."""
        log = self.work / "updater.log"
        try:
            assert wait_for(lambda: log.exists() and "结束时间".encode("gbk") in log.read_bytes(),
                            90, 0.2), \
                f"the run did not end: {log.read_bytes() if log.exists() else b''!r}"
            self.wine.run(self.wine.probe, "close")
            process.wait(timeout=30)
        finally:
            if process.poll() is None:
                process.kill()
        text = log.read_bytes().decode("gbk")
        assert message in text, f"no {message!r}: {text!r}"
        return text

    def run(self, message):
        return self.finish(self.start(), message)

    def state(self, times=True):
        """Names, bytes and write times below the installation (the download
        folder aside, which each start makes), the registry as exported from
        the 32-bit view, and the shortcuts as the shell reads them."""
        files = {}
        for top, dirs, names in os.walk(self.app):
            for name in dirs + names:
                path = os.path.join(top, name)
                rel = os.path.relpath(path, self.app)
                if rel.split(os.sep)[0] == "download":
                    continue
                if os.path.isdir(path):
                    files[rel] = "<dir>"
                else:
                    with open(path, "rb") as f:
                        files[rel] = (hashlib.md5(f.read()).hexdigest(),
                                      os.stat(path).st_mtime_ns if times else None)
        registry = {}
        for key in (r"HKLM\SOFTWARE\VELMAR", ATOMIC_HKCU, UNINSTALL_KEY):
            out = self.work.parent / (self.work.name + "-export.reg")
            out.unlink(missing_ok=True)
            self.wine.reg("export", key, windows_path(out), "/y", check=False)
            registry[key] = out.read_bytes() if out.exists() else None
        links = {}
        for name in sorted(os.listdir(self.desktop)):
            if not (name.startswith("Atomic ") or name.startswith(OLD_LINK)):
                continue
            path = self.desktop / name
            out = self.work.parent / (self.work.name + "-link.txt")
            out.unlink(missing_ok=True)
            self.wine.run(self.wine.probe, "link", windows_path(path), windows_path(out),
                          check=False)
            links[name] = (out.read_bytes().decode("gbk") if out.exists() else None,
                           hashlib.md5(path.read_bytes()).hexdigest() if times else None,
                           os.stat(path).st_mtime_ns if times else None)
        return files, registry, links


def state_differences(a, b):
    out = []
    for part, x, y in zip(("files", "registry", "links"), a, b):
        for key in sorted(set(x) | set(y), key=str):
            if x.get(key) != y.get(key):
                out.append(f"{part} {key}: {x.get(key)!r} -> {y.get(key)!r}")
    return "\n".join(out)[:4000]


def case_atomic(wine, work, killed=False):
    """An atomic manifest covering every action that can be undone; at each
    position in turn a program that fails runs (or, killed: during a program
    that waits there the updater is ended with taskkill /f). After a failure
    the installation, the registry and the shortcuts are exactly as before
    and the version is not recorded; after a kill the next start puts all of
    it back, and the start after that completes the update."""
    www, base = nginx_folder("wine-atomic-kill" if killed else "wine-atomic")
    (www / "1.0.0.0").mkdir(parents=True)
    archive = zip_bytes([("a.txt", b"new a"), ("b.txt", b"new b" * 50), ("new.txt", b"new file"),
                         ("newdir/", b""), ("newdir/c.txt", b"new c")])
    (www / "files.zip").write_bytes(archive)
    zip_md5 = hashlib.md5(archive).hexdigest()
    inst = AtomicInstallation(wine, work, www, base)
    flags = pathlib.Path(work).parent / (pathlib.Path(work).name + "-flags")
    shutil.rmtree(flags, ignore_errors=True)
    flags.mkdir()
    # Waits until "pass" exists; the updater's end leaves it behind, so the
    # test lets it go after the kill. With "pass" there it does not wait.
    pause = flags / "pause.cmd"
    paused, passed = flags / "paused", flags / "pass"
    pause.write_bytes(
        f'@echo off\r\nif exist "{windows_path(passed)}" exit /b 0\r\n'
        f'echo x> "{windows_path(paused)}"\r\n:wait\r\nping -n 2 127.0.0.1 > nul\r\n'
        f'if not exist "{windows_path(passed)}" goto wait\r\n'.encode("gbk"))
    fail = '<action type="run" description="步骤失败" cmd="cmd.exe" args="/c exit 1"/>'
    hold = (f'<action type="run" description="步骤暂停" cmd="cmd.exe"'
            f' args="/c {windows_path(pause)}"/>')
    timings = []
    try:
        clear_keys(wine)
        inst.make_links()
        reference = None
        if killed:
            # What a run that is never cut short leaves.
            inst.reset()
            inst.serve(atomic_manifest(base, zip_md5))
            inst.run("更新完毕")
            reference = inst.state(times=False)
        for at in ATOMIC_POSITIONS:
            began = time.monotonic()
            inst.reset()
            before = inst.state()
            where = f"at {at}"
            if not killed:
                inst.serve(atomic_manifest(base, zip_md5, at, fail))
                log = inst.run("更新失败，已恢复原来的版本")
                assert "步骤失败" in log, f"{where}: the failing program did not run: {log!r}"
            else:
                passed.unlink(missing_ok=True)
                paused.unlink(missing_ok=True)
                inst.serve(atomic_manifest(base, zip_md5, at, hold))
                process = inst.start()
                try:
                    assert wait_for(paused.exists, 60, 0.1), f"{where}: never paused"
                    wine.run("taskkill", "/f", "/im", os.path.basename(wine.updater))
                    process.wait(timeout=30)
                finally:
                    if process.poll() is None:
                        process.kill()
                passed.touch()
                assert (inst.app / "rollback" / "journal").exists(), f"{where}: no journal"
                # The next start puts everything back and finds no newer version.
                inst.serve(b'<?xml version="1.0"?><updateinfo version="1.0.0.0"/>')
                log = inst.run("上次更新没有完成，已恢复原来的版本")
            after = inst.state()
            assert after == before, f"{where}: not as before\n{state_differences(before, after)}"
            assert not (inst.app / "rollback").exists(), f"{where}: the journal stayed"
            if killed:
                inst.serve(atomic_manifest(base, zip_md5, at, hold))
                log = inst.run("更新完毕")
                assert "上次更新没有完成" not in log, f"{where}: restored twice: {log!r}"
                done = inst.state(times=False)
                assert done == reference, \
                    f"{where}: not as a whole run leaves it\n{state_differences(reference, done)}"
                assert not (inst.app / "rollback").exists(), f"{where}: the journal stayed"
            timings.append(f"{at}:{time.monotonic() - began:.1f}s")
        print("positions", " ".join(timings))
    finally:
        shutil.rmtree(www, ignore_errors=True)
        wine.reg("delete", ATOMIC_HKCU, "/f", check=False)
        for name in inst.links:
            (inst.desktop / name).unlink(missing_ok=True)
        for name in ("Atomic Fresh.lnk",):
            (inst.desktop / name).unlink(missing_ok=True)


def install(wine, app, base):
    clear_keys(wine)
    wine.reg("add", PRODUCT_KEY, "/ve", "/d", windows_path(app), "/f")
    wine.reg("add", PRODUCT_KEY, "/v", "updateurl", "/d", base + "/%s/update.xml", "/f")
    wine.reg("add", PRODUCT_KEY, "/v", "cert", "/t", "REG_BINARY", "/d", "00000010", "/f")


def serve_package(www, base, package, actions, pre_actions=""):
    """Version 1.1.0.0 with one package, its file `package` (bytes)."""
    (www / "1.0.0.0").mkdir(parents=True)
    (www / "pkg.bin").write_bytes(package)
    (www / "1.0.0.0" / "update.xml").write_bytes(f"""<?xml version="1.0" encoding="GBK"?>
<updateinfo version="1.1.0.0"><package name="p">
  <url>{base}/pkg.bin</url><md5>{hashlib.md5(package).hexdigest()}</md5>
  <pre-actions>{pre_actions}</pre-actions><actions>{actions}</actions>
</package></updateinfo>
""".encode("gbk"))


def run_update(wine, work):
    """One "-auto" run in `work` until its end time is logged; the log."""
    log = pathlib.Path(work) / "updater.log"
    log.unlink(missing_ok=True)
    process = subprocess.Popen([wine.wine, wine.updater, "-auto"], cwd=work,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        assert wait_for(lambda: log.exists() and "结束时间".encode("gbk") in log.read_bytes(),
                        120, 0.2), \
            f"the run did not end: {log.read_bytes() if log.exists() else b''!r}"
        wine.run(wine.probe, "close")
        process.wait(timeout=30)
    finally:
        if process.poll() is None:
            process.kill()
    return log.read_bytes().decode("gbk")


def case_files_in_use(wine, work):
    www, base = nginx_folder("wine-in-use")
    work = pathlib.Path(work)
    app = work / "Velmar Acc"
    app.mkdir()
    shutil.copy(wine.test_window, app / "acc.exe")
    (app / "data.bin").write_bytes(b"old data")
    (app / "locked.bin").write_bytes(b"old locked")
    acc = b"MZ" + os.urandom(3000)
    a, tw = "${app_path}", windows_path(wine.test_window)
    serve_package(
        www, base,
        zip_bytes([("acc.exe", acc), ("data.bin", b"new data"), ("locked.bin", b"new locked")]),
        f'<action type="unzip" file="${{this_file}}" where="{a}"/>',
        f'<action type="sendmessage" classname="VelmarInUse" title="Velmar Acc"'
        f' message="WM_CLOSE"/>'
        f'<action type="run" cmd="{tw}" args="hold &quot;{a}\\data.bin&quot; 2000"/>'
        f'<action type="run" cmd="{tw}" args="hold &quot;{a}\\locked.bin&quot; 20000"/>')
    install(wine, app, base)
    record = work.parent / (work.name + "-window.txt")
    record.unlink(missing_ok=True)
    window = subprocess.Popen([wine.wine, str(app / "acc.exe"), "window", "VelmarInUse",
                               "Velmar Acc", windows_path(record), "linger"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        assert wait_for(lambda: wine.run(wine.probe, "find", "VelmarInUse", "Velmar Acc",
                                         check=False).returncode == 0, 30), "no test window"
        began = time.monotonic()
        log = run_update(wine, work)
        took = time.monotonic() - began
        app_win = windows_path(app)
        lines = log.split("\r\n")
        assert [line for line in lines if "解压" in line] == [
            f"正在解压文件: {app_win}\\acc.exe", f"正在解压文件: {app_win}\\data.bin",
            f"正在解压文件: {app_win}\\locked.bin", f"解压文件出错: {app_win}\\locked.bin"], log
        assert (app / "acc.exe").read_bytes() == acc, "the exe its process held is replaced"
        assert (app / "data.bin").read_bytes() == b"new data", "the file held for 2 s is replaced"
        assert (app / "locked.bin").read_bytes() == b"old locked", "the held file keeps its bytes"
        assert window.wait(timeout=30) == 0
        # The held file's 10 s, the lingering process's 3 s and the 2 s hold
        # overlap only partly; 30 s would be the run's whole budget.
        assert 10 <= took < 30, f"the run took {took:.1f} s"
        print(f"files_in_use: the run took {took:.1f} s")
    finally:
        if window.poll() is None:
            window.kill()
        shutil.rmtree(www, ignore_errors=True)


def case_decoy_program(wine, work):
    www, base = nginx_folder("wine-decoy")
    work = pathlib.Path(work)
    app = work / "Program Files" / "Velmar Acc"
    app.mkdir(parents=True)
    shutil.copy(wine.test_window, work / "Program.exe")
    shutil.copy(wine.test_window, app / "acc.exe")
    a = "${app_path}"
    serve_package(www, base, b"readme",
                  f'<action type="run" cmd="{a}\\acc.exe" args="marker 0 &quot;{a}\\ran.txt&quot; 乗 x"/>'
                  f'<action type="open" file="{a}\\acc.exe"/>')
    install(wine, app, base)
    try:
        log = run_update(wine, work)
        assert "更新完毕" in log, log
        assert not (work / "Program.exe.ran").exists(), \
            (work / "Program.exe.ran").read_bytes()
        assert (app / "ran.txt").read_bytes() == "乗 x\n".encode("gbk"), "run with its arguments"
        assert (app / "acc.exe.ran").exists(), "open started the program"
    finally:
        shutil.rmtree(www, ignore_errors=True)


def case_zip_names(wine, work):
    www, base = nginx_folder("wine-zip-names")
    work = pathlib.Path(work)
    app = work / "Velmar Acc"
    app.mkdir()
    flagged = io.BytesIO()
    with zipfile.ZipFile(flagged, "w") as archive:
        archive.writestr("中文/说明.txt", b"python")
    # Info-ZIP over files named in GBK, as on a Chinese Windows.
    src = os.fsencode(work.parent / (work.name + "-src"))
    shutil.rmtree(src, ignore_errors=True)
    os.makedirs(os.path.join(src, "旧版".encode("gbk")))
    with open(os.path.join(src, "旧版".encode("gbk"), "说明.txt".encode("gbk")), "wb") as f:
        f.write(b"info-zip")
    subprocess.run(["zip", "-qr", os.path.join(src, b"info.zip"), "旧版".encode("gbk")], cwd=src,
                   check=True)
    with open(os.path.join(src, b"info.zip"), "rb") as f:
        unflagged = f.read()
    for data, flag in ((flagged.getvalue(), 0x800), (unflagged, 0)):
        infos = zipfile.ZipFile(io.BytesIO(data)).infolist()
        assert all(i.flag_bits & 0x800 == flag for i in infos), [i.flag_bits for i in infos]
    # Both archives in one package: the second is unpacked from the first.
    package = zip_bytes([("flagged.zip", flagged.getvalue()), ("unflagged.zip", unflagged)])
    a = "${app_path}"
    serve_package(www, base, package,
                  f'<action type="unzip" file="${{this_file}}" where="{a}\\zips"/>'
                  f'<action type="unzip" file="{a}\\zips\\flagged.zip" where="{a}"/>'
                  f'<action type="unzip" file="{a}\\zips\\unflagged.zip" where="{a}"/>')
    install(wine, app, base)
    try:
        log = run_update(wine, work)
        assert "解压文件出错" not in log, log
        assert (app / "中文" / "说明.txt").read_bytes() == b"python", tree(app)
        assert (app / "旧版" / "说明.txt").read_bytes() == b"info-zip", tree(app)
    finally:
        shutil.rmtree(www, ignore_errors=True)


def case_resume(wine, work):
    www, base = nginx_folder("wine-resume")
    servers = pathlib.Path(os.environ["UPDATER_SERVERS_DIR"])
    faults = f"http://127.0.0.1:{(servers / 'faultserver.port').read_text().strip()}"
    work = pathlib.Path(work)
    app = work / "Velmar Acc"
    app.mkdir()
    package = os.urandom(300 * 1024)
    (www / "1.0.0.0").mkdir(parents=True)
    (www / "pkg.bin").write_bytes(package)
    cut = f"/cut/{www.name}/pkg.bin"
    url = f"{faults}{cut}?percent=40&amp;file={www.name}/pkg.bin"
    (www / "1.0.0.0" / "update.xml").write_bytes(f"""<?xml version="1.0" encoding="GBK"?>
<updateinfo version="1.1.0.0"><package name="p">
  <url>{url}</url><md5>{hashlib.md5(package).hexdigest()}</md5>
  <actions><action type="copy" from="${{this_file}}" to="${{app_path}}\\pkg.bin"/></actions>
</package></updateinfo>
""".encode("gbk"))
    install(wine, app, base)
    try:
        log = run_update(wine, work)
        assert log.count("下载文件: ") == 3 and "文件校验正确" in log and "更新完毕" in log, log
        assert (app / "pkg.bin").read_bytes() == package, "the package arrived whole"
        with urllib.request.urlopen(f"{faults}/__requests?prefix={cut}") as answer:
            asked = json.load(answer)
        ranges = [(dict(a["headers"]).get("Range"), dict(a["headers"]).get("If-Range"))
                  for a in asked]
        step = len(package) * 40 // 100
        tag = f'"cut-{len(package)}"'
        assert ranges == [(None, None), (f"bytes={step}-", tag), (f"bytes={2 * step}-", tag)], \
            ranges
        sent = sum(a["sent"] for a in asked)
        assert sent <= 1.05 * len(package), f"{sent} bytes sent for {len(package)}"
        print(f"resume: {sent} bytes sent for a package of {len(package)}")
    finally:
        shutil.rmtree(www, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    cases = {"not_installed": case_not_installed, "auto_run": case_auto_run,
             "gbk_actions": case_gbk_actions, "atomic_rolled_back": case_atomic,
             "atomic_killed": lambda wine, work: case_atomic(wine, work, True),
             "files_in_use": case_files_in_use, "decoy_program": case_decoy_program,
             "zip_names": case_zip_names, "dpi_layout": case_dpi_layout,
             "resume": case_resume}
    parser.add_argument("case", choices=sorted(cases))
    parser.add_argument("--wine", required=True)
    parser.add_argument("--updater", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--test-window", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--bits", type=int, choices=(32, 64), default=32)
    args = parser.parse_args()
    if args.bits == 64:
        global OWN_VIEW, OTHER_VIEW, SYSTEM_FOLDER
        OWN_VIEW, OTHER_VIEW, SYSTEM_FOLDER = "/reg:64", "/reg:32", "system32"
    work = pathlib.Path(args.work) / args.case
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    wine = Wine(args)
    cases[args.case](wine, str(work))
    print(f"{args.case}: ok")


if __name__ == "__main__":
    sys.exit(main())
