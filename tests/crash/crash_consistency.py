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
Runs on the caller's session bus (scripts/storage-faults.sh makes a private one).
"""
import random
import sys

import harness


def configure(parser):
    parser.add_argument("--points", type=int, default=100)
    parser.add_argument("--seed", type=int, default=17)
    parser.add_argument("--only", type=int, nargs="*", help="replay these point numbers")


def kill_at(h, line):
    h.run_calls(line)
    return [], ""


def points(args, total):
    rng = random.Random(args.seed)
    for number, line in enumerate([rng.randint(1, total) for _ in range(args.points)], 1):
        if not args.only or number in args.only:
            yield ("point %d (trace line %d of %d)" % (number, line, total),
                   lambda h, line=line: kill_at(h, line))


sys.exit(harness.run(__doc__, configure, points, "kill points"))
