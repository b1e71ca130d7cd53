#!/usr/bin/env python3
"""scripts/lib/deps.sh and scripts/build-windows --deps against a package
mirror in the middle of a sync, without touching the machine's apt state:
apt-get, dpkg and dpkg-query are stand-ins first on PATH that keep their state
in a folder of the test.

  package_mirror_test.py ROOT
"""
import os
import pathlib
import subprocess
import sys
import tempfile

BROKEN_INDEX = ("http://deb.debian.org/debian-security/dists/bookworm-security/main/"
                "binary-i386/Packages.xz")

# The stand-ins read STUB (their folder) and, per case, STUB_UPDATE_FAILS (how
# many updates fail before one works), STUB_FAIL_INSTALL (a package apt-get
# cannot install) and STUB_I386 (the i386 architecture is enabled already).
APT_GET = r"""#!/bin/sh
echo "$*" >>"$STUB/calls"
case $1 in
update)
  n=$(cat "$STUB/updates" 2>/dev/null || echo 0); echo $((n + 1)) >"$STUB/updates"
  if [ "$n" -lt "${STUB_UPDATE_FAILS:-0}" ]; then
    echo "E: Failed to fetch %s  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
    exit 100
  fi ;;
install)
  shift
  for p in "$@"; do
    case $p in
    -*) ;;
    wine32:i386|"$STUB_FAIL_INSTALL")
      if [ "$p" != wine32:i386 ] || [ -z "$STUB_WINE32_OK" ]; then
        echo "E: Unable to correct problems, you have held broken packages." >&2
        exit 100
      fi ;;
    esac
  done
  for p in "$@"; do case $p in -*) ;; *) echo "$p" >>"$STUB/installed" ;; esac; done ;;
esac
""" % BROKEN_INDEX

DPKG_QUERY = r"""#!/bin/sh
for p; do last=$p; done
grep -qx "$last" "$STUB/installed" 2>/dev/null && printf 'install ok installed'
exit 0
"""

DPKG = r"""#!/bin/sh
case $1 in
--print-foreign-architectures) [ -e "$STUB/i386" ] && echo i386 ;;
--add-architecture) touch "$STUB/i386" ;;
esac
exit 0
"""

# name, environment, expected exit, texts the output must hold, update calls
CASES = [
    ("index missing for good: the 64-bit Windows tests",
     {"STUB_UPDATE_FAILS": "99", "STUB_I386": "1"}, 0,
     ["these indexes could not be fetched", BROKEN_INDEX, "held broken packages",
      "Windows tests: x86_64 build"], 3),
    ("the architecture added, then updated again",
     {"STUB_UPDATE_FAILS": "99"}, 0, ["Windows tests: x86_64 build"], 6),
    ("a sync that ends before the third try: 32-bit tests",
     {"STUB_UPDATE_FAILS": "2", "STUB_I386": "1", "STUB_WINE32_OK": "1"}, 0,
     ["Windows tests: i686 build"], 3),
    ("a needed package that cannot be installed stops the script",
     {"STUB_UPDATE_FAILS": "99", "STUB_I386": "1", "STUB_FAIL_INSTALL": "nginx-light"}, 1,
     ["could not install the packages needed", BROKEN_INDEX], 3),
]


def main():
    root = pathlib.Path(sys.argv[1])
    failures = 0
    for name, env, status, texts, updates in CASES:
        with tempfile.TemporaryDirectory() as stub:
            stub = pathlib.Path(stub)
            bin_dir = stub / "bin"
            bin_dir.mkdir()
            for tool, text in (("apt-get", APT_GET), ("dpkg-query", DPKG_QUERY), ("dpkg", DPKG),
                               ("id", "#!/bin/sh\necho 0\n")):
                (bin_dir / tool).write_text(text)
                (bin_dir / tool).chmod(0o755)
            if env.pop("STUB_I386", None):
                (stub / "i386").touch()
            run_env = dict(os.environ, PATH=f"{bin_dir}:{os.environ['PATH']}", STUB=str(stub),
                           UPDATER_APT_RETRY_SECONDS="0", UPDATER_APT_UPDATED="",
                           UPDATER_APT_FAILED_INDEXES="",
                           UPDATER_WINE32_LOADER=str(bin_dir / "id"), **env)
            done = subprocess.run([str(root / "scripts" / "build-windows"), "--deps"],
                                  cwd=root, env=run_env, capture_output=True, text=True, timeout=120)
            output = done.stdout + done.stderr
            calls = (stub / "calls").read_text().splitlines() if (stub / "calls").exists() else []
            problems = [f"exit {done.returncode}, not {status}"] if done.returncode != status else []
            problems += [f"no {t!r}" for t in texts if t not in output]
            got = sum(1 for c in calls if c.startswith("update"))
            if got != updates:
                problems.append(f"{got} updates, not {updates}")
            if problems:
                failures += 1
                print(f"FAIL {name}: {'; '.join(problems)}\n{output}")
            else:
                print(f"ok   {name}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
