#!/usr/bin/env bash
# tellwick (from build-asan/) against storage faults, each followed by a restart, a rescan
# and the record checks of tests/crash/harness.py, on a private session bus:
#   scripts/storage-faults.sh kill [POINTS] [SEED]  SIGKILL at seeded trace points (100, 17)
#   scripts/storage-faults.sh disk [SIZE...]        file-size limits (13 from 0 to 400 000 bytes)
set -euo pipefail
cd "$(dirname "$0")/.."
case ${1:-} in
kill) run=(tests/crash/crash_consistency.py build-asan/bin --points "${2:-100}" --seed "${3:-17}") ;;
disk) run=(tests/crash/full_disk.py build-asan/bin ${2:+--sizes "${@:2}"}) ;;
*) sed -n '2,5p' "$0" >&2; exit 2 ;;
esac
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
exec dbus-run-session -- /usr/bin/python3 "${run[@]}" 2> >(grep -v 'Failed to set fd limit' >&2)
