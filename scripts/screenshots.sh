#!/usr/bin/env bash
# Screenshots of the real main window: tellwick runs under Xvfb on a private session bus with
# skype-sim attached, a PulseAudio null sink as its sound device, and a data folder seeded with
# voice mails and conversations (read and unread, locked and not, annotated). The window is
# driven with xdotool the way a user would; each view is written to docs/screenshots/*.png.
#
# Usage: scripts/screenshots.sh [BUILD_DIR]   (default: build; built when needed)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build}

scripts/ensure-packages.sh xvfb xdotool x11-apps pulseaudio dbus-daemon >/dev/null
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target tellwick skype-sim tw_data -j2 >/dev/null
bin=$(cd "$build/bin" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/tellwick-shots.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/data/tellwick/records" "$work/run" "$work/config"
chmod 700 "$work/run"

# Records as the recorder leaves them: a WAV per record in its date folder, each carrying its
# description chunk (flags and annotation included); Tellwick indexes them at its first start.
/usr/bin/python3 "$root/scripts/seed_records.py" "$work/data/tellwick/records" \
    "$work/data/tellwick/splist.ini"

cat > "$work/session.sh" <<'RUN'
#!/usr/bin/env bash
set -u
work=$1 bin=$2 out=$3 root=$4
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
export DISPLAY=:77 LANG=en_GB.UTF-8 LC_ALL=C.UTF-8 TZ=Europe/London
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; }
trap cleanup EXIT

Xvfb :77 -screen 0 1100x700x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
    -L module-null-sink -L module-null-source -L module-native-protocol-unix >"$work/pulse.log" 2>&1 &
pids+=($!)
"$bin/skype-sim" --contact "alice.m:ONLINE:Alice Morgan" --contact "bob.k:AWAY:Bob Keller" \
    --contact "carol.w:DND:Carol White" --contact "dave.r:OFFLINE:Dave Rossi" \
    --contact "erin.s:ONLINE:Erin Stone" --contact "+441632960123:SKYPEOUT:" \
    >"$work/skype-sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
QT_QPA_PLATFORM=xcb "$bin/tellwick" >"$work/tellwick.log" 2>&1 &
tellwick=$!
pids+=($tellwick)
# The side panel shows at start; a second start brings the main window forward.
for _ in $(seq 1 100); do
    xdotool search --onlyvisible --name '^Quick Panel$' >/dev/null 2>&1 && break
    sleep 0.1
done
"$bin/tellwick" >/dev/null 2>&1
win=""
for _ in $(seq 1 100); do
    win=$(xdotool search --onlyvisible --name '^Tellwick' 2>/dev/null | head -1) && [ -n "$win" ] && break
    sleep 0.1
done
[ -n "$win" ] || { echo "the main window did not appear" >&2; cat "$work/tellwick.log" >&2; exit 1; }
xdotool windowmove "$win" 0 0 windowsize "$win" 1100 700
sleep 2 # the contacts' names and states arrive from Skype

shot() { # name
    sleep 0.6
    xwd -silent -display :77 -id "$win" | /usr/bin/python3 "$root/scripts/xwd_to_png.py" "$out/$1.png"
    echo "  $out/$1.png"
}
row() { # n: click the n-th row of the list (rows start below the tabs and the header)
    xdotool mousemove --window "$win" 300 $((74 + 24 * $1)) click 1
}

row 1
shot main-all-selected
xdotool key alt+m
row 0
shot main-voice-mails
xdotool key alt+c
row 1
shot main-conversations
xdotool key alt+a
row 2
xdotool key Return
sleep 3
shot main-playback-waveform
xdotool key space
xdotool key ctrl+f
xdotool type --delay 40 "no such caller"
shot main-search-nothing
xdotool key Escape
. "$root/scripts/screenshots_panel.sh"
panel_shots
panel_empty_shot
. "$root/scripts/screenshots_options.sh"
RUN
chmod +x "$work/session.sh"
mkdir -p docs/screenshots
dbus-run-session -- "$work/session.sh" "$work" "$bin" "$root/docs/screenshots" "$root"
