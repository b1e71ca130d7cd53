#!/usr/bin/env python3
"""Atomic updates with the real updater in console mode: a manifest of two
packages whose actions cover every action that can be undone (unzip over
existing files, copy and move, mkdir, remove of a file and of a tree, registry
string, DWORD, binary patch and deletes, shortcut create, update and delete).

    atomic_matrix.py UPDATER REG_TOOL RESULTS CASE   # exit 0 held, 1 failed
    atomic_matrix.py UPDATER REG_TOOL RESULTS all
    atomic_matrix.py --list

fail_N: a program that ends with code 1 runs after the first N actions; the
installation (names, bytes, modes, times), the registry export and the
shortcuts must be exactly as before, the version not recorded.
killed_N: the updater is killed (SIGKILL) while a waited-for program runs
after the first N actions; the next start restores everything as it was, and
a start after that completes the update to the same state as a run that was
never cut short.
"""

import os
import re
import signal
import stat
import sys
import time
from xml.sax.saxutils import quoteattr

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True
import fault_matrix as fm  # noqa: E402
from e2e_checks import CheckFailed, check, in_order  # noqa: E402

ROLLED_BACK = "更新失败，已恢复原来的版本\r\n"
RESTORED = "上次更新没有完成，已恢复原来的版本\r\n"
INCOMPLETE = "更新未完成，下次启动时将重试\r\n"
FINISHED = "更新完毕\r\n"
TIME = 1500000000 * 10**9  # every file's time before the run
TEST_KEY = r"Software\Velmar Test"


def file_actions():
    return [
        ('<action type="unzip" file="${this_file}" where="${app_path}/data"/>'),
        ('<action type="copy" from="${app_path}/data/new.txt" to="${app_path}/conf.ini" '
         'move="false" overwrite="true"/>'),
        ('<action type="copy" from="${app_path}/old.bin" to="${app_path}/moved.bin" '
         'move="true"/>'),
        '<action type="mkdir" dir="${app_path}/logs/2026/12"/>',
        '<action type="remove" path="${app_path}/junk.txt"/>',
        '<action type="remove" path="${app_path}/cache"/>',
    ]


def other_actions():
    hklm = "HKLM\\" + TEST_KEY
    return [
        '<action type="registry" key=%s valuename="Name" value="new"/>' % quoteattr(hklm),
        ('<action type="registry" key=%s valuetype="DWORD" valuename="Count" value="7"/>'
         % quoteattr(hklm + "\\Made\\Deeper")),
        ('<action type="registry" key=%s valuetype="BINARY" valuename="Blob" value="hex:aa,bb" '
         'startpos="2"/>' % quoteattr(hklm)),
        '<action type="registry" key=%s valuename="-Gone"/>' % quoteattr(hklm),
        '<action type="registry" key=%s/>' % quoteattr("-HKCU\\" + TEST_KEY + "\\Sub"),
        ('<action type="shortcut" cmd="create" id="0" name="Fresh" '
         'target="${app_path}/bin/app" lnkdesc="fresh"/>'),
        ('<action type="shortcut" cmd="update" id="0" name="Existing" '
         'target="${app_path}/bin/new-app" newitems="target"/>'),
        '<action type="shortcut" cmd="delete" id="0" name="Old"/>',
    ]


def atomic_manifest(zip_url, zip_md5, extra_at=None, extra=""):
    """The two packages; `extra` goes in after the first `extra_at` actions."""
    first, second = file_actions(), other_actions()
    if extra_at is not None and extra_at <= len(first):
        first.insert(extra_at, extra)
    elif extra_at is not None:
        second.insert(extra_at - len(first), extra)
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<updateinfo version="%s" atomic="True">\n'
            '  <package name="files"><description>files</description>\n'
            '    <url>%s</url><md5>%s</md5>\n'
            '    <actions>%s</actions></package>\n'
            '  <package name="settings"><description>settings</description>\n'
            '    <actions>%s</actions></package>\n'
            '</updateinfo>\n') % (fm.NEW, zip_url, zip_md5, "".join(first), "".join(second))


ACTION_COUNT = len(file_actions()) + len(other_actions())


def archive(damaged=False):
    entries = [("a.txt",) + fm.deflated(b"new a"), ("b.txt",) + fm.deflated(b"new b" * 50),
               ("new.txt",) + fm.deflated(b"new file"),
               ("newdir/c.txt",) + fm.deflated(b"new c")]
    if damaged:
        data, size, crc = fm.deflated(b"damaged entry")
        entries.append(("z.txt", data, size, crc ^ 1))
    return fm.zip_of(entries)


def write(path, data, mode=0o644):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    os.chmod(path, mode)
    os.utime(path, ns=(TIME, TIME))


def prepare(w):
    """The installed product as a run finds it: files, registry and shortcuts."""
    w.install()
    app = w.box.app_dir
    write(os.path.join(app, "data", "a.txt"), b"old a")
    write(os.path.join(app, "data", "b.txt"), b"old b", 0o755)
    write(os.path.join(app, "data", "keep.txt"), b"kept")
    write(os.path.join(app, "conf.ini"), b"old conf", 0o600)
    write(os.path.join(app, "old.bin"), b"to be moved")
    write(os.path.join(app, "junk.txt"), b"to be removed")
    write(os.path.join(app, "cache", "x"), b"x")
    write(os.path.join(app, "cache", "sub", "y"), b"y", 0o700)
    os.symlink("x", os.path.join(app, "cache", "link"))
    hklm, hkcu = "HKLM\\" + TEST_KEY, "HKCU\\" + TEST_KEY
    w.box.reg("add", hklm, "/v", "Name", "/t", "REG_SZ", "/d", "old", "/f")
    w.box.reg("add", hklm, "/v", "Blob", "/t", "REG_BINARY", "/d", "010203040506", "/f")
    w.box.reg("add", hklm, "/v", "Gone", "/t", "REG_SZ", "/d", "bye", "/f")
    w.box.reg("add", hkcu + "\\Sub", "/v", "One", "/t", "REG_DWORD", "/d", "1", "/f")
    w.box.reg("add", hkcu + "\\Sub\\Inner", "/v", "Two", "/t", "REG_SZ", "/d", "two", "/f")
    w.box.reg("add", hkcu + "\\Sub\\Inner", "/ve", "/t", "REG_BINARY", "/d", "ff00", "/f")
    # The two shortcuts, made by a plain update the product had before.
    setup = ('<?xml version="1.0"?><updateinfo version="1.0.0.5"><package name="s"><actions>'
             '<action type="shortcut" cmd="create" id="0" name="Existing" '
             'target="${app_path}/bin/app" arg="-x"/>'
             '<action type="shortcut" cmd="create" id="0" name="Old" '
             'target="${app_path}/bin/old"/></actions></package></updateinfo>')
    _, url = w.publish("setup.xml", setup)
    w.set_manifest_url(url)
    w.run()
    w.box.install_product(fm.OLD)


def snapshot(w):
    """Names, kinds, bytes, modes and times below the installation (the
    download folder aside, which each start makes), the test keys and the
    product's keys as exported, and the desktop's shortcuts."""
    out = {}
    for place in (w.box.app_dir, w.box.desktop_dir):
        for top, dirs, files in os.walk(place):
            for name in dirs + files:
                path = os.path.join(top, name)
                rel = os.path.relpath(path, w.box.root)
                if rel.split(os.sep)[1:2] == ["download"]:
                    continue
                st = os.lstat(path)
                if stat.S_ISLNK(st.st_mode):
                    out[rel] = ("link", os.readlink(path))
                elif stat.S_ISDIR(st.st_mode):
                    out[rel] = ("dir", stat.S_IMODE(st.st_mode))
                else:
                    with open(path, "rb") as f:
                        out[rel] = ("file", stat.S_IMODE(st.st_mode), st.st_mtime_ns,
                                    fm.md5(f.read()))
    for key in ("HKLM\\" + TEST_KEY, "HKCU\\" + TEST_KEY, fm.PRODUCT_KEY,
                r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\VELMAR ACC"):
        target = os.path.join(w.box.work_dir, "export.reg")
        try:
            w.box.reg("export", key, target, "/y")
            with open(target, "rb") as f:
                out[key] = f.read()
            os.remove(target)
        except Exception:
            out[key] = None
    return out


def differences(a, b):
    keys = sorted(set(a) | set(b), key=str)
    return "; ".join("%s: %r -> %r" % (k, a.get(k), b.get(k)) for k in keys
                     if a.get(k) != b.get(k))[:3000]


def serve(w, extra_at=None, extra="", damaged=False):
    data = archive(damaged)
    _, zip_url = w.publish("files.zip", data)
    _, url = w.publish("update.xml", atomic_manifest(zip_url, fm.md5(data), extra_at, extra))
    w.set_manifest_url(url)


def no_rollback_left(w):
    check(not os.path.exists(os.path.join(w.box.app_dir, "rollback")), "rollback folder left")


def expect_restored(w, before, run, message):
    check(message in run.log, "no %r" % message, run.log)
    check(FINISHED not in run.log, "reported as finished", run.log)
    after = snapshot(w)
    check(after == before, "not as before", differences(before, after))
    check(w.installed_version() == fm.OLD, "version now %s" % w.installed_version())
    no_rollback_left(w)


def completed_state(w):
    """The state a whole run leaves, measured on a sandbox of its own."""
    other = fm.World(w.name + "-reference", w.updater, w.box.reg_tool)
    try:
        prepare(other)
        serve(other)
        run = other.run()
        check(in_order(run.log, ["settings\r\n", FINISHED]), "the reference run failed", run.log)
        return snapshot_relative(other)
    finally:
        other.close()


def snapshot_relative(w):
    """A snapshot that compares across sandboxes: the sandbox's own path in
    the registry data and shortcuts replaced by a marker."""
    root = w.box.root

    def relative(data):
        data = data.replace(root.encode(), b"<root>").replace(root.encode("utf-16-le"), b"<r>")
        return re.sub(rb'"updateurl"="[^"]*"', b"", data)

    out = {}
    for key, value in snapshot(w).items():
        if isinstance(value, bytes):
            value = relative(value)
        elif value[0] == "file" and key.startswith("Desktop"):
            # A shortcut holds its target's path, and the time it was saved.
            with open(os.path.join(root, key), "rb") as f:
                value = value[:2] + (fm.md5(relative(f.read())),)
        out[key] = value
    return out


def fail_case(k):
    def run_case(w):
        prepare(w)
        serve(w, k, '<action type="run" cmd="/bin/false" description="fails"/>')
        before = snapshot(w)
        run = w.run()
        check("fails\r\n" in run.log, "the failing program did not run", run.log)
        expect_restored(w, before, run, ROLLED_BACK)
    return run_case


def killed_case(k):
    def run_case(w):
        prepare(w)
        before = snapshot(w)
        flags = os.path.join(w.box.root, "home")
        script = os.path.join(flags, "pause.sh")
        with open(script, "w") as f:
            f.write('#!/bin/sh\n[ -e "%s/pass" ] && exit 0\necho $$ > "%s/paused.tmp"\n'
                    'mv "%s/paused.tmp" "%s/paused"\nexec sleep 60\n' % ((flags,) * 4))
        os.chmod(script, 0o755)
        serve(w, k, '<action type="run" cmd=%s description="paused"/>' % quoteattr(script))
        process = w.start()
        paused = os.path.join(flags, "paused")
        deadline = time.time() + 60
        while not os.path.exists(paused):
            check(process.poll() is None, "the updater ended before the pause", w.log())
            check(time.time() < deadline, "never paused", w.log())
            time.sleep(0.01)
        process.send_signal(signal.SIGKILL)
        # The paused program holds the updater's output open: it goes too.
        with open(paused) as f:
            os.kill(int(f.read()), signal.SIGKILL)
        os.remove(paused)
        process.communicate()
        check(process.returncode == -signal.SIGKILL, "killed (status %d)" % process.returncode)
        check(os.path.exists(os.path.join(w.box.app_dir, "rollback", "journal")), "no journal")
        # A start that cannot fetch the manifest still puts everything back.
        _, manifest_url = w.publish("update.xml.missing", "")
        os.remove(os.path.join(w.web, "update.xml.missing"))
        w.set_manifest_url(manifest_url)
        run = w.run()
        w.set_manifest_url(w.nginx + "/" + w.web_rel + "/update.xml")
        before_without_url = dict(before)
        after = snapshot(w)
        for key in (fm.PRODUCT_KEY,):
            before_without_url.pop(key)
            after.pop(key)
        check(RESTORED in run.log, "no %r" % RESTORED, run.log)
        check(w.installed_version() == fm.OLD, "version now %s" % w.installed_version())
        check(after == before_without_url, "not as before", differences(before_without_url, after))
        no_rollback_left(w)
        # The next start completes the update.
        open(os.path.join(flags, "pass"), "w").close()
        run = w.run()
        check(in_order(run.log, ["paused\r\n", FINISHED]), "not completed", run.log)
        check(RESTORED not in run.log, "restored twice", run.log)
        check(w.installed_version() == fm.NEW, "version now %s" % w.installed_version())
        os.remove(os.path.join(flags, "pass"))
        os.remove(script)
        done = snapshot_relative(w)
        reference = completed_state(w)
        check(done == reference, "not as a whole run leaves it", differences(reference, done))
        no_rollback_left(w)
    return run_case


def unzip_damaged_entry(w):
    """The unpacking itself fails at its last entry, after writing over
    existing files: everything is put back."""
    prepare(w)
    serve(w, damaged=True)
    before = snapshot(w)
    run = w.run()
    expect_restored(w, before, run, ROLLED_BACK)


def killed_mid_unzip(w):
    """Killed while a 256 MiB entry is written over an existing file, after
    other entries replaced theirs: the next start puts every file back."""
    prepare(w)
    big = os.path.join(w.box.app_dir, "data", "big.bin")
    write(big, b"old big")
    entries = [("a.txt",) + fm.deflated(b"new a"), ("big.bin",) + fm.deflated_zeros(256)]
    data = fm.zip_of(entries)
    _, zip_url = w.publish("files.zip", data)
    _, url = w.publish("update.xml", atomic_manifest(zip_url, fm.md5(data)))
    w.set_manifest_url(url)
    before = snapshot(w)
    process = w.start()
    journal = os.path.join(w.box.app_dir, "rollback", "journal")
    deadline = time.time() + 60
    while True:
        check(process.poll() is None, "the updater ended before the entry", w.log())
        check(time.time() < deadline, "the entry was never begun", w.log())
        if os.path.exists(journal):
            with open(journal, "rb") as f:
                if big.encode() in f.read():
                    break
        time.sleep(0.002)
    time.sleep(0.05)
    w.kill(process)
    _, missing = w.publish("gone.xml", "")
    os.remove(os.path.join(w.web, "gone.xml"))
    w.set_manifest_url(missing)
    run = w.run()
    w.set_manifest_url(url)
    check(RESTORED in run.log, "no %r" % RESTORED, run.log)
    after = snapshot(w)
    before.pop(fm.PRODUCT_KEY)
    after.pop(fm.PRODUCT_KEY)
    check(after == before, "not as before", differences(before, after))
    no_rollback_left(w)


def hive_read_only(w):
    """The machine hive cannot be written: the first registry write fails, the
    files are put back, and the undo of the write that never happened does
    not keep the journal for ever."""
    prepare(w)
    serve(w)
    os.chmod(w.hive(), 0o444)
    before = snapshot(w)
    run = w.run()
    expect_restored(w, before, run, ROLLED_BACK)
    run = w.run()
    check(RESTORED not in run.log and ROLLED_BACK in run.log, "the journal stayed", run.log)


def a_file_missing(w):
    """The second package's file cannot be had: no action of the first runs."""
    prepare(w)
    data = archive()
    _, zip_url = w.publish("files.zip", data)
    text = atomic_manifest(zip_url, fm.md5(data)).replace(
        '<actions><action type="registry"',
        '<url>%s/%s/absent.bin</url><actions><action type="registry"' % (w.nginx, w.web_rel), 1)
    _, url = w.publish("update.xml", text)
    w.set_manifest_url(url)
    before = snapshot(w)
    run = w.run()
    check(in_order(run.log, ["文件无法下载，请与Korrin公司联系\r\n", INCOMPLETE]), "not incomplete",
          run.log)
    check("解压" not in run.log, "an action ran", run.log)
    after = snapshot(w)
    check(after == before, "changed", differences(before, after))
    check(w.installed_version() == fm.OLD, "version now %s" % w.installed_version())


def completes(w):
    """Nothing fails: the update is in place, the rollback folder gone."""
    prepare(w)
    serve(w)
    run = w.run()
    check(in_order(run.log, ["files\r\n", "settings\r\n", FINISHED]), "not finished", run.log)
    check(w.installed_version() == fm.NEW, "version now %s" % w.installed_version())
    app = w.box.app_dir
    with open(os.path.join(app, "data", "a.txt"), "rb") as f:
        check(f.read() == b"new a", "a.txt not replaced")
    check(not os.path.exists(os.path.join(app, "cache")), "tree not removed")
    check(os.path.exists(os.path.join(app, "moved.bin")), "not moved")
    no_rollback_left(w)


CASES = {"completes": completes, "unzip_damaged_entry": unzip_damaged_entry,
         "killed_mid_unzip": killed_mid_unzip, "hive_read_only": hive_read_only,
         "a_file_missing": a_file_missing}
for _k in range(ACTION_COUNT + 1):
    CASES["fail_%02d" % _k] = fail_case(_k)
    CASES["killed_%02d" % _k] = killed_case(_k)


if __name__ == "__main__":
    # The fault matrix's driver, over these cases: the same verdict files and
    # the same checks that nothing outside the sandbox changed.
    fm.CASES.clear()
    fm.CASES.update(CASES)
    sys.exit(fm.main(sys.argv))
