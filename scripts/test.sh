#!/usr/bin/env bash
# Builds with AddressSanitizer and UBSan and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --sanitize
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
# Most tests wait on buses, servers and child processes rather than compute: two per core
# keep the cores busy.
ctest --test-dir build-asan --output-on-failure -j "$(( $(nproc) * 2 ))" --timeout 300
# A few seconds per fuzz target: one that no longer builds or crashes at once fails here.
scripts/fuzz.sh "${TW_FUZZ_SECONDS:-3}"
