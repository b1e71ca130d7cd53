#!/usr/bin/env python3
"""The demo's manifest, released as the demo releases it (updater-manifest
release over the demo's two build folders), and the sandbox's sample manifest
that the console and dialog tests serve, published with updater-manifest
publish, pass the maker's lint for clients that check signatures; the sample
carries an expiry date and every file's size.

    demo_manifest_test.py REG_TOOL MANIFEST_TOOL
"""

import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "scripts", "lib"))
import sandbox  # noqa: E402


def main():
    reg_tool, manifest_tool = (os.path.abspath(p) for p in sys.argv[1:3])
    with tempfile.TemporaryDirectory() as root:
        box = sandbox.Sandbox(root, reg_tool)
        box.publish("http://127.0.0.1:8080")
        manifest = os.path.join(box.www_dir, "update.xml")
        pub = os.path.join(root, "demo.pub")
        subprocess.run(["minisign", "-G", "-W", "-p", pub, "-s", os.path.join(root, "demo.key")],
                       check=True, capture_output=True)
        old, new = sandbox.make_builds(os.path.join(root, "builds"))
        released = os.path.join(root, "release")
        for argv in ([manifest_tool, "publish", manifest, os.path.join(box.www_dir, "packages"),
                      "-o", manifest],
                     [manifest_tool, "lint", "--pubkey", pub, manifest],
                     [manifest_tool, "release", old, new, "--version", "1.1.0.0", "--base-url",
                      "http://127.0.0.1:8080", "-o", released, "--client", "posix"],
                     [manifest_tool, "lint", "--pubkey", pub, os.path.join(released, "update.xml")]):
            done = subprocess.run(argv, capture_output=True, text=True)
            if done.returncode != 0:
                sys.stderr.write(done.stdout + done.stderr)
                return 1
        with open(manifest, encoding="utf-8") as f:
            text = f.read()
        if 'expires="' not in text or text.count("<size>") != 3:
            sys.stderr.write(text)
            return 1
    print("ok demo manifest lints clean")
    return 0


if __name__ == "__main__":
    sys.exit(main())
