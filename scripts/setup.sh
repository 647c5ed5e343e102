#!/usr/bin/env bash
# Installs every Debian package Tellwick needs (idempotent) and builds it into build/.
# Usage: scripts/setup.sh [--sanitize]   (--sanitize builds build-asan/ with ASan and UBSan)
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev qt6-multimedia-dev
    libsndfile1-dev libmp3lame-dev lame sox
    libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
    dbus-daemon dbus-bin dbus-session-bus-common python3 python3-aiosmtpd media-types
    procps tzdata qt6-qpa-plugins desktop-file-utils appstream
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    as_root=()
    [ "$(id -u)" -eq 0 ] || as_root=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${as_root[@]}" apt-get update -q
    "${as_root[@]}" apt-get install -y -q "${missing[@]}"
fi

# The plain build is the programs (and benchmarks) the main job runs; the tests are built by
# the sanitizer build that scripts/test.sh runs.
build=build
flags=(-DTW_BUILD_TESTS=OFF)
if [ "${1:-}" = "--sanitize" ]; then
    build=build-asan
    flags=(-DTW_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DTW_BUILD_BENCH=OFF)
fi
cmake -S . -B "$build" -G Ninja "${flags[@]}"
cmake --build "$build" -j "$(nproc)"
