#!/usr/bin/env python3
"""Signed manifests end to end: keys and signatures made by the real minisign,
the manifest and its signature served by nginx, the real updater started with
"-auto" as a user starts it.

    signed_manifest_test.py UPDATER REG_TOOL CASE    # exit 0 held, 1 failed
    signed_manifest_test.py --wine WINE UPDATER_EXE DIALOG_PROBE WORK BITS CASE
    signed_manifest_test.py --list [--wine]

On POSIX the updater runs in console mode (no input) in a sandbox with its own
registry (updater-reg). Under Wine, updater.exe (BITS 32 or 64) runs with its
dialog in the prefix's registry (wine reg, in the program's own view, where
its installer writes), message boxes are answered and the dialog is closed by
dialog_probe once the run has ended; its texts are GBK. The servers of
tests/e2e/servers.cmake (nginx and the fault server) are found through
$UPDATER_SERVERS_DIR.
"""

import datetime
import hashlib
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts", "lib"))
sys.dont_write_bytecode = True
import sandbox  # noqa: E402
from e2e_checks import check, run_wine  # noqa: E402

PAYLOAD = b"the new program\n"
REFUSED_TAIL = "更新信息不对，请与Korrin公司联系"
LINES = {
    "unavailable": "无法获取更新信息的签名。",
    "invalid": "更新信息的签名无效。",
    "replayed": "更新信息比上次的旧，已拒绝。",
    "expired": "更新信息已过期。",
}
IN_30_DAYS = (datetime.date.today() + datetime.timedelta(days=30)).isoformat()
DOWNLOAD_ERROR = "下载文件出错"
PRODUCT_KEY = sandbox.PRODUCT_KEY
UNINSTALL_KEY = sandbox.UNINSTALL_KEY


class PosixClient:
    """The updater in console mode in a sandbox with its own registry."""

    sep = "/"
    encoding = "utf-8"

    def __init__(self, root, updater, reg_tool):
        self.updater = updater
        self.box = sandbox.Sandbox(os.path.join(root, "box"), reg_tool)
        self.app_dir = self.box.app_dir
        self.log_path = os.path.join(self.box.work_dir, "updater.log")

    def install(self, url):
        self.box.install_product("1.0.0.0")
        self.box.set_update_url(url)

    def set_string(self, name, data):
        self.box.reg("add", PRODUCT_KEY, "/v", name, "/t", "REG_SZ", "/d", data, "/f")

    def set_dword(self, name, data):
        self.box.reg("add", PRODUCT_KEY, "/v", name, "/t", "REG_DWORD", "/d", str(data), "/f")

    def query(self, key, name):
        return self.box.query(key, name)

    def run(self, **env_vars):
        env = self.box.env(UPDATER_UI="console", **env_vars)
        env.pop("DISPLAY", None)
        done = subprocess.run([self.updater, "-auto"], cwd=self.box.work_dir, env=env,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        check(done.returncode == 0, "exit status %d" % done.returncode, done.stderr.decode())


class WineClient:
    """updater.exe with its dialog in the Wine prefix's registry, in the
    program's own view; message boxes are answered, and the dialog is closed
    once the run has ended and its buttons are enabled again."""

    sep = "\\"
    encoding = "gbk"

    def __init__(self, root, wine, updater, probe, bits):
        self.wine, self.updater, self.probe = wine, updater, probe
        self.view, self.other_view = ("/reg:32", "/reg:64") if bits == 32 else ("/reg:64", "/reg:32")
        self.work = os.path.join(root, "work")
        os.makedirs(self.work)
        self.app_dir = os.path.join(root, "Velmar Acc")
        os.makedirs(self.app_dir)
        self.log_path = os.path.join(self.work, "updater.log")

    def wine_run(self, *argv, check_status=True):
        done = run_wine([self.wine, *argv], cwd=self.work)
        check(not check_status or done.returncode == 0, "%s: exit %d" % (argv, done.returncode),
              done.stderr.decode("gbk", "replace"))
        return done

    def reg(self, *argv, view=None, check_status=True):
        return self.wine_run("reg", *argv, view or self.view, check_status=check_status)

    @staticmethod
    def windows_path(path):
        return "Z:" + path.replace("/", "\\")

    def install(self, url):
        for key in (r"HKLM\SOFTWARE\VELMAR", UNINSTALL_KEY):
            for view in (self.view, self.other_view):
                self.reg("delete", key, "/f", view=view, check_status=False)
        self.reg("add", PRODUCT_KEY, "/ve", "/d", self.windows_path(self.app_dir), "/f")
        self.reg("add", PRODUCT_KEY, "/v", "updateurl", "/d", url, "/f")
        self.reg("add", PRODUCT_KEY, "/v", "cert", "/t", "REG_BINARY", "/d",
                 sandbox.pack_version("1.0.0.0"), "/f")

    def set_string(self, name, data, view=None):
        self.reg("add", PRODUCT_KEY, "/v", name, "/t", "REG_SZ", "/d", data, "/f", view=view)

    def set_dword(self, name, data):
        self.reg("add", PRODUCT_KEY, "/v", name, "/t", "REG_DWORD", "/d", str(data), "/f")

    def query(self, key, name):
        out = self.reg("query", key, "/v", name, check_status=False).stdout
        for line in out.decode("gbk", "replace").splitlines():
            parts = line.split(None, 2)
            if len(parts) == 3 and parts[0].lower() == name.lower():
                return parts[2].strip()
        return None

    def probe_state(self):
        out = pathlib.Path(self.work) / "probe.txt"
        out.unlink(missing_ok=True)
        done = run_wine([self.wine, self.probe, "state", self.windows_path(str(out))])
        if done.returncode != 0 or not out.exists():
            return {}
        return dict(line.partition("=")[::2] for line in out.read_bytes().decode("gbk").splitlines())

    def answer_box(self):
        out = pathlib.Path(self.work) / "box.txt"
        run_wine([self.wine, self.probe, "box", self.windows_path(str(out))])

    def run(self, **env_vars):
        env = dict(os.environ, **env_vars)
        process = subprocess.Popen([self.wine, self.updater, "-AUTO"], cwd=self.work, env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            end = time.monotonic() + 150
            log = pathlib.Path(self.log_path)
            # The buttons are disabled before the run writes its first line,
            # so enabled ones after that mean the run has ended.
            while time.monotonic() < end:
                if log.exists() and self.probe_state().get("update") == "1":
                    break
                self.answer_box()
                time.sleep(0.5)
            run_wine([self.wine, self.probe, "close"])
            check(process.wait(timeout=30) == 0, "updater.exe exit status")
        finally:
            if process.poll() is None:
                process.kill()


class World:
    def __init__(self, root, client, name):
        self.client = client
        self.keys = os.path.join(root, "keys")
        os.makedirs(self.keys)
        servers = os.environ["UPDATER_SERVERS_DIR"]
        with open(os.path.join(servers, "nginx.port")) as f:
            self.base = "http://127.0.0.1:%d" % int(f.read())
        with open(os.path.join(servers, "faultserver.port")) as f:
            self.fault_base = "http://127.0.0.1:%d" % int(f.read())
        with open(os.path.join(servers, "nginx.root")) as f:
            www = f.read().strip()
        self.access_log = os.path.join(servers, "nginx", "access.log")
        self.rel = "signed_manifest/%s-%s" % (type(client).__name__, name)
        self.web = os.path.join(www, self.rel)
        shutil.rmtree(self.web, ignore_errors=True)
        os.makedirs(self.web)
        self.manifest_url = "%s/%s/update.xml?v=%%s" % (self.base, self.rel)
        client.install(self.manifest_url)
        with open(os.path.join(self.web, "p.txt"), "wb") as f:
            f.write(PAYLOAD)

    def key(self, name):
        """Makes key pair `name` (no password); the base64 line of its public key."""
        pub = os.path.join(self.keys, name + ".pub")
        if not os.path.exists(pub):
            subprocess.run(["minisign", "-G", "-W", "-p", pub, "-s",
                            os.path.join(self.keys, name + ".key")],
                           check=True, capture_output=True)
        with open(pub) as f:
            return f.read().splitlines()[1]

    def trust(self, *names):
        self.client.set_string("pubkey", " ".join(self.key(n) for n in names))

    def manifest(self, version="1.1.0.0", expires=IN_30_DAYS, sha256=True, size=True, url=None):
        """The manifest of one package that copies p.txt into the installation;
        what a signed one needs is there unless left out."""
        attrs = ' expires="%s"' % expires if expires else ""
        url = url or "%s/%s/p.txt" % (self.base, self.rel)
        vouch = "<sha256>%s</sha256>" % hashlib.sha256(PAYLOAD).hexdigest().upper() if sha256 else ""
        vouch += "<size>%d</size>" % len(PAYLOAD) if size else ""
        return ('<?xml version="1.0" encoding="utf-8"?>\n<updateinfo version="%s"%s>\n'
                '<package name="p"><url>%s</url><md5>%s</md5>%s\n'
                '<actions><action type="copy" from="${this_file}" to="${app_path}%sp.txt"/>'
                '</actions></package>\n</updateinfo>\n'
                % (version, attrs, url, hashlib.md5(PAYLOAD).hexdigest(), vouch,
                   self.client.sep)).encode()

    def publish(self, text, signer=None, legacy=False, timestamp=None, signature=None):
        """update.xml and, signed by `signer` or given as bytes, update.xml.minisig."""
        path = os.path.join(self.web, "update.xml")
        sig = path + ".minisig"
        with open(path, "wb") as f:
            f.write(text)
        if os.path.exists(sig):
            os.remove(sig)
        if signer:
            args = ["minisign", "-S", "-s", os.path.join(self.keys, signer + ".key"), "-m", path]
            if legacy:
                args.append("-l")
            if timestamp is not None:
                args += ["-t", "timestamp:%d\tfile:update.xml" % timestamp]
            self.key(signer)
            subprocess.run(args, check=True, capture_output=True)
        elif signature is not None:
            with open(sig, "wb") as f:
                f.write(signature)

    def tamper(self):
        path = os.path.join(self.web, "update.xml")
        with open(path, "rb") as f:
            data = bytearray(f.read())
        data[data.index(b"1.1.0.0")] = ord("2")
        with open(path, "wb") as f:
            f.write(bytes(data))

    def run(self, **env_vars):
        if os.path.exists(self.client.log_path):
            os.remove(self.client.log_path)
        before = self.requests("p.txt")
        self.client.run(**env_vars)
        self.package_requests = self.requests("p.txt") - before
        if not os.path.exists(self.client.log_path):
            return ""
        with open(self.client.log_path, "rb") as f:
            return f.read().decode(self.client.encoding, "replace")

    def requests(self, suffix):
        with open(self.access_log, errors="replace") as f:
            return sum(("/%s/%s" % (self.rel, suffix)) in line for line in f)

    def requested(self, suffix):
        return self.requests(suffix) > 0

    def installed(self):
        return os.path.exists(os.path.join(self.client.app_dir, "p.txt"))

    def recorded_version(self):
        return self.client.query(UNINSTALL_KEY, "DisplayVersion")


def lines_of(log):
    """The log's lines between the start time and the end time."""
    lines = log.split("\r\n")
    check(lines[0].startswith("开始时间: "), "start time first", log)
    check(log.endswith("\r\n\r\n") and lines[-3].startswith("结束时间: "), "end time last", log)
    return lines[1:-3]


def accepted(w, log, timestamp=None):
    got = lines_of(log)
    check(got[:4] == ["检查更新信息", "分析更新信息", "更新信息签名正确", "开始更新"], "accepted",
          log)
    check(got[-1] == "更新完毕" and "文件校验正确" in got, "package installed", log)
    check(w.installed(), "p.txt copied")
    check(w.recorded_version() == "1.1.0.0", "version %s" % w.recorded_version())
    if timestamp is not None:
        stored = w.client.query(PRODUCT_KEY, "manifesttime")
        check(stored == str(timestamp), "manifesttime %s" % stored)


def refused(w, log, why, fetch_error=False, version=None):
    expected = ["检查更新信息"] + ([DOWNLOAD_ERROR] if fetch_error else []) + ["分析更新信息"]
    if why == "expired":
        expected.append("更新信息签名正确")
    expected += [LINES[why], REFUSED_TAIL]
    check(lines_of(log) == expected, "refused: " + why, log)
    check(w.package_requests == 0, "no package requested")
    check(not w.installed(), "nothing installed")
    check(w.recorded_version() == version, "version %s" % w.recorded_version())
    check(not os.path.exists(os.path.join(w.client.app_dir, "download")), "download folder deleted")


def case_hashed_signature_accepted(w):
    w.trust("a")
    w.publish(w.manifest(), "a", timestamp=1700000000)
    accepted(w, w.run(), 1700000000)
    check(w.requested("update.xml.minisig?v=1.0.0.0"), "signature fetched beside the manifest")


def case_legacy_signature_accepted(w):
    w.trust("a")
    w.publish(w.manifest(), "a", legacy=True)
    accepted(w, w.run())


def case_second_of_two_keys_signs(w):
    w.trust("old", "new")
    w.publish(w.manifest(), "new")
    accepted(w, w.run())


def case_changed_after_signing_refused(w):
    w.trust("a")
    w.publish(w.manifest(), "a")
    w.tamper()
    refused(w, w.run(), "invalid")


def case_other_key_refused(w):
    w.trust("a")
    w.key("b")
    w.publish(w.manifest(), "b")
    refused(w, w.run(), "invalid")


def case_missing_signature_refused(w):
    w.trust("a")
    w.publish(w.manifest())
    refused(w, w.run(), "unavailable", fetch_error=True)


def case_empty_signature_refused(w):
    w.trust("a")
    w.publish(w.manifest(), signature=b"")
    refused(w, w.run(), "unavailable")


def case_garbage_signature_refused(w):
    w.trust("a")
    w.publish(w.manifest(), signature=b"untrusted comment: x\nnot base64 at all\n")
    refused(w, w.run(), "invalid")


def case_replayed_older_manifest_refused(w):
    w.trust("a")
    w.publish(w.manifest(), "a", timestamp=200)
    accepted(w, w.run(), 200)
    os.remove(os.path.join(w.client.app_dir, "p.txt"))
    w.publish(w.manifest("1.2.0.0"), "a", timestamp=199)
    refused(w, w.run(), "replayed", version="1.1.0.0")
    check(w.client.query(PRODUCT_KEY, "manifesttime") == "200", "manifesttime kept")


def case_expired_manifest_refused(w):
    w.trust("a")
    w.publish(w.manifest(expires="2001-01-01"), "a")
    refused(w, w.run(), "expired")


def case_pubkey_that_is_no_string_refuses_every_manifest(w):
    """The registry's own reading of a value of another type."""
    w.key("a")
    w.client.set_dword("pubkey", 1)
    w.publish(w.manifest(), "a")
    refused(w, w.run(), "invalid")


def case_pubkey_in_the_other_registry_view_is_not_read(w):
    """Wine only: the key in the view the program does not see leaves it a
    client without a key; in its own view it checks."""
    w.client.set_string("pubkey", w.key("a"), view=w.client.other_view)
    w.publish(w.manifest(), signature=b"garbage")
    got = lines_of(w.run())
    check(got[:3] == ["检查更新信息", "分析更新信息", "开始更新"], "no key seen", "\n".join(got))
    os.remove(os.path.join(w.client.app_dir, "p.txt"))
    w.trust("a")
    refused(w, w.run(), "invalid", version="1.1.0.0")


def case_starving_manifest_server_fails_the_download(w):
    """1 byte every 50 ms, against a low-speed window shortened to 2 s: the
    download fails as a broken one does, long before the body would end."""
    url = "%s/trickle/%s/update.xml?size=100000&delay=0.05" % (w.fault_base, w.rel)
    w.client.set_string("updateurl", url)
    start = time.monotonic()
    log = w.run(UPDATER_HTTP_STALL_SECONDS="2")
    print("starved manifest: failed after %.1f s of the run" % (time.monotonic() - start))
    lines = log.split("\r\n")
    check(lines[1:] == ["检查更新信息", DOWNLOAD_ERROR, "无法获取更新信息。", ""],
          "the manifest cannot be fetched", log)


def case_endless_package_stops_at_its_size(w):
    """A package file that never ends is cut off as soon as it passes its size,
    three times, and no file stays."""
    w.trust("a")
    url = "%s/endless/%s/p.txt" % (w.fault_base, w.rel)
    w.publish(w.manifest(url=url), "a")
    got = lines_of(w.run())
    attempt = ["下载文件: " + url, DOWNLOAD_ERROR]
    check(got == ["检查更新信息", "分析更新信息", "更新信息签名正确", "开始更新"] + attempt * 3 +
          ["文件无法下载，请与Korrin公司联系", "跳过此更新包", "更新未完成，下次启动时将重试"],
          "three attempts cut off at the size", "\n".join(got))
    check(not w.installed(), "nothing installed")
    check(w.recorded_version() is None, "version not recorded")


def case_without_a_key_nothing_is_asked(w):
    w.key("a")
    w.publish(w.manifest(expires="2001-01-01", sha256=False, size=False), signature=b"garbage")
    got = lines_of(w.run())
    check(got[:3] == ["检查更新信息", "分析更新信息", "开始更新"] and got[-1] == "更新完毕",
          "the run as without signatures", "\n".join(got))
    check(w.installed(), "p.txt copied")
    check(not w.requested("update.xml.minisig"), "no signature asked for")


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}
# A registry with views is Windows' own.
WINE_ONLY = {"pubkey_in_the_other_registry_view_is_not_read"}


def main():
    args = sys.argv[1:]
    if args[:1] == ["--list"]:
        print(";".join(c for c in CASES if args[1:] == ["--wine"] or c not in WINE_ONLY))
        return
    with tempfile.TemporaryDirectory(prefix="signed-manifest-") as root:
        if args[0] == "--wine":
            wine, updater, probe, work, bits, case = args[1:]
            root = os.path.join(os.path.abspath(work), "signed_manifest", case)
            shutil.rmtree(root, ignore_errors=True)
            os.makedirs(root)
            client = WineClient(root, wine, updater, probe, int(bits))
        else:
            updater, reg_tool, case = args
            client = PosixClient(root, os.path.abspath(updater), os.path.abspath(reg_tool))
        CASES[case](World(root, client, case))
    print("ok", case)


if __name__ == "__main__":
    main()
