"""The scenarios' bounds on time: one bounded wait, and how long something
that must not happen is watched for.

    from waiting import WAIT, GRACE, wait_until
"""
import os
import time

# In an emulated guest (tools/vm) a program's first start alone can take
# seconds: there the bounds are stretched (tests/vm/i386.sh sets it).
SLOWDOWN = float(os.environ.get("E2E_SLOWDOWN", "1"))
WAIT = 10.0 * SLOWDOWN  # upper bound for things that normally take well under a second
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
