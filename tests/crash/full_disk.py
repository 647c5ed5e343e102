#!/usr/bin/python3
"""A full disk: tellwick runs the calls of harness.py under a file-size limit.

RLIMIT_FSIZE with SIGXFSZ ignored makes every write that would pass the limit fail with
EFBIG, so each writer (the finisher's cut, mix and join, the conversion, the index save, the
settings save, the e-mail copy, the log) meets a full disk at some size. For each size:
tellwick keeps running and still exits 0 on SIGTERM, the failure is logged (when the log
itself still fits), and after a restart without the limit Harness.check() finds nothing: no
earlier record lost or changed, no half-written record listed, no temporary file left.

Usage: full_disk.py BIN_DIR [--sizes N ...] [--keep DIR]
Runs on the caller's session bus (scripts/storage-faults.sh makes a private one).
"""
import os
import sys

import harness

# From nothing at all through the log, the settings and the index to partway into the
# records, their conversion and the e-mail copy.
SIZES = [0, 1, 100, 1000, 4096, 10000, 30000, 50000, 70000, 100000, 150000, 250000, 400000]


def log_lines(h):
    path = os.path.join(h.data, "Tellwick.Log")
    return open(path, errors="replace").read().count("\n") if os.path.exists(path) else 0


def under_limit(h, size):
    before = log_lines(h)
    _, status = h.run_calls(file_size_limit=size)
    faults = [] if status == 0 else ["tellwick did not keep running (exit status %d)" % status]
    return faults, ", %d log lines written" % max(0, log_lines(h) - before)


def configure(parser):
    parser.add_argument("--sizes", type=int, nargs="*", default=SIZES)


def points(args, _):
    for size in args.sizes:
        yield "limit %d bytes" % size, lambda h, size=size: under_limit(h, size)


sys.exit(harness.run(__doc__, configure, points, "file-size limits"))
