#!/usr/bin/env python3
"""The fault matrix: the real updater in console mode ("updater -auto" with no
input, UPDATER_UI=console) in a sandbox of its own, against every fault the
fault server injects at the manifest and at a package, a full disk during the
download and during the extraction, a read-only installation folder, a
registry hive that is read-only, locked by another process or corrupt, and the
updater killed (SIGKILL) during a download, an extraction and a registry
write and then started again; and the cases that show that nothing is lost:
a damaged entry or a full disk over existing files, a kill while a file is
being replaced, a copy onto itself, an endless package on a small volume, and
a package that did not arrive installed by the next run.

    fault_matrix.py UPDATER REG_TOOL RESULTS CASE   # exit 0 held, 1 failed, 77 skipped
    fault_matrix.py UPDATER REG_TOOL RESULTS all    # every case, then a table
    fault_matrix.py --list

The servers are the ctest fixtures (tests/e2e/servers.cmake): their ports are
read from $UPDATER_SERVERS_DIR. Each case writes RESULTS/<case>.txt: "held",
"failed: ..." or "skipped: ...", and the table reads those files.

Every case states what must hold and checks it; besides, in every case the
updater ends by itself with status 0, every registry hive that is not meant to
be damaged passes SQLite's integrity check, and nothing outside the sandbox is
touched: the sandbox's own folder holds only what the case made, and the
places the updater would write to if the sandbox leaked (the machine hive in
/var/lib/velmar, the caller's home folders, the system's application and
autostart folders) are as they were.
"""

import hashlib
import json
import os
import shutil
import signal
import sqlite3
import struct
import subprocess
import sys
import tempfile
import time
import urllib.request
import zlib
from xml.sax.saxutils import escape

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts", "lib"))
sys.dont_write_bytecode = True
import sandbox  # noqa: E402
from e2e_checks import CheckFailed, check, in_order  # noqa: E402

PRODUCT_KEY = sandbox.PRODUCT_KEY
OLD, NEW = "1.0.0.0", "1.1.0.0"
SKIP = 77

# The places a leaking sandbox would reach.
REAL_HOME = os.path.expanduser("~")
OUTSIDE = ["/var/lib/velmar", os.path.join(REAL_HOME, ".config", "velmar"),
           os.path.join(REAL_HOME, "Desktop"), os.path.join(REAL_HOME, ".config", "autostart"),
           os.path.join(REAL_HOME, ".local", "share", "applications"),
           "/usr/local/share/applications", "/etc/xdg/autostart"]


class Skip(Exception):
    pass


def pattern(size):
    return bytes(97 + i % 26 for i in range(size))


def md5(data):
    return hashlib.md5(data).hexdigest()


def tree(root):
    """Every file and folder below root with its size and bytes' digest."""
    out = {}
    for top, dirs, files in os.walk(root):
        for d in dirs:
            out[os.path.relpath(os.path.join(top, d), root)] = "<dir>"
        for f in files:
            path = os.path.join(top, f)
            with open(path, "rb") as fh:
                out[os.path.relpath(path, root)] = md5(fh.read())
    return out


def outside_snapshot():
    snap = {}
    for place in OUTSIDE:
        if not os.path.exists(place):
            snap[place] = None
            continue
        entries = {}
        for top, dirs, files in os.walk(place):
            for name in dirs + files:
                path = os.path.join(top, name)
                st = os.lstat(path)
                entries[path] = (st.st_size, st.st_mtime_ns)
        snap[place] = entries
    return snap


def integrity(db):
    """SQLite's own verdict on a hive file. A killed writer may leave a hot
    journal: opening the hive rolls it back, as the next reader would."""
    con = sqlite3.connect(db, timeout=30)
    try:
        return con.execute("PRAGMA integrity_check").fetchone()[0]
    finally:
        con.close()


def zip_of(entries):
    """A zip (no ZIP64) of (name, raw deflate bytes, size, crc) entries."""
    out = b""
    central = b""
    for name, data, size, crc in entries:
        n = name.encode()
        header = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0x5000, 0x52CF, crc,
                             len(data), size, len(n), 0)
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0x5000, 0x52CF,
                               crc, len(data), size, len(n), 0, 0, 0, 0, 0x20, len(out)) + n
        out += header + n + data
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central),
                      len(out), 0)
    return out + central + end


def deflated(data):
    z = zlib.compressobj(9, zlib.DEFLATED, -15)
    return z.compress(data) + z.flush(), len(data), zlib.crc32(data)


def deflated_zeros(mebibytes):
    """A raw deflate stream of that many MiB of zeros, made of one fully
    flushed block repeated, and its size and CRC."""
    z = zlib.compressobj(9, zlib.DEFLATED, -15)
    block = z.compress(bytes(1 << 20)) + z.flush(zlib.Z_FULL_FLUSH)
    end = z.flush(zlib.Z_FINISH)
    crc = 0
    mib = bytes(1 << 20)
    for _ in range(mebibytes):
        crc = zlib.crc32(mib, crc)
    return block * mebibytes + end, mebibytes << 20, crc


class World:
    """One case's sandbox: an installed product (version 1.0.0.0) with its own
    registry, home and work folders, its web folder below the nginx fixture's
    document root, and the way to run the updater in it."""

    def __init__(self, name, updater, reg_tool):
        self.name = name
        self.updater = updater
        self.parent = tempfile.mkdtemp(prefix="fault-matrix-")
        self.box = sandbox.Sandbox(os.path.join(self.parent, "box"), reg_tool)
        self.home = os.path.join(self.box.root, "home")
        os.makedirs(self.home, exist_ok=True)
        servers = os.environ["UPDATER_SERVERS_DIR"]
        with open(os.path.join(servers, "nginx.port")) as f:
            self.nginx = "http://127.0.0.1:%d" % int(f.read())
        with open(os.path.join(servers, "faultserver.port")) as f:
            self.faults = "http://127.0.0.1:%d" % int(f.read())
        with open(os.path.join(servers, "nginx.root")) as f:
            www = f.read().strip()
        self.web_rel = "fault_matrix/" + name
        self.web = os.path.join(www, self.web_rel)
        shutil.rmtree(self.web, ignore_errors=True)
        os.makedirs(self.web)
        self.mounts = []
        self.outside = outside_snapshot()
        self.runs = 0
        self.damaged = set()  # hives a case damages on purpose

    # -- the product, the web folder, the registry ---------------------------

    def install(self):
        self.box.install_product(OLD)

    def publish(self, name, data):
        """A file in the case's web folder; its path for file= and its nginx URL."""
        path = os.path.join(self.web, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode("utf-8"))
        rel = self.web_rel + "/" + name
        return rel, self.nginx + "/" + rel

    def fault_url(self, kind, name, query=""):
        return "%s/%s/%s/%s%s" % (self.faults, kind, self.web_rel, name,
                                  ("?" + query) if query else "")

    def set_manifest_url(self, url):
        self.box.set_update_url(url)

    def serve_update(self, data, actions=None, url=None, digest=None):
        """Publishes `data` as package p (at `url` when given, else on nginx)
        and the manifest naming it, and points the product at the manifest;
        the package's URL."""
        if url is None:
            _, url = self.publish("p.bin", data)
        _, manifest_url = self.publish("update.xml", manifest(url, digest or md5(data), actions))
        self.set_manifest_url(manifest_url)
        return url

    def hive(self, which="machine"):
        return os.path.join(self.box.registry_dir, which + ".db")

    def app_tree(self):
        return tree(self.box.app_dir)

    def installed_version(self):
        return self.box.installed_version()

    # -- running the updater ---------------------------------------------------

    def env(self):
        env = self.box.env(UPDATER_UI="console", HOME=self.home)
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def start(self):
        self.runs += 1
        return subprocess.Popen([self.updater, "-auto"], cwd=self.box.work_dir, env=self.env(),
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)

    def run(self, timeout=120):
        """One whole run; its exit status, output and the log's new part."""
        before = len(self.log())
        process = self.start()
        try:
            out, err = process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            out, err = process.communicate()
            check(False, "the updater did not end within %d s" % timeout,
                  out.decode("utf-8", "replace"))
        result = Run(process.returncode, out.decode("utf-8", "replace"),
                     err.decode("utf-8", "replace"), self.log()[before:])
        check(result.status == 0, "the updater ended with status %d" % result.status,
              result.err + result.out[-2000:])
        return result

    def log(self):
        return self.box.log() or ""

    def wait_for_log(self, text, process, timeout=60):
        deadline = time.time() + timeout
        while time.time() < deadline:
            if text in self.log():
                return
            if process.poll() is not None:
                check(False, "the updater ended before the log showed %r" % text, self.log())
            time.sleep(0.01)
        check(False, "the log never showed %r" % text, self.log())

    def kill(self, process):
        process.send_signal(signal.SIGKILL)
        process.communicate()
        check(process.returncode == -signal.SIGKILL, "killed (status %d)" % process.returncode)

    # -- mounts -----------------------------------------------------------------

    def mount(self, *args):
        done = subprocess.run(["mount", *args], capture_output=True, text=True)
        if done.returncode != 0:
            raise Skip("mount is not permitted here (%s)" % done.stderr.strip())
        self.mounts.append(args[-1])

    def tmpfs(self, path, size):
        os.makedirs(path, exist_ok=True)
        self.mount("-t", "tmpfs", "-o", "size=%s" % size, "tmpfs", path)

    def read_only(self, path):
        self.mount("--bind", path, path)
        self.mount("-o", "remount,bind,ro", path)

    # -- the checks every case ends with ----------------------------------------

    def finish(self):
        for which in ("machine", "user"):
            db = self.hive(which)
            if which not in self.damaged and os.path.exists(db):
                verdict = integrity(db)
                check(verdict == "ok", "%s.db fails the integrity check: %s" % (which, verdict))
        check(os.listdir(self.parent) == ["box"], "written beside the sandbox",
              str(os.listdir(self.parent)))
        extra = set(os.listdir(self.box.root)) - {"VelmarAcc", "registry", "www", "work", "home",
                                                  "Desktop"}
        check(not extra, "unexpected entries in the sandbox", str(sorted(extra)))
        check(outside_snapshot() == self.outside, "a place outside the sandbox changed")

    def close(self):
        for path in reversed(self.mounts):
            if subprocess.run(["umount", path], capture_output=True).returncode != 0:
                subprocess.run(["umount", "-l", path], capture_output=True)
        for top, dirs, _ in os.walk(self.parent):
            for d in dirs:
                os.chmod(os.path.join(top, d), 0o755)
        shutil.rmtree(self.parent, ignore_errors=True)
        shutil.rmtree(self.web, ignore_errors=True)


class Run:
    def __init__(self, status, out, err, log):
        self.status, self.out, self.err, self.log = status, out, err, log


# ---- manifests -----------------------------------------------------------------

def manifest(url="", digest="", actions=None, extra=""):
    """Version 1.1.0.0 with package "p" (its file copied to p.bin) and a second
    package "after", whose folder shows that the run went on."""
    if actions is None:
        actions = ('<action type="copy" description="install p" from="${this_file}" '
                   'to="${app_path}/p.bin" move="false" overwrite="true"/>')
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<updateinfo version="%s">\n'
            '  <package name="p"><description>package p</description>\n'
            '    <url>%s</url><md5>%s</md5>\n'
            '    <actions>%s</actions></package>\n'
            '  <package name="after"><description>after p</description>\n'
            '    <actions><action type="mkdir" dir="${app_path}/after"/></actions></package>\n'
            '%s</updateinfo>\n') % (NEW, escape(url), digest, actions, extra)


PAYLOAD = os.urandom(20000)
ZEROS_INSIDE = b"head" + bytes(3000) + b"tail"


def without_download(files):
    """The installation without the download folder, which start-up makes."""
    return {k: v for k, v in files.items() if k.split(os.sep)[0] != "download"}


def fetch_fails(w, run, app_before):
    check("下载文件出错\r\n无法获取更新信息。\r\n" in run.log, "download error, then cannot fetch",
          run.log)
    check("开始更新" not in run.log and "结束时间" not in run.log, "no packages, no end time",
          run.log)
    check(in_order(run.out, ["检查更新信息\n", "下载文件出错\n", "无法获取更新信息。\n"]),
          "the console showed it", run.out)
    check(w.installed_version() == OLD, "version now %s" % w.installed_version())
    check(without_download(w.app_tree()) == without_download(app_before),
          "the installation changed")
    # The run ends before the download folder would be deleted.
    check(os.path.isdir(os.path.join(w.box.app_dir, "download")), "download folder kept")


def unusable(w, run, app_before):
    check(in_order(run.log, ["分析更新信息\r\n", "Error in (Row: ",
                             "更新信息不对，请与Korrin公司联系\r\n", "结束时间: "]),
          "parse error, then the unusable-manifest message", run.log)
    check(w.installed_version() == OLD, "version now %s" % w.installed_version())
    check(not os.path.exists(os.path.join(w.box.app_dir, "download")), "download folder deleted")
    check(w.app_tree() == without_download(app_before), "the installation changed")


def updated(w, run, data=PAYLOAD):
    check(in_order(run.log, ["开始更新\r\n", "package p\r\n", "检验下载文件\r\n",
                             "文件校验正确\r\n", "install p\r\n", "after p\r\n", "更新完毕\r\n",
                             "结束时间: "]), "the update's messages", run.log)
    with open(os.path.join(w.box.app_dir, "p.bin"), "rb") as f:
        check(f.read() == data, "p.bin holds the package")
    check(os.path.isdir(os.path.join(w.box.app_dir, "after")), "the second package ran")
    check(not os.path.exists(os.path.join(w.box.app_dir, "download")), "download folder deleted")
    check(w.installed_version() == NEW, "version now %s" % w.installed_version())


SKIPPED = ["文件无法下载，请与Korrin公司联系\r\n", "跳过此更新包\r\n", "after p\r\n",
           "更新未完成，下次启动时将重试\r\n", "结束时间: "]


def package_fails(w, run, url, attempt_error="下载文件出错\r\n"):
    check(run.log.count("下载文件: %s\r\n" % url) == 3, "three attempts", run.log)
    check(run.log.count(attempt_error) >= 3, "each attempt failed with %r" % attempt_error, run.log)
    check(in_order(run.log, SKIPPED), "cannot-download, the package skipped, the run went on",
          run.log)
    check("更新完毕" not in run.log and "install p" not in run.log, "p's actions did not run",
          run.log)
    check("updater: 文件无法下载，请与Korrin公司联系\n" in run.out, "the message box was printed",
          run.out)
    check(not os.path.exists(os.path.join(w.box.app_dir, "p.bin")), "nothing installed for p")
    check(os.path.isdir(os.path.join(w.box.app_dir, "after")), "the second package ran")
    # The next run finds the manifest newer and tries again.
    check(w.installed_version() == OLD, "version now %s" % w.installed_version())
    check(not os.path.exists(os.path.join(w.box.app_dir, "download")), "download folder deleted")


# ---- the cases ---------------------------------------------------------------

CASES = {}


def case(fn):
    CASES[fn.__name__] = fn
    return fn


def manifest_fault(kind, query, expect):
    def run_case(w):
        w.install()
        w.serve_update(PAYLOAD)
        rel = w.web_rel + "/update.xml"
        w.set_manifest_url(w.fault_url(kind, "update.xml", query.format(file=rel)))
        before = w.app_tree()
        run = w.run()
        if expect == "fails":
            fetch_fails(w, run, before)
        elif expect == "unusable":
            unusable(w, run, before)
        else:
            updated(w, run)
    return run_case


def package_fault(kind, query, expect, data=PAYLOAD, digest=None):
    def run_case(w):
        w.install()
        rel, _ = w.publish("p.bin", data)
        url = w.serve_update(data, url=w.fault_url(kind, "p.bin", query.format(file=rel)),
                             digest=digest)
        run = w.run()
        if expect == "fails":
            package_fails(w, run, url)
        elif expect == "mismatch":
            package_fails(w, run, url, "文件校验错误，重新下载\r\n")
        else:
            updated(w, run, data)
    return run_case


# Every fault of the fault server, once at the manifest and once at a package:
# name, path, query ({send}: bytes before the fault, {file}: the real body),
# and whether the file still arrives whole.
SERVER_FAULTS = [
    ("drop", "drop", "send={send}&file={file}", False),
    ("short_body", "short", "send={send}&file={file}", False),
    ("status_404", "status/404", "", False),
    ("status_500", "status/500", "", False),
    ("stall", "stall", "send={send}&seconds=1&file={file}", False),
    ("redirect_loop", "loop", "", False),
    ("length_2_pow_40", "length", "value=1099511627776&send={send}&file={file}", False),
    ("length_negative", "length", "value=-1&send={send}&file={file}", False),
    ("no_length", "bytes", "nolength=1&file={file}", True),
    ("chunked", "bytes", "chunked=7&file={file}", True),
    ("redirect_chain", "redirect/5", "file={file}", True),
    ("trickle", "trickle", "delay=0.0005&file={file}", True),
]
for _name, _kind, _query, _whole in SERVER_FAULTS:
    CASES["manifest_" + _name] = manifest_fault(
        _kind, _query.replace("{send}", "40"), "updates" if _whole else "fails")
    CASES["package_" + _name] = package_fault(
        _kind, _query.replace("{send}", "700"), "updates" if _whole else "fails",
        data=PAYLOAD[:1500] if _kind == "trickle" else PAYLOAD)
# Faults that only one of them can have.
CASES["manifest_endless_body"] = manifest_fault("endless", "", "fails")
CASES["manifest_not_xml"] = manifest_fault("bytes", "size=300&nolength=1", "unusable")
CASES["manifest_zero_byte"] = manifest_fault("bytes", "zero=60&file={file}", "unusable")
CASES["package_md5_mismatch"] = package_fault("bytes", "file={file}", "mismatch", digest="0" * 32)
CASES["package_zero_bytes_inside"] = package_fault("bytes", "file={file}", "updates",
                                                   data=ZEROS_INSIDE)


def package_cut(validator, arrives):
    """Every answer cut off after 40 % of the package. With a validator that
    stays, each attempt asks for the rest (Range, If-Range) and the package
    arrives on the third, the server sending each byte about once; without one,
    or with a new ETag in every answer, each attempt starts from byte 0 and
    the package never arrives."""
    def run_case(w):
        w.install()
        rel, _ = w.publish("p.bin", PAYLOAD)
        query = "percent=40&validator=%s&file=%s" % (validator, rel)
        url = w.serve_update(PAYLOAD, url=w.fault_url("cut", "p.bin", query))
        run = w.run()
        with urllib.request.urlopen("%s/__requests?prefix=/cut/%s/" % (w.faults, w.web_rel)) as r:
            asked = json.load(r)
        sent = sum(a["sent"] for a in asked)
        ranges = [[dict(a["headers"]).get(h) for h in ("Range", "If-Range")] for a in asked]
        if not arrives:
            package_fails(w, run, url)
            # A changing ETag is asked for once and answered with the whole body.
            rest = "bytes=8000-" if validator == "changing" else None
            check([r[0] for r in ranges] == [None, rest, rest] and
                  (rest is None or ranges[1][1] != ranges[2][1]), "each attempt from byte 0",
                  str(ranges))
            return
        updated(w, run)
        check(run.log.count("下载文件: %s\r\n" % url) == 3, "arrived on the third attempt", run.log)
        tag = '"cut-20000"' if validator == "etag" else "Tue, 01 Dec 2026 08:00:00 GMT"
        check(ranges == [[None, None], ["bytes=8000-", tag], ["bytes=16000-", tag]],
              "each attempt asked for the rest", str(ranges))
        check(sent <= 1.05 * len(PAYLOAD), "%d bytes sent for %d" % (sent, len(PAYLOAD)))
    return run_case


CASES["package_cut_resumed_by_etag"] = package_cut("etag", True)
CASES["package_cut_resumed_by_date"] = package_cut("modified", True)
CASES["package_cut_without_validator"] = package_cut("none", False)
CASES["package_cut_with_changing_validator"] = package_cut("changing", False)


@case
def disk_full_during_download(w):
    """The installation folder (and so the download folder) on a 1 MiB
    tmpfs, a 3 MiB package: each attempt stops as a failed save, since the
    volume is below the free space a download leaves; three attempts, the
    cannot-download message, the run goes on and the log (on another disk) is
    complete."""
    w.tmpfs(w.box.app_dir, "1m")
    w.install()
    url = w.serve_update(os.urandom(3 << 20))
    run = w.run()
    check("保存下载文件出错\r\n" in run.log, "the failed writes are reported", run.log)
    package_fails(w, run, url, "保存下载文件出错\r\n")
    check(run.log.rstrip("\r\n").split("\r\n")[-1].startswith("结束时间: "), "log complete")


@case
def disk_full_during_extraction(w):
    """A package that unpacks to 80 MiB into a 72 MiB tmpfs (room for the
    download, which leaves 64 MiB free): the unzip action sees before its first
    entry that the volume would fall below 64 MiB free, names the folder and
    writes nothing; the actions after it still run, and the files the
    extraction would have replaced keep their bytes, with no temporary left."""
    w.tmpfs(w.box.app_dir, "72m")
    w.install()
    data = os.path.join(w.box.app_dir, "data")
    os.makedirs(data)
    old = {"small.txt": b"old small", "zeros.bin": os.urandom(1 << 20)}
    for name, content in old.items():
        with open(os.path.join(data, name), "wb") as f:
            f.write(content)
    archive = zip_of([("small.txt",) + deflated(b"small file"),
                      ("zeros.bin",) + deflated_zeros(80),
                      ("last.txt",) + deflated(b"never reached")])
    actions = ('<action type="unzip" description="unpack" file="${this_file}" '
               'where="${app_path}/data"/>'
               '<action type="mkdir" description="after unpack" dir="${app_path}/marker"/>')
    w.serve_update(archive, actions)
    run = w.run()
    check(in_order(run.log, ["文件校验正确\r\n", "unpack\r\n", "磁盘空间不足: %s\r\n" % data,
                             "after unpack\r\n", "更新完毕\r\n"]),
          "no room for the archive, then the next action", run.log)
    check("正在解压文件: " not in run.log, "an entry was begun", run.log)
    check(os.path.isdir(os.path.join(w.box.app_dir, "marker")), "the next action ran")
    for name, content in old.items():
        check(read(os.path.join(data, name)) == content, "%s keeps its old bytes" % name)
    check(sorted(os.listdir(data)) == ["small.txt", "zeros.bin"], "nothing beside them",
          str(os.listdir(data)))


@case
def read_only_installation(w):
    """The installation folder mounted read-only: nothing in it changes, the
    package cannot be saved (three attempts), the run ends normally."""
    w.install()
    w.read_only(w.box.app_dir)
    url = w.serve_update(PAYLOAD)
    before = w.app_tree()
    run = w.run()
    check(run.log.count("下载文件: %s\r\n" % url) == 3, "three attempts", run.log)
    check(run.log.count("无法保存下载的文件\r\n") == 3, "the file cannot be saved", run.log)
    check(in_order(run.log, SKIPPED), "cannot-download message, the run went on", run.log)
    check(w.app_tree() == before, "the installation changed")


@case
def hive_read_only(w):
    """machine.db without its write bit: the configuration is read, the
    package is installed, but the version cannot be recorded (so the run is
    not finished: the next one tries again) and the hive's bytes stay as
    they were."""
    w.install()
    w.serve_update(PAYLOAD)
    os.chmod(w.hive(), 0o444)
    with open(w.hive(), "rb") as f:
        before = md5(f.read())
    run = w.run()
    check(in_order(run.log, ["文件校验正确\r\n", "install p\r\n", "更新未完成，下次启动时将重试\r\n"]),
          "installed, not finished", run.log)
    check("更新完毕" not in run.log, "no finished update", run.log)
    with open(os.path.join(w.box.app_dir, "p.bin"), "rb") as f:
        check(f.read() == PAYLOAD, "p.bin installed")
    with open(w.hive(), "rb") as f:
        check(md5(f.read()) == before, "the read-only hive was written")
    check(w.installed_version() == OLD, "version now %s" % w.installed_version())


@case
def hive_locked_for_five_seconds(w):
    """Another process (the sqlite3 tool) holds an exclusive lock on
    machine.db for 5 seconds as the updater starts: the updater waits for it
    (nothing is logged while the registry cannot be read) and then does the
    whole update."""
    w.install()
    w.serve_update(PAYLOAD)
    holder = subprocess.Popen(["sqlite3", w.hive()], stdin=subprocess.PIPE,
                              stdout=subprocess.PIPE, text=True)
    holder.stdin.write("BEGIN EXCLUSIVE;\nSELECT 'locked';\n")
    holder.stdin.flush()
    check(holder.stdout.readline().strip() == "locked", "the lock was taken")
    locked_at = time.time()
    process = w.start()
    time.sleep(max(0, locked_at + 5 - time.time()))
    check(process.poll() is None and not w.log(), "nothing done while the hive was locked",
          w.log())
    holder.stdin.write("COMMIT;\n.quit\n")
    holder.stdin.close()
    holder.wait(timeout=30)
    released = time.time()
    out, err = process.communicate(timeout=120)
    check(process.returncode == 0, "status %d" % process.returncode, err.decode())
    updated(w, Run(0, out.decode(), err.decode(), w.log()))
    check(released - locked_at >= 5, "held 5 s")


@case
def hive_corrupt(w):
    """machine.db overwritten with garbage: the installation cannot be read,
    so the updater says "Please install Velmar Acc first." and ends, without
    logging, downloading or writing the hive."""
    w.install()
    w.serve_update(PAYLOAD)
    garbage = os.urandom(8192)
    w.damaged.add("machine")
    with open(w.hive(), "wb") as f:
        f.write(garbage)
    before = w.app_tree()
    run = w.run()
    check(run.err == "updater: Please install Velmar Acc first.\n", "install message", run.err)
    check(w.log() == "", "nothing logged", w.log())
    with open(w.hive(), "rb") as f:
        check(f.read() == garbage, "the damaged hive was written")
    check(w.app_tree() == before, "the installation changed")


@case
def user_hive_corrupt(w):
    """user.db damaged: the registry action on HKCU fails, the rest of the
    update (HKLM included) goes on, and user.db keeps its bytes."""
    w.install()
    actions = ('<action type="copy" description="install p" from="${this_file}" '
               'to="${app_path}/p.bin" move="false" overwrite="true"/>'
               '<action type="registry" description="user value" key="HKCU\\Software\\Velmar" '
               'valuetype="STRING" valuename="x" value="y"/>'
               '<action type="registry" description="machine value" key="HKLM\\Software\\VELMAR\\'
               'Velmar Acc" valuetype="DWORD" valuename="Build" value="110"/>')
    w.serve_update(PAYLOAD, actions)
    garbage = os.urandom(4096)
    w.damaged.add("user")
    os.makedirs(os.path.dirname(w.hive("user")), exist_ok=True)
    with open(w.hive("user"), "wb") as f:
        f.write(garbage)
    run = w.run()
    updated(w, run)
    check(w.box.query(PRODUCT_KEY, "Build") == "0x6e", "the HKLM value was written")
    with open(w.hive("user"), "rb") as f:
        check(f.read() == garbage, "the damaged user hive was written")


@case
def killed_during_download(w):
    """SIGKILL while the package trickles in (one byte every 0.4 ms, so about
    5 s for the whole), well before its end: the version is not recorded, the
    hives are sound, and a second run downloads the package again and
    finishes the update."""
    w.install()
    data = PAYLOAD[:12000]
    rel, _ = w.publish("p.bin", data)
    url = w.serve_update(data, url=w.fault_url("trickle", "p.bin", "delay=0.0004&file=" + rel))
    process = w.start()
    w.wait_for_log("下载文件: %s\r\n" % url, process)
    download = os.path.join(w.box.app_dir, "download")
    partial = os.path.join(download, temp_name("p.bin"))
    deadline = time.time() + 20
    while time.time() < deadline and not os.path.exists(partial):
        time.sleep(0.01)
    # Writes are gathered before they reach the disk, so the file's size
    # says little; the log says whether the download had ended.
    time.sleep(1.5)
    w.kill(process)
    check(os.path.exists(partial) and os.path.getsize(partial) < len(data) and
          "检验下载文件" not in (w.log() or ""), "killed in the middle of the download")
    check(not os.path.exists(os.path.join(download, "p.bin")), "a half file poses as the package")
    check(w.installed_version() == OLD, "version recorded by a killed run")
    for which in ("machine", "user"):
        if os.path.exists(w.hive(which)):
            check(integrity(w.hive(which)) == "ok", "%s.db damaged by the kill" % which)
    updated(w, w.run(), data)


@case
def killed_during_extraction(w):
    """SIGKILL while a 256 MiB entry is being unpacked: a second run unpacks
    the whole package again, every file complete."""
    w.install()
    archive = zip_of([("first.txt",) + deflated(b"first"),
                      ("big.bin",) + deflated_zeros(256),
                      ("last.txt",) + deflated(b"last")])
    actions = ('<action type="unzip" description="unpack" file="${this_file}" '
               'where="${app_path}/data"/>')
    w.serve_update(archive, actions)
    process = w.start()
    big = os.path.join(w.box.app_dir, "data", "big.bin")
    kill_while_written(w, process, big)
    check(not os.path.exists(big), "a half-written big.bin")
    check(w.installed_version() == OLD, "version recorded by a killed run")
    run = w.run()
    check(in_order(run.log, ["unpack\r\n", "解压文件完毕\r\n", "更新完毕\r\n"]), "unpacked",
          run.log)
    check(os.path.getsize(big) == 256 << 20, "big.bin complete")
    with open(os.path.join(w.box.app_dir, "data", "last.txt"), "rb") as f:
        check(f.read() == b"last", "last.txt complete")
    check(sorted(os.listdir(os.path.dirname(big))) == ["big.bin", "first.txt", "last.txt"],
          "a temporary left", str(os.listdir(os.path.dirname(big))))
    check(w.installed_version() == NEW, "version now %s" % w.installed_version())


def kill_while_written(w, process, path):
    """SIGKILL once the entry for `path` has reached 1 MiB of its temporary."""
    temp = os.path.join(os.path.dirname(path), temp_name(os.path.basename(path)))
    deadline = time.time() + 60
    while time.time() < deadline and (not os.path.exists(temp) or
                                      os.path.getsize(temp) < 1 << 20):
        check(process.poll() is None, "the updater ended before the extraction", w.log())
        time.sleep(0.005)
    w.kill(process)
    check(os.path.exists(temp) and os.path.getsize(temp) < 256 << 20,
          "killed in the middle of the entry")


@case
def killed_while_replacing_a_file(w):
    """SIGKILL while an entry that replaces an existing file is unpacked: the
    file holds its old bytes after the kill, its new bytes after the next run,
    never a mix, and no temporary stays."""
    w.install()
    data = os.path.join(w.box.app_dir, "data")
    os.makedirs(data)
    big = os.path.join(data, "big.bin")
    old = os.urandom(3 << 20)
    with open(big, "wb") as f:
        f.write(old)
    archive = zip_of([("big.bin",) + deflated_zeros(256)])
    actions = ('<action type="unzip" description="unpack" file="${this_file}" '
               'where="${app_path}/data"/>')
    w.serve_update(archive, actions)
    kill_while_written(w, w.start(), big)
    check(read(big) == old, "big.bin changed by the killed run")
    run = w.run()
    check(in_order(run.log, ["unpack\r\n", "解压文件完毕\r\n", "更新完毕\r\n"]), "unpacked",
          run.log)
    with open(big, "rb") as f:
        block = f.read(1 << 20)
        check(block == bytes(1 << 20) and os.path.getsize(big) == 256 << 20, "big.bin is new")
    check(os.listdir(data) == ["big.bin"], "a temporary left", str(os.listdir(data)))


def killed_while_moving_to_another_volume(atomic):
    def run_case(w):
        """SIGKILL while a move copies a 256 MiB file to a folder on another
        volume (a tmpfs): the destination is absent, only its temporary is
        there, and the source is whole; the next run moves it whole and no
        temporary stays. In an atomic update the next start's undo clears the
        temporary first."""
        w.install()
        other = os.path.join(w.box.app_dir, "other")
        w.tmpfs(other, "300m")
        source = os.path.join(w.box.app_dir, "big.bin")
        content = bytes(range(256)) * (1 << 20)
        with open(source, "wb") as f:
            f.write(content)
        target = os.path.join(other, "big.bin")
        actions = ('<action type="copy" description="move" from="${app_path}/big.bin" '
                   'to="${app_path}/other/big.bin" move="true"/>')
        text = manifest(*w.publish("p.bin", PAYLOAD)[1:], md5(PAYLOAD), actions)
        if atomic:
            text = text.replace('<updateinfo version', '<updateinfo atomic="true" version')
        _, url = w.publish("update.xml", text)
        w.set_manifest_url(url)
        kill_while_written(w, w.start(), target)
        check(not os.path.exists(target), "the destination was cut short")
        check(read(source) == content, "the source changed")
        run = w.run()
        check(in_order(run.log, ["move\r\n", "更新完毕\r\n"]), "moved", run.log)
        check(read(target) == content, "the destination is not whole")
        check(not os.path.exists(source), "the source stayed")
        check(sorted(os.listdir(other)) == ["big.bin"], "a temporary left",
              str(os.listdir(other)))
    return run_case


CASES["killed_while_moving_to_another_volume"] = killed_while_moving_to_another_volume(False)
CASES["killed_while_moving_to_another_volume_atomic"] = killed_while_moving_to_another_volume(True)


@case
def damaged_entry_over_an_existing_file(w):
    """An entry whose data does not match its CRC (the package's digest is
    that of the damaged archive): the file it would replace keeps its bytes."""
    w.install()
    data = os.path.join(w.box.app_dir, "data")
    os.makedirs(data)
    target = os.path.join(data, "conf.txt")
    with open(target, "wb") as f:
        f.write(b"old settings")
    packed, size, crc = deflated(b"new settings " * 50)
    archive = zip_of([("conf.txt", packed, size, crc ^ 1), ("next.txt",) + deflated(b"next")])
    actions = ('<action type="unzip" description="unpack" file="${this_file}" '
               'where="${app_path}/data"/>')
    w.serve_update(archive, actions)
    run = w.run()
    check(in_order(run.log, ["unpack\r\n", "解压文件出错: %s\r\n" % target, "更新完毕\r\n"]),
          "the entry failed", run.log)
    check(read(target) == b"old settings", "conf.txt keeps its old bytes")
    check(os.listdir(data) == ["conf.txt"], "nothing beside it", str(os.listdir(data)))


@case
def copy_onto_itself(w):
    """A copy whose destination is its source spelled otherwise or its own
    folder fails, and the file keeps its bytes."""
    w.install()
    keep = os.path.join(w.box.app_dir, "keep.txt")
    with open(keep, "wb") as f:
        f.write(b"precious")
    actions = "".join('<action type="copy" description="copy %d" from="${app_path}/keep.txt" '
                      'to="%s" move="false" overwrite="true"/>' % (i, to)
                      for i, to in enumerate(["${app_path}", "${app_path}/./keep.txt",
                                              "${app_path}//keep.txt"]))
    w.serve_update(PAYLOAD, actions)
    run = w.run()
    check(in_order(run.log, ["copy 0\r\n", "copy 1\r\n", "copy 2\r\n", "更新完毕\r\n"]),
          "the copies ran", run.log)
    check(read(keep) == b"precious", "keep.txt lost its bytes")


@case
def endless_package_on_a_small_volume(w):
    """A package body that never ends, into an 80 MiB volume: each attempt
    stops as a failed save before the volume falls below 64 MiB free, three
    attempts, the package is skipped, and the volume keeps its free space."""
    w.tmpfs(w.box.app_dir, "80m")
    w.install()
    url = w.serve_update(PAYLOAD, url=w.fault_url("endless", "p.bin"))
    lowest = [free_bytes(w.box.app_dir)]
    process = w.start()
    while process.poll() is None:
        lowest.append(free_bytes(w.box.app_dir))
        time.sleep(0.01)
    out, err = process.communicate()
    run = Run(process.returncode, out.decode("utf-8", "replace"), err.decode("utf-8", "replace"),
              w.log())
    check(run.status == 0, "status %d" % run.status, run.err)
    check(run.log.count("保存下载文件出错\r\n") == 3, "one failed save per attempt", run.log)
    package_fails(w, run, url, "保存下载文件出错\r\n")
    check(min(lowest) >= 64 << 20, "free space fell to %d" % min(lowest))
    check(free_bytes(w.box.app_dir) >= lowest[0] - (1 << 20), "the free space came back")


@case
def missing_package_installed_by_the_next_run(w):
    """The package's file is missing on the server: it is skipped and the
    version stays; once the file is there, the next run installs it and
    records the version."""
    w.install()
    url = w.serve_update(PAYLOAD)
    os.remove(os.path.join(w.web, "p.bin"))
    package_fails(w, w.run(), url)
    w.publish("p.bin", PAYLOAD)
    updated(w, w.run())


def read(path):
    with open(path, "rb") as f:
        return f.read()


def free_bytes(path):
    st = os.statvfs(path)
    return st.f_bavail * st.f_frsize


def temp_name(name):
    """The temporary a file is written to beside its destination."""
    h = 2166136261
    for byte in name.encode("utf-8"):
        h = ((h ^ byte) * 16777619) & 0xFFFFFFFF
    return ".~vu%08x.tmp" % h


@case
def killed_during_registry_writes(w):
    """SIGKILL in the middle of 400 registry writes (one transaction each):
    both hives pass the integrity check, and a second run writes them all."""
    w.install()
    actions = "".join('<action type="registry" description="value %d" key="HKLM\\Software\\'
                      'Velmar Test" valuetype="STRING" valuename="v%d" value="%s"/>'
                      '<action type="registry" key="HKCU\\Software\\Velmar Test" '
                      'valuetype="DWORD" valuename="n%d" value="%d"/>'
                      % (i, i, "x" * 200, i, i) for i in range(400))
    w.serve_update(PAYLOAD, actions)
    process = w.start()
    w.wait_for_log("value 100\r\n", process)
    w.kill(process)
    check("value 399\r\n" not in w.log(), "killed before the last write")
    for which in ("machine", "user"):
        check(integrity(w.hive(which)) == "ok", "%s.db damaged by the kill" % which)
    run = w.run()
    check(in_order(run.log, ["value 399\r\n", "after p\r\n", "更新完毕\r\n"]), "all written",
          run.log[-500:])
    machine = w.box.reg("query", r"HKLM\Software\Velmar Test")
    user = w.box.reg("query", r"HKCU\Software\Velmar Test")
    check(machine.count("REG_SZ") == 400 and user.count("REG_DWORD") == 400,
          "400 values in each hive", machine[-300:] + user[-300:])
    check(w.installed_version() == NEW, "version now %s" % w.installed_version())


# ---- running -----------------------------------------------------------------

def run_case(name, updater, reg_tool, results):
    w = World(name, updater, reg_tool)
    try:
        CASES[name](w)
        if w.runs:
            w.finish()
        verdict, code = "held", 0
    except Skip as e:
        verdict, code = "skipped: %s" % e, SKIP
    except CheckFailed as e:
        verdict, code = "failed: %s" % e, 1
    except Exception as e:  # a fault of the harness itself is a failed case too
        import traceback
        verdict, code = "failed: %r\n%s" % (e, traceback.format_exc()), 1
    finally:
        w.close()
    os.makedirs(results, exist_ok=True)
    with open(os.path.join(results, name + ".txt"), "w", encoding="utf-8") as f:
        f.write(verdict.splitlines()[0] + "\n")
    print("%s: %s" % (name, verdict))
    return code


def main(argv):
    if argv[1:] == ["--list"]:
        print(";".join(sorted(CASES)))
        return 0
    if len(argv) != 5:
        sys.stderr.write(__doc__)
        return 2
    updater, reg_tool, results, which = (os.path.abspath(argv[1]), os.path.abspath(argv[2]),
                                         argv[3], argv[4])
    if which != "all":
        return run_case(which, updater, reg_tool, results)
    codes = [run_case(name, updater, reg_tool, results) for name in sorted(CASES)]
    print("%d cases: %d held, %d failed, %d skipped" % (len(codes), codes.count(0), codes.count(1),
                                                         codes.count(SKIP)))
    return 1 if 1 in codes else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
