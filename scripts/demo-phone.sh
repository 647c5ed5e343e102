#!/usr/bin/env bash
# Tellwick answering real SIP calls, on loopback and a private session bus: tellwick-phone
# owns the desktop API, Tellwick (unchanged) is attached to it, and tellwick-sip-caller, a
# second SIP agent, calls twice speaking a tone. Nobody answers the first call: Tellwick
# takes it as a voice mail after its waiting period. The user answers the second one from
# the desktop notification (played here by phone/demo/answering_user.py); Tellwick records
# the conversation, held and resumed once; a third caller during that conversation is told
# by chat (a SIP MESSAGE) that the user is busy. Prints the records; exits 0 when both arrived.
#
# Usage: scripts/demo-phone.sh [BUILD_DIR] [WORK_DIR]
#   (default build dir: build; built when needed. With WORK_DIR everything is kept there.)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-${BUILD_DIR:-build}}
bin=$build/bin
targets=(tellwick tellwick-phone tellwick-sip-caller tellwick-tool)
for t in "${targets[@]}"; do
    if [ ! -x "$bin/$t" ]; then
        [ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja >/dev/null
        cmake --build "$build" --target "${targets[@]}" tw_data -j2 >/dev/null
        break
    fi
done
bin=$(cd "$bin" && pwd)
root=$(pwd)
if [ -n "${2:-}" ]; then
    work=$2
    mkdir -p "$work"
else
    work=$(mktemp -d "${TMPDIR:-/tmp}/tellwick-phone-demo.XXXXXX")
    trap 'rm -rf "$work"' EXIT
fi
work=$(cd "$work" && pwd)

# The callers' voices: 440 Hz and 660 Hz; the local user's: 1000 Hz (the library plays them
# in a loop; without a sound card they stand for the microphones).
sox -n -r 16000 -c 1 -b 16 "$work/voice1.wav" synth 20 sine 440 vol 0.3
sox -n -r 16000 -c 1 -b 16 "$work/voice2.wav" synth 20 sine 660 vol 0.3
sox -n -r 16000 -c 1 -b 16 "$work/me.wav" synth 20 sine 1000 vol 0.3

base=$((20000 + RANDOM % 20000))
mkdir -p "$work/config/tellwick" "$work/data/tellwick"
cat >"$work/config/tellwick/phone.conf" <<CONF
[account]
uri = sip:me@127.0.0.1:$base
sip_port = $base
name = Me Myself
[media]
sound_card = false
local_voice = $work/me.wav
[contacts]
caller1 = Caller One <sip:caller1@127.0.0.1:$((base + 2))>
caller2 = Caller Two <sip:caller2@127.0.0.1:$((base + 4))>
CONF
# Tellwick: a three-second waiting period, PCM records, conversations recorded.
printf '[Preference]\r\nnVoiceMailWaitingPeriod=3\r\nnVoiceMailMaxLength=30\r\nnACodec=0\r\nfStartUp=0\r\nnRecordStorageMinFreeSpace=1\r\n' \
    >"$work/data/tellwick/Tellwick.Ini"

cat >"$work/session.sh" <<'RUN'
#!/usr/bin/env bash
set -u
work=$1 bin=$2 root=$3 base=$4
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=offscreen
records=$work/data/tellwick/records
pids=()
/usr/bin/python3 "$root/phone/demo/answering_user.py" 1 "Caller Two" >"$work/user.log" 2>&1 &
pids+=($!)
"$bin/tellwick-phone" --verbose >"$work/phone.log" 2>&1 &
pids+=($!)
sleep 1
"$bin/tellwick" --trace >"$work/tellwick.log" 2>&1 &
tw=$!
count() { "$bin/tellwick-tool" records list "$records" 2>/dev/null | grep -c . || true; }
wait_for() { # N SECONDS: until N records are listed
    local until=$((SECONDS + $2))
    while [ "$(count)" -lt "$1" ] && [ $SECONDS -lt $until ]; do sleep 0.5; done
}
sleep 1
# Nobody answers: Tellwick takes it after 3 s, greets (6 s), and the caller talks 3 s more.
"$bin/tellwick-sip-caller" --port $((base + 2)) --user caller1 --name "Caller One" \
    --call "sip:me@127.0.0.1:$base" --voice "$work/voice1.wav" --record "$work/heard1.wav" \
    --hangup-after 9 --timeout 40 >"$work/caller1.log" 2>&1
wait_for 1 20
# The user answers after 1 s; the caller holds the call 4.5 s in for 1.5 s, then hangs up
# 2 s after the resume.
"$bin/tellwick-sip-caller" --port $((base + 4)) --user caller2 --name "Caller Two" \
    --call "sip:me@127.0.0.1:$base" --voice "$work/voice2.wav" --record "$work/heard2.wav" \
    --hold 4.5:1.5 --hangup-after 8 --timeout 40 >"$work/caller2.log" 2>&1 &
second=$!
# A third caller while the user talks: after the waiting period Tellwick chats its busy text
# to this caller, which arrives as a SIP MESSAGE. The phone addresses a MESSAGE by user and
# host alone, so without a registrar this caller listens on the default port.
sleep 0.5
"$bin/tellwick-sip-caller" --port 5060 --user caller3 --name "Caller Three" \
    --call "sip:me@127.0.0.1:$base" --give-up-after 5 --timeout 20 >"$work/caller3.log" 2>&1
wait "$second"
wait_for 2 20
status=0
[ "$(count)" -ge 2 ] || status=1
kill -TERM "$tw" 2>/dev/null; wait "$tw" 2>/dev/null
for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
exit $status
RUN
chmod +x "$work/session.sh"
status=0
dbus-run-session -- "$work/session.sh" "$work" "$bin" "$root" "$base" \
    2> >(grep -v 'Failed to set fd limit' >&2) || status=$?

echo "Records ($work/data/tellwick/records):"
"$bin/tellwick-tool" records list "$work/data/tellwick/records" |
    awk -F'\t' '{ printf "  %s  %s (%s)  %d bytes  %s\n",
        ($3 == 1 ? "voice mail  " : "conversation"), $6, $8, $5, $10 }'
if [ $status -ne 0 ]; then
    echo "demo-phone: the records did not arrive; tellwick-phone and Tellwick said:" >&2
    tail -n 20 "$work/phone.log" "$work/tellwick.log" >&2
    exit 1
fi
echo
echo "demo-phone: OK"
