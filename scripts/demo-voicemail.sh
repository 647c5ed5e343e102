#!/usr/bin/env bash
# The main job end to end, on a private session bus: the substitute Skype rings Tellwick twice.
# Nobody takes the first call: Tellwick answers after a short waiting period, plays the
# greeting, takes the caller's message as a voice mail, converts it to Microsoft ADPCM and
# e-mails it to a local SMTP server started here. The user answers the second call, which
# Tellwick records as a conversation. Prints the records and the e-mail received; exits 0
# only when both records and the mail arrived.
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
python=/usr/bin/python3 # Debian's own, which has aiosmtpd

work=$(mktemp -d "${TMPDIR:-/tmp}/tellwick-demo.XXXXXX")
smtp=""
cleanup() {
    [ -n "$smtp" ] && kill "$smtp" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The callers' voices: three seconds of a gliding tone each (any WAV would do).
for caller in 1 2; do
    $python - "$work/voice$caller.wav" "$caller" <<'PY'
import math, struct, sys, wave
rate, low = 16000, 200 + 150 * int(sys.argv[2])
with wave.open(sys.argv[1], "wb") as w:
    w.setnchannels(1); w.setsampwidth(2); w.setframerate(rate)
    phase, frames = 0.0, bytearray()
    for i in range(3 * rate):
        phase += 2 * math.pi * (low + 400 * i / (3 * rate)) / rate
        frames += struct.pack("<h", int(9000 * math.sin(phase)))
    w.writeframes(bytes(frames))
PY
done

# A local SMTP server that keeps what it receives in a Maildir.
port=$($python -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
$python -m aiosmtpd -n -l "127.0.0.1:$port" -c aiosmtpd.handlers.Mailbox "$work/maildir" \
    >"$work/smtp.log" 2>&1 &
smtp=$!

# caller1 is not answered and leaves a message; the user takes caller2's call.
cat >"$work/scenario.txt" <<SCN
1 ring caller1 "Caller One" voice=$work/voice1.wav
+11 hangup caller1
+2 ring caller2 "Caller Two" voice=$work/voice2.wav
+1 answer caller2
+4 hangup caller2
SCN

# Tellwick's data folder: a short waiting period, records in Microsoft ADPCM (nACodec 1),
# voice mails e-mailed as ADPCM too.
mkdir -p "$work/data/tellwick"
{
    printf '[Preference]\r\nnVoiceMailWaitingPeriod=2\r\nnVoiceMailMaxLength=30\r\n'
    printf 'nACodec=1\r\nnACodecForEmail=1\r\nfVoiceMailEmail=1\r\nfStartUp=0\r\n'
    printf 'nRecordStorageMinFreeSpace=1\r\n'
    printf '[Notification]\r\nEmailServer=127.0.0.1:%s\r\n' "$port"
    printf 'EmailFrom=tellwick@localhost\r\nEmailTo=you@localhost\r\n'
} >"$work/data/tellwick/Tellwick.Ini"

cat >"$work/session.sh" <<'RUN'
#!/usr/bin/env bash
set -u
work=$1 bin=$2
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=offscreen
records=$work/data/tellwick/records
"$bin/skype-sim" --script "$work/scenario.txt" \
    --contact "caller1:ONLINE:Caller One" --contact "caller2:ONLINE:Caller Two" \
    >"$work/skype-sim.log" 2>&1 &
sim=$!
"$bin/tellwick" --trace >"$work/tellwick.log" 2>&1 &
tw=$!
# Done when both records are in the index as ADPCM files and the mail is in the Maildir.
done_yet() {
    local list
    list=$("$bin/tellwick-tool" records list "$records" 2>/dev/null) || return 1
    [ "$(grep -c . <<<"$list")" -eq 2 ] || return 1
    while read -r path; do
        [[ $("$bin/tellwick-tool" audio detect "$path" 2>/dev/null) == 1* ]] || return 1
    done < <(cut -f10 <<<"$list")
    compgen -G "$work/maildir/new/*" >/dev/null
}
ok=1
while [ $SECONDS -lt 120 ]; do
    if done_yet; then
        ok=0
        break
    fi
    sleep 0.5
done
kill -TERM "$tw" 2>/dev/null; wait "$tw" 2>/dev/null
kill -TERM "$sim" 2>/dev/null; wait "$sim" 2>/dev/null
exit $ok
RUN
chmod +x "$work/session.sh"
# dbus-daemon's complaint about the descriptor limit is noise here.
status=0
dbus-run-session -- "$work/session.sh" "$work" "$bin" 2> >(grep -v 'Failed to set fd limit' >&2) ||
    status=$?

echo "Records ($work/data/tellwick/records):"
"$bin/tellwick-tool" records list "$work/data/tellwick/records" |
    awk -F'\t' '{ printf "  %s  %s (%s)  %d bytes  %s\n",
        ($3 == 1 ? "voice mail  " : "conversation"), $6, $8, $5, $10 }'
echo
echo "E-mail received:"
$python - "$work/maildir" <<'PY' || status=1
import email.policy, mailbox, os, sys
messages = list(mailbox.Maildir(sys.argv[1], create=False)) if os.path.isdir(sys.argv[1]) else []
for message in messages:
    message = email.message_from_bytes(message.as_bytes(), policy=email.policy.default)
    print("  Subject:    %s" % message["Subject"])
    for part in message.iter_attachments():
        print("  Attachment: %s, %d bytes" % (part.get_filename(),
                                             len(part.get_payload(decode=True))))
if not messages:
    print("  none")
    sys.exit(1)
PY
if [ $status -ne 0 ]; then
    echo "demo-voicemail: the records or the mail did not arrive; Tellwick said:" >&2
    tail -n 30 "$work/tellwick.log" >&2
    exit 1
fi
echo
echo "demo-voicemail: OK"
