#!/usr/bin/env bash
# Under dbus-run-session: a second tellwick activates the first and changes no file.
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
    echo "FAIL: $*; the first instance's trace:" >&2
    cat "$work/first.err" >&2 || true
    exit 1
}

export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config HOME=$work/home TELLWICK_TRACE=1
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
# Activate() is answered once the first copy's loop runs, after its start-up touched its files.
dbus-send --session --print-reply --reply-timeout=30000 --dest=org.tellwick.Tellwick \
    /org/tellwick/Tellwick org.tellwick.Tellwick.Activate >/dev/null ||
    fail "Activate() was not answered"

snapshot() {
    (cd "$data" && find . -printf '%p %y %s %T@ %m\n' | sort &&
        find . -type f -print0 | sort -z | xargs -0 -r sha256sum)
}
before=$(snapshot)
[ -f "$data/Tellwick.Log" ] || fail "the first instance did not open its log"

timeout 30 "$tellwick" 2>"$work/second.err" ||
    fail "the second instance exited with $?: $(cat "$work/second.err")"
[ "$(snapshot)" = "$before" ] || fail "the second instance changed the data folder"
grep -q '^3 Activate()' "$work/first.err" || fail "the first instance saw no Activate()"

kill -TERM "$first"
wait "$first" || fail "SIGTERM ended the first instance with status $?"
first=
grep -q '^sSkypeNameTo=' "$data/Tellwick.Ini" || fail "the settings were not saved"
grep -q ' - ExitInstance()' "$data/Tellwick.Log" || fail "the log does not end in order"
echo "single instance: OK"
