#!/usr/bin/env bash
# Builds the Debian package into build-package/ (installed prefix /usr, no tests) and shows
# its control data. With --install it also installs it (apt-get, through sudo when not root)
# and runs /usr/bin/tellwick --version.
# Usage: scripts/package.sh [--install]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-package
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DTW_BUILD_TESTS=OFF -DTW_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/tellwick_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$PWD/$build"/tellwick_*.deb)
dpkg-deb --field "$deb" Package Version Architecture Depends Recommends
echo "$deb"
if [ "${1:-}" = --install ]; then
    as_root=()
    [ "$(id -u)" -eq 0 ] || as_root=(sudo)
    DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q "$deb" >/dev/null
    /usr/bin/tellwick --version
fi
