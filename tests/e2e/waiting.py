"""The scenarios' bounds on time: one bounded wait, and how long something
that must not happen is watched for.

    from waiting import WAIT, GRACE, wait_until
"""
import time

WAIT = 10.0    # upper bound for things that normally take well under a second
GRACE = 0.5    # how long something that must not happen is watched for


def wait_until(predicate, timeout=WAIT, interval=0.05):
    """The predicate's first true value, asked every interval seconds; once
    timeout seconds have passed, its last value (false)."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(interval)
