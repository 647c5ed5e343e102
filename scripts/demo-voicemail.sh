#!/usr/bin/env bash
# The main job end to end: on a private session bus, the substitute Skype rings Tellwick with
# a caller nobody answers; Tellwick answers after a short waiting period, plays the greeting
# and takes the caller's message as a voice mail in its records folder. Prints the record's
# path and description. Exits 0 only when a voice mail was taken.
#
# Usage: scripts/demo-voicemail.sh [BUILD_DIR]   (default: build; built when needed)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-${BUILD_DIR:-build}}
bin=$build/bin
if [ ! -x "$bin/tellwick" ] || [ ! -x "$bin/skype-sim" ] || [ ! -x "$bin/tellwick-tool" ]; then
    [ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja >/dev/null
    cmake --build "$build" --target tellwick skype-sim tellwick-tool tw_data -j2 >/dev/null
fi
bin=$(cd "$bin" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/tellwick-demo.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The caller's voice: three seconds of a gliding tone (any WAV would do).
/usr/bin/python3 - "$work/voice.wav" <<'PY'
import math, struct, sys, wave
rate = 16000
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(1); w.setsampwidth(2); w.setframerate(rate)
    phase, frames = 0.0, bytearray()
    for i in range(3 * rate):
        phase += 2 * math.pi * (300 + 400 * i / (3 * rate)) / rate
        frames += struct.pack("<h", int(9000 * math.sin(phase)))
    w.writeframes(bytes(frames))
PY

# One incoming call that nobody takes; the caller hangs up after leaving the message.
cat > "$work/scenario.txt" <<SCN
1 ring caller1 "Caller One" voice=$work/voice.wav
+14 hangup caller1
SCN

# Tellwick's data folder with a short waiting period.
mkdir -p "$work/data/tellwick"
printf '[Preference]\r\nnVoiceMailWaitingPeriod=2\r\nnVoiceMailMaxLength=30\r\n' \
    > "$work/data/tellwick/Tellwick.Ini"

cat > "$work/session.sh" <<'RUN'
#!/usr/bin/env bash
set -u
work=$1 bin=$2
export XDG_DATA_HOME=$work/data QT_QPA_PLATFORM=offscreen
"$bin/skype-sim" --script "$work/scenario.txt" --contact "caller1:ONLINE:Caller One" \
    >"$work/skype-sim.log" 2>&1 &
sim=$!
"$bin/tellwick" --trace >"$work/tellwick.log" 2>&1 &
tw=$!
found=""
for _ in $(seq 1 120); do
    for f in "$work"/data/tellwick/records/*/ti*v*.wav; do
        [ -e "$f" ] || continue
        # The description is written right after the record takes its name.
        if "$bin/tellwick-tool" records info "$f" >/dev/null 2>&1; then
            found=$f
            break 2
        fi
    done
    sleep 0.5
done
kill -TERM "$tw" 2>/dev/null; wait "$tw" 2>/dev/null
kill -TERM "$sim" 2>/dev/null; wait "$sim" 2>/dev/null
if [ -z "$found" ]; then
    echo "demo-voicemail: no voice mail was taken" >&2
    tail -n 30 "$work/tellwick.log" >&2
    exit 1
fi
echo "Voice mail: $found"
"$bin/tellwick-tool" records info "$found"
echo
RUN
chmod +x "$work/session.sh"
# dbus-daemon's complaint about the descriptor limit is noise here.
dbus-run-session -- "$work/session.sh" "$work" "$bin" 2> >(grep -v 'Failed to set fd limit' >&2)
