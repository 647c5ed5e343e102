#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan, UBSan) into build-fuzz/ and runs each for
# SECONDS (default 60) from its committed seed corpus; stops at the first target that
# crashes, leaks or reports undefined behaviour.
# Usage: scripts/fuzz.sh [SECONDS] [TARGET...]   e.g. scripts/fuzz.sh 5 base64 wav_reader
#   TW_FUZZ_RUNS=N also ends each run after N executions; TW_FUZZ_JOBS sets build jobs;
#   TW_FUZZ_BUILD=0 runs the targets as last built (for runs beside other builds of the tree).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(skype_link wav_reader record_chunk index_file profile_store greeting_list
        smtp_reply base64 skin_bitmap)
fi

build=build-fuzz
if [ "${TW_FUZZ_BUILD:-1}" != 0 ]; then
    if [ ! -f "$build/build.ninja" ]; then
        launcher=()
        command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache
            -DCMAKE_C_COMPILER_LAUNCHER=ccache)
        CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DTW_FUZZ=ON -DTW_BUILD_TESTS=OFF \
            -DTW_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
    fi
    cmake --build "$build" -j "${TW_FUZZ_JOBS:-$(nproc)}" --target tw_fuzzers
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for t in "${targets[@]}"; do
    # New inputs go to a scratch corpus; the committed seeds stay as they are.
    work=$build/corpus/$t
    mkdir -p "$work" "$build/findings"
    args=(-max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048
        -print_final_stats=1 -artifact_prefix="$build/findings/$t-")
    [ -n "${TW_FUZZ_RUNS:-}" ] && args+=(-runs="$TW_FUZZ_RUNS")
    [ -f "fuzz/dict/$t.dict" ] && args+=(-dict="fuzz/dict/$t.dict")
    echo "== $t: ${seconds}s"
    "$build/bin/tw_fuzz_$t" "${args[@]}" "$work" "fuzz/corpus/$t" 2>"$build/$t.log" || {
        tail -n 60 "$build/$t.log"
        echo "fuzz target $t failed; the input is in $build/findings/" >&2
        exit 1
    }
    grep -E "^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::average_exec_per_sec)" \
        "$build/$t.log" | tr '\n' ' '
    echo
done
