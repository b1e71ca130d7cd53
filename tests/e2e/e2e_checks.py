"""The checks the end-to-end scripts share."""


class CheckFailed(AssertionError):
    pass


def check(condition, message, detail=""):
    """Fails with the message, and the detail (a log, an output) shortened to
    its ends when it is long."""
    if not condition:
        if len(detail) > 3000:
            detail = detail[:1500] + "\n[...]\n" + detail[-1500:]
        raise CheckFailed(message + ("\n--- detail ---\n" + detail if detail else ""))


def in_order(text, parts):
    """True when the parts occur in text in this order."""
    at = 0
    for part in parts:
        at = text.find(part, at)
        if at < 0:
            return False
        at += len(part)
    return True


def run_wine(argv, timeout=60, **kwargs):
    """subprocess.run with the output caught in files, not pipes: the first
    Wine program of a server starts Wine's services and desktop, which inherit
    its output and outlive it, so a pipe would not end until they do."""
    import subprocess
    import tempfile
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        done = subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                              timeout=timeout, **kwargs)
        out.seek(0)
        err.seek(0)
        done.stdout, done.stderr = out.read(), err.read()
    return done
