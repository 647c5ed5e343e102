#!/usr/bin/python3
"""A full disk: tellwick runs the calls of harness.py under a file-size limit.

RLIMIT_FSIZE with SIGXFSZ ignored makes every write that would pass the limit fail with
EFBIG, so each writer (the finisher's cut, mix and join, the conversion, the index save, the
settings save, the e-mail copy, the log) meets a full disk at some size. For each size:
tellwick keeps running and still exits 0 on SIGTERM, the failure is logged (when the log
itself still fits), and after a restart without the limit Harness.check() finds nothing: no
earlier record lost or changed, no half-written record listed, no temporary file left.

Usage: full_disk.py BIN_DIR [--sizes N ...] [--keep DIR]
Runs on the caller's session bus (scripts/full-disk.sh makes a private one).
"""
import argparse
import os
import shutil
import sys

from harness import Harness

# From nothing at all through the log, the settings and the index to partway into the
# records, their conversion and the e-mail copy.
SIZES = [0, 1, 100, 1000, 4096, 10000, 30000, 50000, 70000, 100000, 150000, 250000, 400000]


def log_text(h):
    path = os.path.join(h.data, "Tellwick.Log")
    return open(path, errors="replace").read() if os.path.exists(path) else ""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bin")
    parser.add_argument("--sizes", type=int, nargs="*", default=SIZES)
    parser.add_argument("--keep", help="work folder to use and keep")
    args = parser.parse_args()

    h = Harness(args.bin, args.keep)
    try:
        _, status = h.run_calls()
        faults, _ = h.check()
        if status != 0 or faults or not h.known:
            print("the run without a limit failed:", *(faults or ["status %d" % status]), sep="\n  ")
            return 1
        failed = 0
        for size in args.sizes:
            before = log_text(h)
            _, status = h.run_calls(file_size_limit=size)
            logged = log_text(h)[len(before):]
            faults, segments = h.check()
            if status != 0:
                faults.insert(0, "tellwick did not keep running (exit status %d)" % status)
            print("limit %d bytes: %s, %d records, %d segments left, %d log lines written"
                  % (size, "FAIL" if faults else "ok", len(h.known), segments,
                     logged.count("\n")), flush=True)
            for fault in faults:
                print("  " + fault)
            failed += bool(faults)
        print("file-size limits tried: %d, passed: %d, failed: %d"
              % (len(args.sizes), len(args.sizes) - failed, failed))
        return 1 if failed else 0
    finally:
        if not args.keep:
            shutil.rmtree(h.work, ignore_errors=True)


sys.exit(main())
