#!/usr/bin/env bash
# Installs every Debian package Tellwick needs (idempotent) and builds it into build/.
# Usage: scripts/setup.sh [--sanitize]   (--sanitize builds build-asan/ with ASan and UBSan)
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev qt6-multimedia-dev libxcb1-dev
    libsndfile1-dev libmp3lame-dev lame sox
    libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
    dbus-daemon dbus-bin dbus-session-bus-common python3 python3-aiosmtpd media-types
    procps tzdata qt6-qpa-plugins desktop-file-utils appstream
    libssl-dev openssl libsecret-1-dev gnome-keyring libsecret-tools
    clang libclang-rt-14-dev python3-dbus python3-gi
    liblinphone-dev linphone-common
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good
)

scripts/ensure-packages.sh "${packages[@]}"

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
