#!/usr/bin/env python3
"""The updater's console front-end end to end: a sandbox installation, its own
registry, the demo manifest on a local HTTP server, the real binary.

    console_test.py UPDATER REG_TOOL CASE
"""

import os
import pty
import select
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "scripts", "lib"))
import sandbox  # noqa: E402
from e2e_checks import check, in_order  # noqa: E402

UPDATER, REG_TOOL = (os.path.abspath(p) for p in sys.argv[1:3])
PROMPT = "按回车键开始更新，输入 q 关闭: "


def console_env(box):
    env = box.env(UPDATER_UI="console")
    env.pop("DISPLAY", None)
    return env


def run(box, args, stdin=b"", timeout=60):
    return subprocess.run([UPDATER, *args], cwd=box.work_dir, env=console_env(box), input=stdin,
                          capture_output=True, timeout=timeout)


def installed(box):
    box.install_product("1.0.0.0")


def case_auto_without_input_runs_one_update_and_exits(box, server):
    installed(box)
    done = run(box, ["-auto"])
    out = done.stdout.decode()
    log = box.log() or ""
    check(done.returncode == 0, "exit status %d" % done.returncode, done.stderr.decode())
    check(in_order(log, ["开始时间: ", "\r\n检查更新信息\r\n", "分析更新信息\r\n", "开始更新\r\n",
                         "更新说明文件\r\n", "下载文件: %s/packages/readme.txt\r\n" % server.base_url,
                         "检验下载文件\r\n", "文件校验正确\r\n", "安装 readme.txt\r\n",
                         "新增更新记录\r\n",
                         "下载文件: %s/packages/changes.txt\r\n" % server.base_url,
                         "文件校验正确\r\n", "安装 doc/changes.txt\r\n", "更新完毕\r\n",
                         "结束时间: "]),
          "log lines", log)
    check(log.endswith("\r\r\n\r\n"), "the end-time line leaves an empty line", repr(log[-40:]))
    check(box.installed_version() == "1.1.0.0", "cert now %s" % box.installed_version())
    check(box.query(sandbox.UNINSTALL_KEY, "DisplayVersion") == "1.1.0.0", "DisplayVersion")
    check(not os.path.exists(os.path.join(box.app_dir, "download")), "download folder deleted")
    # The archive unpacked into the installation, the registry values, the
    # product's own program run and waited for, and the desktop shortcut.
    check(sandbox.md5_of(os.path.join(box.app_dir, "plugins", "export.ini")) ==
          sandbox.md5_of(os.path.join(sandbox.DATA, "program", "plugins", "export.ini")),
          "plugins/export.ini unpacked")
    check(os.path.isdir(os.path.join(box.app_dir, "data", "cache")), "data/cache made")
    check(box.query(sandbox.PRODUCT_KEY, "UpdateNote") == "ledger export added in 1.1.0.0",
          "UpdateNote written")
    check(box.query(sandbox.PRODUCT_KEY, "Build") == "0x6e", "Build written")
    with open(os.path.join(box.app_dir, "installed.txt"), encoding="utf-8") as f:
        check(f.read().startswith("Velmar Acc 1.1.0.0 installed on "), "installed.txt written")
    check(os.path.isfile(os.path.join(box.desktop_dir, "Velmar Acc.lnk")), "shortcut created")
    for installed_file, package_file in (("readme.txt", "readme.txt"),
                                         ("doc/changes.txt", "changes.txt")):
        check(sandbox.md5_of(os.path.join(box.app_dir, installed_file)) ==
              sandbox.md5_of(os.path.join(sandbox.DATA, "packages", package_file)),
              installed_file + " installed")
    # What the console showed: the header, each status line as it was shown,
    # the latest version, and no bars (standard output is no terminal).
    check(in_order(out, ["Velmar Updater\n", "当前版本号：1.0.0.0\n", "检查更新信息\n",
                         "分析更新信息\n", "最新版本号：1.1.0.0\n", "开始更新\n", "更新完毕\n",
                         PROMPT]), "console output", out)
    check("\r" not in out and "[#" not in out and "[-" not in out, "no bars without a terminal",
          out)
    check(out.count(PROMPT) == 1, "one prompt, then the end of input closes", out)


def case_not_installed_prints_the_message_and_exits(box, server):
    done = run(box, ["-auto"])
    check(done.returncode == 0, "exit status %d" % done.returncode)
    check(done.stderr.decode() == "updater: Please install Velmar Acc first.\n",
          "the install message captioned with the program's name", done.stderr.decode())
    check(done.stdout == b"", "no dialog", done.stdout.decode())
    check(box.log() is None, "nothing logged")


def case_other_command_lines_stay_idle(box, server):
    installed(box)
    for args in ([], ["-auto", "x"], ["/auto"], ["-auto "], ["--auto"]):
        done = run(box, args)
        out = done.stdout.decode()
        check(done.returncode == 0, "%r: exit status %d" % (args, done.returncode))
        check(out.count(PROMPT) == 1 and "检查更新信息" not in out, "%r: idle" % (args,), out)
        check(box.log() is None, "%r: nothing logged" % (args,), box.log() or "")
    check(box.installed_version() == "1.0.0.0", "version untouched")


def case_each_enter_runs_the_same_update_again(box, server):
    installed(box)
    # The second run compares against the version read at start-up, so it
    # installs 1.1.0.0 once more; "q" then closes.
    done = run(box, [], stdin=b"\n\nq\nnot read\n")
    log = box.log() or ""
    out = done.stdout.decode()
    check(done.returncode == 0, "exit status %d" % done.returncode)
    check(log.count("开始时间: ") == 2 and log.count("更新完毕\r\n") == 2, "two runs", log)
    check(out.count(PROMPT) == 3, "asked three times", out)
    check(box.installed_version() == "1.1.0.0", "version")


def case_message_box_is_printed_and_the_run_goes_on(box, server):
    installed(box)
    with open(os.path.join(sandbox.DATA, "update.xml.in"), encoding="utf-8") as f:
        template = f.read()
    box.publish(server.base_url, template.replace("@MD5:readme.txt@", "0" * 32))
    done = run(box, ["-auto"])
    out = done.stdout.decode()
    log = box.log() or ""
    check(done.returncode == 0, "exit status %d" % done.returncode)
    check(log.count("文件校验错误，重新下载\r\n") == 3, "three attempts", log)
    check(in_order(out, ["文件无法下载，请与Korrin公司联系\n",
                         "updater: 文件无法下载，请与Korrin公司联系\n", "跳过此更新包\n",
                         "新增更新记录\n", "更新未完成，下次启动时将重试\n"]),
          "message box printed, package skipped, run continued", out)
    check("安装 readme.txt" not in log, "the skipped package's copy ran", log)
    check(box.installed_version() == "1.0.0.0", "version recorded after a skipped package")


def case_output_nobody_reads_does_not_stop_the_update(box, server):
    installed(box)
    read, write = os.pipe()
    os.close(read)  # every write to standard output fails from the first one
    done = subprocess.run([UPDATER, "-auto"], cwd=box.work_dir, env=console_env(box),
                          stdin=subprocess.DEVNULL, stdout=write, stderr=subprocess.PIPE,
                          timeout=60)
    os.close(write)
    check(done.returncode == 0, "exit status %d" % done.returncode, done.stderr.decode())
    check("结束时间: " in (box.log() or ""), "the run went to its end", box.log() or "")
    check(box.installed_version() == "1.1.0.0", "version recorded")


def case_terminal_draws_the_bars_in_place(box, server):
    installed(box)
    pid, fd = pty.fork()
    if pid == 0:
        os.chdir(box.work_dir)
        os.execve(UPDATER, [UPDATER, "-auto"], console_env(box))
    out = b""
    deadline = time.time() + 60
    sent = False
    while time.time() < deadline:
        ready, _, _ = select.select([fd], [], [], 1)
        if not ready:
            continue
        try:
            data = os.read(fd, 4096)
        except OSError:
            break
        if not data:
            break
        out += data
        if not sent and "更新完毕".encode() in out and out.endswith(PROMPT.encode()):
            os.write(fd, b"q\n")
            sent = True
    _, status = os.waitpid(pid, 0)
    text = out.decode("utf-8", "replace")
    check(os.WEXITSTATUS(status) == 0, "exit status", text)
    check("\r当前文件 [" in text and "  全  部 [" in text, "bar line drawn in place", text)
    # The last drawing of the run shows both bars full, and is kept on screen.
    last = text[:text.rfind(PROMPT)]
    last = last[last.rfind("\r当前文件"):]
    check("100%   " in last and last.rstrip("\r\n\x1b[K").endswith("100%"), "bars full", last)
    # Status lines clear the bar line before they are printed.
    check("\r\x1b[K更新完毕\r\n" in text, "status line above the bars", text)


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}


def main():
    case = CASES[sys.argv[3]]
    with tempfile.TemporaryDirectory(prefix="updater-e2e-") as root:
        with sandbox.serving(root, REG_TOOL) as (box, server):
            case(box, server)
    print("ok", sys.argv[3])


if __name__ == "__main__":
    main()
