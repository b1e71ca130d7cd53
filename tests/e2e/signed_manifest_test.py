#!/usr/bin/env python3
"""Signed manifests end to end: keys and signatures made by the real minisign,
the manifest and its signature served by nginx, the real updater in console
mode ("-auto", no input) in a sandbox with its own registry.

    signed_manifest_test.py UPDATER REG_TOOL CASE    # exit 0 held, 1 failed
    signed_manifest_test.py --list

The nginx fixture (tests/e2e/servers.cmake) is found through
$UPDATER_SERVERS_DIR.
"""

import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts", "lib"))
sys.dont_write_bytecode = True
import sandbox  # noqa: E402
from e2e_checks import check  # noqa: E402

PAYLOAD = b"the new program\n"
REFUSED_TAIL = "更新信息不对，请与Korrin公司联系"
LINES = {
    "unavailable": "无法获取更新信息的签名。",
    "invalid": "更新信息的签名无效。",
    "replayed": "更新信息比上次的旧，已拒绝。",
    "expired": "更新信息已过期。",
}
DOWNLOAD_ERROR = "下载文件出错"


class World:
    def __init__(self, root, updater, reg_tool, name):
        self.updater = updater
        self.box = sandbox.Sandbox(os.path.join(root, "box"), reg_tool)
        self.keys = os.path.join(root, "keys")
        os.makedirs(self.keys)
        servers = os.environ["UPDATER_SERVERS_DIR"]
        with open(os.path.join(servers, "nginx.port")) as f:
            self.base = "http://127.0.0.1:%d" % int(f.read())
        with open(os.path.join(servers, "nginx.root")) as f:
            www = f.read().strip()
        self.access_log = os.path.join(servers, "nginx", "access.log")
        self.rel = "signed_manifest/" + name
        self.web = os.path.join(www, self.rel)
        shutil.rmtree(self.web, ignore_errors=True)
        os.makedirs(self.web)
        self.box.install_product("1.0.0.0")
        self.manifest_url = "%s/%s/update.xml?v=1.0.0.0" % (self.base, self.rel)
        self.box.set_update_url("%s/%s/update.xml?v=%%s" % (self.base, self.rel))
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
        self.box.reg("add", sandbox.PRODUCT_KEY, "/v", "pubkey", "/t", "REG_SZ", "/d",
                     " ".join(self.key(n) for n in names), "/f")

    def manifest(self, version="1.1.0.0", expires=None):
        attrs = ' expires="%s"' % expires if expires else ""
        return ('<?xml version="1.0" encoding="utf-8"?>\n<updateinfo version="%s"%s>\n'
                '<package name="p"><url>%s/%s/p.txt</url><md5>%s</md5><sha256>%s</sha256>\n'
                '<actions><action type="copy" from="${this_file}" to="${app_path}/p.txt"/>'
                '</actions></package>\n</updateinfo>\n'
                % (version, attrs, self.base, self.rel, hashlib.md5(PAYLOAD).hexdigest(),
                   hashlib.sha256(PAYLOAD).hexdigest().upper())).encode()

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

    def run(self):
        log = os.path.join(self.box.work_dir, "updater.log")
        if os.path.exists(log):
            os.remove(log)
        env = self.box.env(UPDATER_UI="console")
        env.pop("DISPLAY", None)
        done = subprocess.run([self.updater, "-auto"], cwd=self.box.work_dir, env=env,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        check(done.returncode == 0, "exit status %d" % done.returncode, done.stderr.decode())
        return self.box.log() or ""

    def requested(self, suffix):
        with open(self.access_log, errors="replace") as f:
            return any(("/%s/%s" % (self.rel, suffix)) in line for line in f)

    def installed(self):
        return os.path.exists(os.path.join(self.box.app_dir, "p.txt"))


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
    check(w.box.installed_version() == "1.1.0.0", "version %s" % w.box.installed_version())
    if timestamp is not None:
        stored = w.box.query(sandbox.PRODUCT_KEY, "manifesttime")
        check(stored == str(timestamp), "manifesttime %s" % stored)


def refused(w, log, why, fetch_error=False):
    expected = ["检查更新信息"] + ([DOWNLOAD_ERROR] if fetch_error else []) + ["分析更新信息"]
    if why == "expired":
        expected.append("更新信息签名正确")
    expected += [LINES[why], REFUSED_TAIL]
    check(lines_of(log) == expected, "refused: " + why, log)
    check(not w.installed(), "nothing installed")
    check(w.box.installed_version() == "1.0.0.0", "version %s" % w.box.installed_version())
    check(not os.path.exists(os.path.join(w.box.app_dir, "download")), "download folder deleted")


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
    w.box.install_product("1.0.0.0")
    os.remove(os.path.join(w.box.app_dir, "p.txt"))
    w.publish(w.manifest(), "a", timestamp=199)
    refused(w, w.run(), "replayed")
    check(w.box.query(sandbox.PRODUCT_KEY, "manifesttime") == "200", "manifesttime kept")


def case_expired_manifest_refused(w):
    w.trust("a")
    w.publish(w.manifest(expires="2001-01-01"), "a")
    refused(w, w.run(), "expired")


def case_without_a_key_nothing_is_asked(w):
    w.key("a")
    w.publish(w.manifest(expires="2001-01-01"), signature=b"garbage")
    got = lines_of(w.run())
    check(got[:3] == ["检查更新信息", "分析更新信息", "开始更新"] and got[-1] == "更新完毕",
          "the run as without signatures", "\n".join(got))
    check(w.installed(), "p.txt copied")
    check(not w.requested("update.xml.minisig"), "no signature asked for")


CASES = {name[5:]: fn for name, fn in globals().items() if name.startswith("case_")}


def main():
    if sys.argv[1:] == ["--list"]:
        print(";".join(CASES))
        return
    updater, reg_tool, case = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), sys.argv[3]
    with tempfile.TemporaryDirectory(prefix="signed-manifest-") as root:
        CASES[case](World(root, updater, reg_tool, case))
    print("ok", case)


if __name__ == "__main__":
    main()
