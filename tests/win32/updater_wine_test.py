#!/usr/bin/env python3
"""updater.exe under Wine, as a user on Windows starts it.

  updater_wine_test.py CASE --wine WINE --updater EXE --probe EXE --work DIR

Cases:
  not_installed   no product key: only the "Please install" box, then the end
  auto_run        "-auto" against nginx: the posted click runs the whole update,
                  the dialog stays open with both buttons enabled; a screenshot
                  of it is kept in DIR/win32-dialog-auto.png
  atomic_rolled_back  an atomic update whose last program fails: files and
                  registry as before, the version not recorded
  atomic_killed   the same, ended during that program: the next start puts
                  everything back

The environment names the Wine prefix (WINEPREFIX), the display (DISPLAY) and
the servers' folder (UPDATER_SERVERS_DIR). Texts on the Windows side are GBK.
"""
import argparse
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

    def run(self, *argv, cwd=None, check=True, timeout=60):
        result = subprocess.run([self.wine, *argv], cwd=cwd, capture_output=True,
                                timeout=timeout)
        if check and result.returncode != 0:
            raise AssertionError(f"{argv} exited with {result.returncode}: "
                                 f"{result.stdout!r} {result.stderr!r}")
        return result

    def reg(self, *argv, check=True):
        return self.run("reg", *argv, check=check)

    def reg_value(self, key, name):
        out = self.reg("query", key, "/v", name, check=False).stdout.decode("gbk", "replace")
        for line in out.splitlines():
            parts = line.split(None, 2)
            if len(parts) == 3 and parts[0].lower() == name.lower():
                return parts[1], parts[2].strip()
        return None

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


def clear_keys(wine):
    for key in (r"HKLM\SOFTWARE\VELMAR", UNINSTALL_KEY):
        wine.reg("delete", key, "/f", check=False)


def screenshot(path):
    ids = subprocess.run(["xwininfo", "-name", "Velmar Updater"], capture_output=True, text=True)
    window = next((line.split()[3] for line in ids.stdout.splitlines()
                   if line.startswith("xwininfo: Window id:")), None)
    if window is None:
        raise AssertionError("the dialog has no X window to photograph")
    subprocess.run(["import", "-window", window, str(path)], check=True)


def case_not_installed(wine, work):
    clear_keys(wine)
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


def web_folder(kind):
    """A folder of its own below nginx's root, and its URL."""
    servers = pathlib.Path(os.environ["UPDATER_SERVERS_DIR"])
    port = (servers / "nginx.port").read_text().strip()
    tag = f"wine-{kind}-{os.getpid()}"
    www = pathlib.Path((servers / "nginx.root").read_text().strip()) / tag
    return www, f"http://127.0.0.1:{port}/{tag}"


def case_auto_run(wine, work):
    www, base = web_folder("auto")
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
    <actions><action type="copy" from="${{this_file}}" to="${{app_path}}\\readme.txt"/></actions>
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
        # Two packages, each counted once downloaded and once carried out.
        assert state["total"] == "4/4", state
        assert state["file"] == f"{len(readme)}/{len(readme)}", state

        text = log.read_bytes()
        assert text.endswith(b"\r\n"), "log lines end in CR LF"
        for line in ("检查更新信息", "分析更新信息", "开始更新", "文件校验正确", "建立目录", "更新完毕"):
            assert line.encode("gbk") in text, line
        assert (app / "bin" / "core.dat").read_bytes() == core
        assert (app / "readme.txt").read_bytes() == readme
        assert not (app / "download").exists(), "the download folder is deleted"
        assert wine.reg_value(UNINSTALL_KEY, "DisplayVersion") == ("REG_SZ", "1.2.0.5")
        assert wine.reg_value(PRODUCT_KEY, "cert") is not None

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
    www, base = web_folder("atomic")
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
             "atomic_rolled_back": case_atomic_rolled_back,
             "atomic_killed": lambda wine, work: case_atomic_rolled_back(wine, work, True)}
    parser.add_argument("case", choices=sorted(cases))
    parser.add_argument("--wine", required=True)
    parser.add_argument("--updater", required=True)
    parser.add_argument("--probe", required=True)
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
