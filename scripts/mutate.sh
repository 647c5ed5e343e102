#!/usr/bin/env bash
# Measures how strong the core's tests are: applies the small plausible bugs listed in
# scripts/mutants.txt one at a time, rebuilds the test binary that covers the mutated file
# incrementally, runs it, and counts the mutants the tests kill. A mutant's text must occur
# exactly once in its file, so one that no longer applies is reported as stale, never
# skipped silently. The file is restored after each mutant, also on interrupt. The mutants
# are applied to the working tree itself: while it runs, commit nothing and build no other
# tree from it (a fuzz or Release build would take the mutant in).
# Usage: scripts/mutate.sh [BUILD_DIR] [NUMBER...]  (default build-asan, every mutant)
#   Exit status 0 when nothing is stale and every mutant is killed.
set -euo pipefail
cd "$(dirname "$0")/.."
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
exec python3 - "${1:-build-asan}" "${@:2}" <<'PY'
import os, re, shutil, signal, subprocess, sys

build, selected = sys.argv[1], {int(n) for n in sys.argv[2:]}
jobs = os.environ.get("TW_MUTATE_JOBS", "2")

mutants = []
for block in re.split(r"^@@ ", open("scripts/mutants.txt").read(), flags=re.M)[1:]:
    header, body = block.split("\n", 1)
    path, binary, bug = (field.strip() for field in header.split("|", 2))
    old, new = body.split("\n==>\n", 1)
    # The replacement ends at the next comment line or at the blank lines before it.
    new = re.split(r"^# ", new, flags=re.M)[0].rstrip("\n")
    mutants.append((path, old, new, binary, bug))

current = None  # (path, original text) while a mutant is applied

def restore(*_):
    global current
    if current:
        with open(current[0], "w") as f:
            f.write(current[1])
        current = None
    if _:
        sys.exit(1)

signal.signal(signal.SIGINT, restore)
signal.signal(signal.SIGTERM, restore)

def run(command, timeout):
    try:
        return subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode == 0
    except subprocess.TimeoutExpired:
        return False

killed, survivors, stale = 0, [], []
try:
    for n, (path, old, new, binary, bug) in enumerate(mutants, 1):
        if selected and n not in selected:
            continue
        source = open(path).read()
        if source.count(old) != 1:
            stale.append(n)
            print(f"#{n} STALE ({path} does not hold the text exactly once): {bug}", flush=True)
            continue
        current = (path, source)
        with open(path, "w") as f:
            f.write(source.replace(old, new))
        if not run(["cmake", "--build", build, "-j", jobs, "--target", binary], 1800):
            killed += 1
            print(f"#{n} killed (does not build): {bug}", flush=True)
        elif not run([f"{build}/bin/{binary}", "--gtest_brief=1"], 600):
            killed += 1
            print(f"#{n} killed: {bug}", flush=True)
        else:
            survivors.append(f"#{n} {path}: {bug}")
            print(f"#{n} SURVIVED: {bug}", flush=True)
        restore()
finally:
    restore()
    # Leave the binaries matching the restored sources.
    subprocess.run(["cmake", "--build", build, "-j", jobs], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)

tried = killed + len(survivors)
print(f"mutants tried: {tried}, killed: {killed}, survived: {len(survivors)}, stale: {len(stale)}")
if tried:
    print(f"mutation score: {100.0 * killed / tried:.1f} %")
for s in survivors:
    print("survivor", s)
sys.exit(0 if not survivors and not stale else 1)
PY
