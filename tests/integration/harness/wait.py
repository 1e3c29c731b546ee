"""Waiting for what a test expects: one helper for every wait of the suites.

    from harness.wait import TIMEOUT, wait_until

    line = wait_until(lambda: find(svc.events()), what="the check's last line",
                      seen=lambda: svc.events())   # -> what the probe returned

wait_until(probe, timeout=TIMEOUT, what="the condition", seen=None, interval=POLL)
calls probe() until it returns a true value and returns that value. When
timeout seconds pass first it raises AssertionError "no WHAT within Ns",
followed by what seen() returns (what the test saw instead). A probe may
raise AssertionError itself to give up early, for example when the process
it waits for has ended.

The timeout is a guard, not a measure: nothing passes or fails on speed.
$QARX_TEST_TIMEOUT sets it for a slow machine (default 30 s).
"""

import os
import time

TIMEOUT = float(os.environ.get("QARX_TEST_TIMEOUT", "30"))
POLL = 0.02


def wait_until(probe, timeout=TIMEOUT, what="the condition", seen=None, interval=POLL):
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError("no %s within %ss%s" % (what, timeout, "; seen: %s" % (seen(),) if seen else ""))
        time.sleep(interval)
