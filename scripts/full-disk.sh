#!/usr/bin/env bash
# Runs tellwick (from build-asan/) under file-size limits (RLIMIT_FSIZE, SIGXFSZ ignored) and
# checks the records after each restart (tests/crash/full_disk.py).
# Usage: scripts/full-disk.sh [SIZE...]   (default: 13 sizes from 0 to 400 000 bytes)
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
exec dbus-run-session -- /usr/bin/python3 tests/crash/full_disk.py build-asan/bin \
    ${1:+--sizes "$@"} 2> >(grep -v 'Failed to set fd limit' >&2)
