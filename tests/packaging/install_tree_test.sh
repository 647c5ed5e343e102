#!/usr/bin/env bash
# cmake --install into a fresh prefix: every file in its freedesktop place, the desktop file
# and the metainfo valid, each PNG icon of its folder's size, and the installed program runs.
# Usage: install_tree_test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d "${TMPDIR:-/tmp}/tw_install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cmake --install "$build" --prefix "$prefix" >/dev/null
id=org.tellwick.Tellwick
for file in bin/tellwick bin/tellwick-tool bin/skype-sim \
    share/tellwick/greetings/greeting.ini share/tellwick/greetings/greeting1.wav \
    share/tellwick/dbus-1/services/com.Skype.API.service \
    share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
    share/icons/hicolor/scalable/apps/$id.svg; do
    [ -s "$prefix/$file" ] || fail "$file is not installed"
done
desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "desktop file"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >/dev/null ||
    fail "metainfo: $(appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml")"

pngs=("$prefix"/share/icons/hicolor/*x*/apps/$id.png)
[ ${#pngs[@]} -ge 6 ] || fail "only ${#pngs[@]} PNG icon sizes"
/usr/bin/python3 - "${pngs[@]}" <<'PY' || fail "an icon is not of its folder's size"
import os, struct, sys
for path in sys.argv[1:]:
    with open(path, "rb") as f:
        head = f.read(24)
    width, height = struct.unpack(">II", head[16:24])
    size = os.path.basename(os.path.dirname(os.path.dirname(path)))
    assert head[:8] == b"\x89PNG\r\n\x1a\n" and size == "%dx%d" % (width, height), path
PY
"$prefix/bin/tellwick" --version | grep -q '^Tellwick [0-9]' || fail "tellwick --version"
echo "install tree: OK"
