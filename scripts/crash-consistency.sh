#!/usr/bin/env bash
# Kills tellwick (from build-asan/) with SIGKILL at POINTS seeded trace points and checks the
# records after each restart (tests/crash/crash_consistency.py).
# Usage: scripts/crash-consistency.sh [POINTS] [SEED]   (default 100 points, seed 17)
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
exec dbus-run-session -- /usr/bin/python3 tests/crash/crash_consistency.py build-asan/bin \
    --points "${1:-100}" --seed "${2:-17}" 2> >(grep -v 'Failed to set fd limit' >&2)
