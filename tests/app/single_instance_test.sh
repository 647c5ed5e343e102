#!/usr/bin/env bash
# Runs under its own dbus-run-session. Usage: single_instance_test.sh <path to tellwick>
# A second tellwick must activate the first, exit 0 and change no file; SIGTERM must end the
# first with status 0 after it saved every setting.
set -euo pipefail
tellwick=$1
work=$(mktemp -d)
first=
cleanup() {
    [ -n "$first" ] && kill -KILL "$first" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    echo "--- first instance's trace:" >&2
    cat "$work/first.err" >&2 || true
    exit 1
}

export XDG_DATA_HOME=$work/data HOME=$work/home TELLWICK_TRACE=1
data=$XDG_DATA_HOME/tellwick
mkdir -p "$HOME"

name_owned() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.tellwick.Tellwick 2>/dev/null |
        grep -q 'boolean true'
}

"$tellwick" 2>"$work/first.err" &
first=$!
for _ in $(seq 1 300); do
    name_owned && break
    kill -0 "$first" 2>/dev/null || fail "the first instance ended early"
    sleep 0.1
done
name_owned || fail "the first instance never owned org.tellwick.Tellwick"
# Activate() is answered only once the first copy's event loop runs, i.e. after its start-up
# has touched every file it touches.
dbus-send --session --print-reply --reply-timeout=30000 --dest=org.tellwick.Tellwick \
    /org/tellwick/Tellwick org.tellwick.Tellwick.Activate >/dev/null ||
    fail "Activate() was not answered"

snapshot() {
    (cd "$data" && find . -printf '%p %y %s %T@ %m\n' | sort &&
        find . -type f -print0 | sort -z | xargs -0 -r sha256sum)
}
before=$(snapshot)
[ -f "$data/Tellwick.Log" ] || fail "the first instance did not open its log"

status=0
timeout 30 "$tellwick" 2>"$work/second.err" || status=$?
[ "$status" -eq 0 ] || fail "the second instance exited with $status: $(cat "$work/second.err")"
[ "$(snapshot)" = "$before" ] || fail "the second instance changed the data folder"
grep -q '^3 Activate()' "$work/first.err" || fail "the first instance saw no Activate()"

kill -TERM "$first"
status=0
wait "$first" || status=$?
first=
[ "$status" -eq 0 ] || fail "SIGTERM ended the first instance with status $status"

# The settings were saved through to the last key of the table.
grep -q '^sSkypeNameTo=' "$data/Tellwick.Ini" || fail "the settings were not saved"
grep -q ' - ExitInstance()' "$data/Tellwick.Log" || fail "the log does not end in order"
echo "single instance: OK"
