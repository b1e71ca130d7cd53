"""Shared helpers of the test servers: free ports, pid files, waiting, stopping."""

import os
import signal
import socket
import time


def free_port():
    """A port of 127.0.0.1 that nothing listens on right now."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def write_atomically(path, text):
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write(text)
    os.replace(tmp, path)


def wait_for_port(port, seconds=10.0):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def read_pid(pid_file):
    try:
        with open(pid_file) as f:
            return int(f.read().strip())
    except (OSError, ValueError):
        return None


def process_matches(pid, marker):
    """True when pid is alive and its command line mentions marker (a pid file
    left by a crashed run may name an unrelated process by now)."""
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            return marker.encode() in f.read()
    except OSError:
        return False


def stop_process(pid_file, marker, sig=signal.SIGTERM, seconds=5.0):
    """Stops the process of the pid file if it is still the one we started;
    SIGKILL when it does not go in time. Removes the pid file."""
    pid = read_pid(pid_file)
    if pid and process_matches(pid, marker):
        try:
            os.kill(pid, sig)
        except ProcessLookupError:
            pass
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline and process_matches(pid, marker):
            time.sleep(0.05)
        if process_matches(pid, marker):
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
    try:
        os.remove(pid_file)
    except OSError:
        pass
