#!/usr/bin/env python3
"""Starts and stops the static-file nginx of the tests.

  nginx_ctl.py start --state-dir DIR --root WWW   # writes DIR/nginx.port and DIR/nginx.root
  nginx_ctl.py stop  --state-dir DIR

nginx runs as a daemon with its configuration, pid file, logs and temporary
folders under DIR/nginx, listening on a free port of 127.0.0.1 only, serving
the files under WWW. Run as root, its workers stay root so that they can read a
build folder under /root.
"""

import argparse
import os
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
from server_state import free_port, stop_process, wait_for_port, write_atomically

CONFIG = """\
{user}worker_processes 1;
daemon on;
pid {home}/nginx.pid;
error_log {home}/error.log warn;
events {{ worker_connections 512; }}
http {{
  access_log {home}/access.log;
  client_body_temp_path {home}/tmp/body;
  proxy_temp_path {home}/tmp/proxy;
  fastcgi_temp_path {home}/tmp/fastcgi;
  uwsgi_temp_path {home}/tmp/uwsgi;
  scgi_temp_path {home}/tmp/scgi;
  default_type application/octet-stream;
  sendfile on;
  tcp_nopush on;
  server {{
    listen 127.0.0.1:{port};
    root {root};
    location / {{ }}
  }}
}}
"""


def nginx_binary():
    for candidate in (shutil.which("nginx"), "/usr/sbin/nginx"):
        if candidate and os.access(candidate, os.X_OK):
            return candidate
    sys.exit("nginx not found: install the Debian package nginx-light")


def start(state_dir, root):
    home = os.path.join(state_dir, "nginx")
    stop(state_dir)
    os.makedirs(os.path.join(home, "tmp"), exist_ok=True)
    os.makedirs(root, exist_ok=True)
    conf = os.path.join(home, "nginx.conf")
    user = "user root;\n" if os.geteuid() == 0 else ""
    # The port is free when chosen but may be taken before nginx binds it: try again.
    for _ in range(5):
        port = free_port()
        write_atomically(conf, CONFIG.format(user=user, home=home, port=port, root=root))
        result = subprocess.run([nginx_binary(), "-p", home, "-c", conf, "-e",
                                 os.path.join(home, "error.log")],
                                capture_output=True, text=True)
        if result.returncode == 0 and wait_for_port(port):
            write_atomically(os.path.join(state_dir, "nginx.port"), "%d\n" % port)
            write_atomically(os.path.join(state_dir, "nginx.root"), root + "\n")
            print("nginx on 127.0.0.1:%d serving %s" % (port, root))
            return 0
        sys.stderr.write(result.stderr)
        stop(state_dir)
    return 1


def stop(state_dir):
    home = os.path.join(state_dir, "nginx")
    # The pid file names the master, whose command line names our configuration;
    # on SIGTERM it ends its workers itself.
    stop_process(os.path.join(home, "nginx.pid"), os.path.join(home, "nginx.conf"))
    for name in ("nginx.port", "nginx.root"):
        try:
            os.remove(os.path.join(state_dir, name))
        except OSError:
            pass
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=["start", "stop"])
    parser.add_argument("--state-dir", required=True)
    parser.add_argument("--root")
    args = parser.parse_args()
    state_dir = os.path.abspath(args.state_dir)
    os.makedirs(state_dir, exist_ok=True)
    if args.command == "start":
        if not args.root:
            parser.error("start needs --root")
        return start(state_dir, os.path.abspath(args.root))
    return stop(state_dir)


if __name__ == "__main__":
    sys.exit(main())
