#!/usr/bin/python3
"""Crash consistency: tellwick killed with SIGKILL at many points, then started again.

While the calls of harness.py run, tellwick traces every step to standard error. A reference
run counts the trace lines; each kill point is a trace line number drawn from the seed, so
kills land in the answer, the greeting, the recording, the finishing, the pipeline's
conversion and rename and the index saves alike; a failing point is replayed with --seed and
--only (after the reference run, without the points before it). The records folder is kept
from point to point, so every kill also puts the records of the earlier points at risk.
After each kill, Harness.check() must find nothing.

Usage: crash_consistency.py BIN_DIR [--points N] [--seed S] [--only K...] [--keep DIR]
Runs on the caller's session bus (scripts/crash-consistency.sh makes a private one).
"""
import argparse
import random
import shutil
import sys

from harness import Harness


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bin")
    parser.add_argument("--points", type=int, default=100)
    parser.add_argument("--seed", type=int, default=17)
    parser.add_argument("--only", type=int, nargs="*", help="replay these point numbers")
    parser.add_argument("--keep", help="work folder to use and keep")
    args = parser.parse_args()

    h = Harness(args.bin, args.keep)
    try:
        total, _ = h.run_calls()
        faults, _ = h.check()
        if faults or not h.known:
            print("the reference run failed:", *(faults or ["no record made"]), sep="\n  ")
            return 1
        print("reference run: %d trace lines, %d records" % (total, len(h.known)), flush=True)
        rng = random.Random(args.seed)
        points = [rng.randint(1, total) for _ in range(args.points)]
        failed = 0
        for number, line in enumerate(points, 1):
            if args.only and number not in args.only:
                continue
            h.run_calls(line)
            faults, segments = h.check()
            state = "FAIL" if faults else "ok"
            print("point %d (trace line %d of %d): %s, %d records, %d segments left"
                  % (number, line, total, state, len(h.known), segments), flush=True)
            for fault in faults:
                print("  " + fault)
            failed += bool(faults)
        print("kill points: %d, survived: %d, failed: %d" % (len(args.only or points),
              len(args.only or points) - failed, failed))
        return 1 if failed else 0
    finally:
        if not args.keep:
            shutil.rmtree(h.work, ignore_errors=True)


sys.exit(main())
