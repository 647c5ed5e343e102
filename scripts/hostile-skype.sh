#!/usr/bin/env bash
# Runs tellwick (from build-asan/) against the hostile Skype for SECONDS per seed.
# Usage: scripts/hostile-skype.sh [SECONDS] [SEED...]   (default 60 s, seeds 1 to 5)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
seeds=("$@")
[ ${#seeds[@]} -gt 0 ] || seeds=(1 2 3 4 5)
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for seed in "${seeds[@]}"; do
    tests/hostile/hostile_skype_test.sh build-asan/bin "$seconds" "$seed"
done
