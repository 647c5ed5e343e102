#!/usr/bin/env bash
# Usage: run_with_bus.sh SESSION.conf PROGRAM [ARGS...]: runs the program on a private session
# bus of its own; nothing it or the bus started (activated services too) outlives it.
set -u
conf=$1
shift
runner=""
cleanup() {
    [ -n "$runner" ] || return
    # Activated services are children of the bus daemon, itself a child of dbus-run-session.
    for daemon in $(pgrep -P "$runner" 2>/dev/null); do
        pkill -KILL -P "$daemon" 2>/dev/null
    done
    kill "$runner" 2>/dev/null
    wait "$runner" 2>/dev/null
}
trap cleanup EXIT
trap 'exit 143' INT TERM
dbus-run-session --config-file="$conf" -- "$@" &
runner=$!
wait "$runner"
status=$?
runner="" # ended normally: dbus-run-session has already ended the bus
exit $status
