#!/bin/sh
# Runs a command on a private session bus with a real gnome-keyring-daemon whose login
# keyring is unlocked, in a home of its own that is removed afterwards.
set -eu
home=$(mktemp -d)
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" \
    XDG_RUNTIME_DIR="$home/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
status=0
dbus-run-session -- sh -c '
    printf test | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null &
    daemon=$!
    for i in $(seq 50); do
        dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
            org.freedesktop.DBus.GetNameOwner string:org.freedesktop.secrets >/dev/null 2>&1 && break
        sleep 0.1
    done
    "$@"; status=$?
    kill "$daemon" 2>/dev/null; wait "$daemon" 2>/dev/null
    exit $status' sh "$@" || status=$?
rm -rf "$home"
exit $status
