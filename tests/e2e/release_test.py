#!/usr/bin/env python3
"""A release end to end: `updater-manifest release` over OLD and NEW into a
folder nginx serves, signed by minisign, the real updater run once on an
installation of OLD (on POSIX; under Wine the Windows tool releases for the
product's clients from folders with Chinese names and updater.exe installs).

    release_test.py UPDATER REG_TOOL MANIFEST_TOOL
    release_test.py --wine WINE UPDATER_EXE DIALOG_PROBE MANIFEST_TOOL_EXE WORK BITS
"""

import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True
from e2e_checks import check, run_wine  # noqa: E402
from signed_manifest_test import PosixClient, WineClient, World, lines_of  # noqa: E402

VERSION = "1.1.0.0"
OLD_TIME = 1623752430  # even seconds, which a zip keeps
NEW_TIME = OLD_TIME + 86400
PROGRAM = bytes((i * 7919 + i // 251) % 256 for i in range(1 << 20))

# path: (bytes or None for a folder, executable). Every kind of change, once;
# 淺 (9C 5C) and 乗 (81 5C) have GBK trail bytes equal to "\".
OLD = {"program.bin": (PROGRAM, False), "readme.txt": (b"1.0\n", False),
       "help/sub/b.txt": (b"b\n", False), "swap/x.txt": (b"x\n", False),
       "数据/旧的.txt": (b"old\n", False), "数据/保留.txt": (b"kept\n", False),
       "Readme.md": (b"r\n", False), "bin/record.sh": (b"#!/bin/sh\n", False)}
NEW = {"program.bin": (PROGRAM, False), "readme.txt": (b"1.1\n", False),
       "淺色/乗.txt": (b"light\n", False), "logs/2026": (None, False), "swap": (b"file\n", False),
       "数据/保留.txt": (b"kept\n", False), "README.md": (b"r\n", False),
       "bin/record.sh": (b"#!/bin/sh\n", True)}


def make_tree(root, files, base=None):
    """Writes the tree; a file that `base` holds with the same bytes keeps the
    old time, as a build that did not touch it would."""
    for path, (data, executable) in files.items():
        full = os.path.join(root, *path.split("/"))
        os.makedirs(full if data is None else os.path.dirname(full), exist_ok=True)
        if data is not None:
            pathlib.Path(full).write_bytes(data)
            os.chmod(full, 0o755 if executable else 0o644)
            when = OLD_TIME if base is None or base.get(path, (None,))[0] == data else NEW_TIME
            os.utime(full, (when, when))


def snapshot(root, modes):
    """Each path below root with what an installation must match."""
    tree = {}
    for top, dirs, files in os.walk(root):
        for name in dirs + files:
            full = os.path.join(top, name)
            st = os.lstat(full)
            tree[os.path.relpath(full, root)] = "folder" if name in dirs else (
                pathlib.Path(full).read_bytes(), int(st.st_mtime), modes and st.st_mode & 0o111)
    return tree


def tool(argv, wine=None):
    done = run_wine(([wine] if wine else []) + argv, timeout=120)
    return done.returncode, (done.stdout + done.stderr).decode("gbk" if wine else "utf-8", "replace")


def served_bytes(w, name):
    """Requests for the file and the body bytes nginx sent for them."""
    pattern = re.compile(r'"GET /%s/%s[^"]*" \d+ (\d+)' % (re.escape(w.rel), re.escape(name)))
    with open(w.access_log, errors="replace") as f:
        sent = [int(m.group(1)) for m in map(pattern.search, f) if m]
    return len(sent), sum(sent)


def installs_new(w, manifest_tool, wine=None):
    work = os.path.dirname(w.keys)
    old, new = os.path.join(work, "旧版 1.0"), os.path.join(work, "新版 1.1")
    make_tree(old, OLD)
    make_tree(new, NEW, OLD)
    shutil.rmtree(w.web)
    path = w.client.windows_path if wine else (lambda p: p)
    argv = [manifest_tool, "release", path(old), path(new), "--version", VERSION,
            "--base-url", "%s/%s" % (w.base, w.rel), "-o", path(w.web)]
    status, out = tool(argv + ([] if wine else ["--client", "posix"]), wine)
    check(status == 0, "release exit %d" % status, out)
    zips = [n for n in os.listdir(w.web) if n.endswith(".zip")]
    check(len(zips) == 1 and sorted(os.listdir(w.web)) == sorted(zips + ["update.xml"]),
          "one zip and the manifest", str(os.listdir(w.web)))
    zip_size = os.path.getsize(os.path.join(w.web, zips[0]))
    manifest = os.path.join(w.web, "update.xml")
    pub = os.path.join(w.keys, "a.pub")
    w.key("a")

    if not wine:
        status, out = tool([manifest_tool, "lint", "--pubkey", pub, manifest])
        check(status == 0 and out == "", "lint clean", out)
        status, out = tool([manifest_tool, "plan", manifest, "--installed", "1.0.0.0",
                            "--app-path", w.client.app_dir])
        changes = ["    readme.txt (mode 644)", "    淺色/乗.txt", "    bin/record.sh (mode 755)",
                   "    swap (mode 644)", "    README.md"] + ['= "%s/%s"' % (w.client.app_dir, p) for p in
                                                               ("help/sub", "swap", "logs/2026")]
        missing = [c for c in changes if c not in out]
        check(status == 0 and not missing, "plan shows the changes: missing %s" % missing, out)
        check("program.bin" not in out and "保留" not in out, "plan: unchanged files stay", out)

    subprocess.run(["minisign", "-S", "-s", os.path.join(w.keys, "a.key"), "-m", manifest],
                   check=True, capture_output=True)
    if not wine:
        status, out = tool([manifest_tool, "verify", "%s/%s/update.xml" % (w.base, w.rel),
                            "--pubkey", pub])
        check(status == 0, "verify passes", out)
    before = served_bytes(w, zips[0])

    # The registry says 1.0.0.0 since the world was made; OLD is what is there.
    shutil.rmtree(w.client.app_dir)
    shutil.copytree(old, w.client.app_dir)
    w.trust("a")
    got = lines_of(w.run())
    check(got[-1] == "更新完毕" and "更新信息签名正确" in got, "updated", "\n".join(got))
    check(w.recorded_version() == VERSION, "version %s" % w.recorded_version())
    got, want = snapshot(w.client.app_dir, not wine), snapshot(new, not wine)
    check(got == want, "installation is NEW", "%s\n%s" % (sorted(got), sorted(want)))
    count, sent = (now - then for now, then in zip(served_bytes(w, zips[0]), before))
    check(count == 1 and sent == zip_size < len(PROGRAM),
          "one download of %d bytes, the zip's size (%d requests, %d bytes)" % (zip_size, count, sent))
    print("product %d bytes, package %d bytes" %
          (sum(len(d) for d, _ in NEW.values() if d is not None), zip_size))


def main():
    args = sys.argv[1:]
    with tempfile.TemporaryDirectory(prefix="release-") as root:
        if args[0] == "--wine":
            wine, updater, probe, manifest_tool, work, bits = args[1:]
            root = os.path.join(os.path.abspath(work), "release")
            shutil.rmtree(root, ignore_errors=True)
            os.makedirs(root)
            client = WineClient(root, wine, updater, probe, int(bits))
            installs_new(World(root, client, "release"), manifest_tool, wine)
        else:
            updater, reg_tool, manifest_tool = (os.path.abspath(a) for a in args)
            installs_new(World(root, PosixClient(root, updater, reg_tool), "release"), manifest_tool)
    print("ok release installs NEW")


if __name__ == "__main__":
    main()
