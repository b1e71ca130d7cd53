#!/usr/bin/env python3
"""The demo's manifest, published as the demo publishes it, passes the
maker's lint.

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
        done = subprocess.run([manifest_tool, "lint", manifest], capture_output=True, text=True)
        if done.returncode != 0:
            sys.stderr.write(done.stdout + done.stderr)
            return 1
    print("ok demo manifest lints clean")
    return 0


if __name__ == "__main__":
    sys.exit(main())
