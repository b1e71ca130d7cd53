#!/usr/bin/env python3
"""A sandbox installation of the sample product, for the demo and the tests.

It holds an installation folder with version 1.0.0.0 of the sample product
(scripts/demo-data/product), a registry of its own (VELMAR_REGISTRY_DIR, set up
with the updater-reg tool) and a web folder with the newer manifest
(scripts/demo-data/update.xml.in) and its package files, served over HTTP on
127.0.0.1 by a server in this process.

Used as a module by the tests, and by scripts/demo as:
    sandbox.py ROOT REG_TOOL                    # sets up ROOT, serves it until killed
    sandbox.py ROOT REG_TOOL --product FOLDER   # FOLDER installed, ROOT/www served as it is
    sandbox.py builds FOLDER                    # the demo's build folders of 1.0.0.0 and 1.1.0.0
It prints "ready <base url>" once the server answers.
"""

import contextlib
import functools
import hashlib
import http.server
import os
import random
import re
import shutil
import subprocess
import sys
import threading
import zipfile

DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "demo-data")

PRODUCT_KEY = r"HKLM\SOFTWARE\VELMAR\Velmar Acc"
UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\VELMAR ACC"


def pack_version(text):
    """The "cert" bytes of a version, as reg.exe hex: four little-endian bytes."""
    a, b, c, d = (int(n) for n in text.split("."))
    v = ((a & 0xF) << 28) | ((b & 0xFF) << 20) | ((c & 0xF) << 16) | (d & 0xFFFF)
    return v.to_bytes(4, "little").hex()


def unpack_version(hex_bytes):
    v = int.from_bytes(bytes.fromhex(hex_bytes[:8]), "little")
    return "%u.%u.%u.%u" % (v >> 28, (v >> 20) & 0xFF, (v >> 16) & 0xF, v & 0xFFFF)


def md5_of(path):
    with open(path, "rb") as f:
        return hashlib.md5(f.read()).hexdigest()


def sha256_of(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def make_zip(folder, archive):
    """Packs a folder the way a maker would, with "/" in the entry names and
    each file's mode in its external attributes."""
    with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
        for top, dirs, files in os.walk(folder):
            dirs.sort()
            for name in sorted(files):
                path = os.path.join(top, name)
                z.write(path, os.path.relpath(path, folder))


class Sandbox:
    """ROOT/VelmarAcc (installation), ROOT/registry, ROOT/www, ROOT/work (the
    updater's current folder, where updater.log goes)."""

    def __init__(self, root, reg_tool):
        self.root = os.path.abspath(root)
        self.reg_tool = reg_tool
        self.app_dir = os.path.join(self.root, "VelmarAcc")
        self.registry_dir = os.path.join(self.root, "registry")
        self.www_dir = os.path.join(self.root, "www")
        self.work_dir = os.path.join(self.root, "work")
        self.desktop_dir = os.path.join(self.root, "Desktop")
        for d in (self.registry_dir, self.www_dir, self.work_dir):
            os.makedirs(d, exist_ok=True)

    def env(self, **extra):
        # A proxy of the environment must not stand between the updater and
        # the local server, and the special folders a shortcut lands in are
        # the sandbox's own.
        env = dict(os.environ, VELMAR_REGISTRY_DIR=self.registry_dir,
                   no_proxy="127.0.0.1,localhost", NO_PROXY="127.0.0.1,localhost",
                   XDG_DESKTOP_DIR=self.desktop_dir,
                   XDG_CONFIG_HOME=os.path.join(self.root, "home", ".config"),
                   XDG_DATA_HOME=os.path.join(self.root, "home", ".local", "share"))
        env.update(extra)
        return env

    def reg(self, *args):
        """Runs updater-reg against the sandbox registry; returns its output."""
        done = subprocess.run([self.reg_tool, *args], env=self.env(), capture_output=True,
                              text=True, check=True)
        return done.stdout

    def install_product(self, version="1.0.0.0", source=None):
        shutil.copytree(source or os.path.join(DATA, "product"), self.app_dir, dirs_exist_ok=True)
        self.reg("add", PRODUCT_KEY, "/ve", "/t", "REG_SZ", "/d", self.app_dir, "/f")
        self.reg("add", PRODUCT_KEY, "/v", "cert", "/t", "REG_BINARY", "/d",
                 pack_version(version), "/f")

    def set_update_url(self, url):
        self.reg("add", PRODUCT_KEY, "/v", "updateurl", "/t", "REG_SZ", "/d", url, "/f")

    def publish(self, base_url, template=None):
        """Writes www/update.xml and www/packages/ from the demo data."""
        packages = os.path.join(self.www_dir, "packages")
        shutil.copytree(os.path.join(DATA, "packages"), packages, dirs_exist_ok=True)
        make_zip(os.path.join(DATA, "program"), os.path.join(packages, "program.zip"))
        if template is None:
            with open(os.path.join(DATA, "update.xml.in"), encoding="utf-8") as f:
                template = f.read()
        text = template.replace("@BASE_URL@", base_url)
        text = re.sub(r"@MD5:([\w.-]+)@", lambda m: md5_of(os.path.join(packages, m.group(1))),
                      text)
        text = re.sub(r"@SHA256:([\w.-]+)@",
                      lambda m: sha256_of(os.path.join(packages, m.group(1))), text)
        text = re.sub(r"@SIZE:([\w.-]+)@",
                      lambda m: str(os.path.getsize(os.path.join(packages, m.group(1)))), text)
        with open(os.path.join(self.www_dir, "update.xml"), "w", encoding="utf-8") as f:
            f.write(text)

    def query(self, key, value):
        """The data of one registry value as updater-reg prints it; None when
        it cannot be read."""
        try:
            out = self.reg("query", key, "/v", value)
        except subprocess.CalledProcessError:
            return None
        for line in out.splitlines():
            fields = re.split(r"\s{4}", line.strip(), maxsplit=2)
            if len(fields) >= 2 and fields[0].lower() == value.lower():
                return fields[2] if len(fields) == 3 else ""
        return None

    def installed_version(self):
        cert = self.query(PRODUCT_KEY, "cert")
        return unpack_version(cert) if cert else None

    def log(self):
        path = os.path.join(self.work_dir, "updater.log")
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read().decode("utf-8", "replace")


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    request_log = None

    def log_message(self, fmt, *args):
        if self.request_log:
            with open(self.request_log, "a", encoding="utf-8") as f:
                f.write("%s %s\n" % (fmt % args, self.headers.get("User-Agent", "")))


class Server:
    """Serves a folder on 127.0.0.1 at a free port, in a thread."""

    def __init__(self, directory, request_log=None):
        handler = functools.partial(QuietHandler, directory=directory)
        QuietHandler.request_log = request_log
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        self.base_url = "http://127.0.0.1:%d" % self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.httpd.shutdown()
        self.httpd.server_close()


@contextlib.contextmanager
def serving(root, reg_tool, request_log=None):
    """A sandbox in ROOT whose manifest is published and served, its
    "updateurl" pointing at it ("?v=%s" carries the installed version). The
    product is not installed yet."""
    box = Sandbox(root, reg_tool)
    with Server(box.www_dir, request_log) as server:
        box.publish(server.base_url)
        box.set_update_url(server.base_url + "/update.xml?v=%s")
        yield box, server


def make_builds(folder):
    """The demo product's build folders, as a build leaves them: FOLDER/1.0.0.0,
    the installed product with a large program file, and FOLDER/1.1.0.0: the
    same program file, a new read-me and list of changes (the packages' files),
    the new program files, an empty cache folder, and no post-update step."""
    old, new = os.path.join(folder, "1.0.0.0"), os.path.join(folder, "1.1.0.0")
    shutil.copytree(os.path.join(DATA, "product"), old)
    os.makedirs(os.path.join(old, "lib"))
    # Stands for the product's program files that 1.1.0.0 leaves alone.
    with open(os.path.join(old, "lib", "ledger-engine.bin"), "wb") as f:
        f.write(random.Random(110).randbytes(3 << 20))
    shutil.copytree(old, new)
    shutil.copy(os.path.join(DATA, "packages", "readme.txt"), new)
    os.makedirs(os.path.join(new, "doc"))
    shutil.copy(os.path.join(DATA, "packages", "changes.txt"), os.path.join(new, "doc"))
    shutil.copytree(os.path.join(DATA, "program"), new, dirs_exist_ok=True)
    os.chmod(os.path.join(new, "bin", "start.sh"), 0o755)  # the launcher stays a program
    os.makedirs(os.path.join(new, "data", "cache"))
    os.remove(os.path.join(new, "bin", "record-update.sh"))
    return old, new


def main(argv):
    if argv[1:2] == ["builds"] and len(argv) == 3:
        make_builds(argv[2])
        return 0
    if len(argv) not in (3, 5) or (len(argv) == 5 and argv[3] != "--product"):
        sys.stderr.write(__doc__)
        return 2
    root, reg_tool, log = argv[1], argv[2], os.path.join(argv[1], "requests.log")
    if len(argv) == 5:
        box = Sandbox(root, reg_tool)
        with Server(box.www_dir, log) as server:
            box.install_product(source=argv[4])
            box.set_update_url(server.base_url + "/update.xml?v=%s")
            print("ready", server.base_url, flush=True)
            threading.Event().wait()
        return 0
    with serving(root, reg_tool, log) as (box, server):
        box.install_product()
        print("ready", server.base_url, flush=True)
        threading.Event().wait()
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except KeyboardInterrupt:
        sys.exit(0)
