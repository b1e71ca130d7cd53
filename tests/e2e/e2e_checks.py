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
