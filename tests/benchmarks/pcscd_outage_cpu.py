#!/usr/bin/env python3
"""Prints the service's CPU time while pcscd is away and in the quiet after
it came back: the reader monitor and watchers retry with pauses (100 ms
doubling to 2 s) and must not spin. A figure, not a test: a loaded machine
changes it. Needs what the terminal integration tests need (root, pcscd,
vpcd); run after a build:

    python3 tests/benchmarks/pcscd_outage_cpu.py [--outage S] [--quiet S]
"""

import argparse
import os
import shutil
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "integration"))

from harness.pcsc_bed import PcscBed, skip_reason  # noqa: E402
from harness.service import Service  # noqa: E402


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--outage", type=float, default=5.0)
    parser.add_argument("--quiet", type=float, default=3.0)
    args = parser.parse_args()
    reason = skip_reason()
    if reason:
        print("pcscd_outage_cpu: cannot run: %s" % reason)
        return 1
    work = tempfile.mkdtemp(prefix="qarx-bench-")
    try:
        with PcscBed(plugged=["t1"]) as bed:
            env = dict(bed.env(), TMPDIR=work, QARX_UPDATE_SERVER="http://127.0.0.1:9",
                       QARX_WINDOWS_ROOT=os.path.join(work, "windows"))
            with Service(env=env, answer="no") as svc:
                svc.wait_event("window", show=0)
                pid = svc.process.pid
                before = cpu_seconds(pid)
                bed.kill()
                time.sleep(args.outage)
                during = cpu_seconds(pid) - before
                bed.start()
                time.sleep(args.quiet)
                before = cpu_seconds(pid)
                time.sleep(args.quiet)
                after = cpu_seconds(pid) - before
                print("CPU of the service: %.3f s during %.0f s without pcscd, %.3f s in %.0f s of quiet afterwards"
                      % (during, args.outage, after, args.quiet))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
