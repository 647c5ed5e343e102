#!/usr/bin/env bash
# Runs a test program on a private session bus of its own and makes sure nothing it or the
# bus started outlives it: the bus, the test and every service the bus activated.
# Usage: run_with_bus.sh SESSION.conf PROGRAM [ARGS...]
set -u
conf=$1
shift
runner=""
cleanup() {
    if [ -n "$runner" ]; then
        # Services activated by the bus are children of its daemon, itself a child of
        # dbus-run-session: end them by parent id, then the session.
        for daemon in $(pgrep -P "$runner" 2>/dev/null); do
            pkill -KILL -P "$daemon" 2>/dev/null
        done
        kill "$runner" 2>/dev/null
        wait "$runner" 2>/dev/null
    fi
}
trap cleanup EXIT
trap 'exit 143' INT TERM
dbus-run-session --config-file="$conf" -- "$@" &
runner=$!
wait "$runner"
status=$?
# The services must go before the daemon does; dbus-run-session has already ended the
# daemon here, so only orphans of a crash can remain: they quit when their bus goes.
runner=""
exit $status
