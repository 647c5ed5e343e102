#!/usr/bin/env bash
# The record pipeline end to end: tellwick and skype-sim on a private session bus, a real
# SMTP server on loopback, each run with its own data folder.
# Usage: pipeline_test.sh BIN_DIR MODE
#   codecN    a voice mail and a conversation, records converted to nACodec N, the voice
#             mail e-mailed; check_pipeline.py checks names, descriptions and the mail
#   shutdown  SIGTERM while the voice mail is in the pipeline and its mail is being sent
#   kill      SIGKILL during a second voice mail; a new start and a rescan keep the first
#   toggle    tellwick --toggle-recording against a running copy, and with none
set -euo pipefail
bin=$(cd "$1" && pwd)
mode=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tw_pipe.XXXXXX")
python=/usr/bin/python3
smtp=""
cleanup() {
    [ -n "$smtp" ] && kill "$smtp" 2>/dev/null
    [ -n "${TW_KEEP:-}" ] && echo "kept $work" >&2 || rm -rf "$work"
}
trap cleanup EXIT

$python "$here/check_records.py" make-voice "$work/voice1.wav" 1
$python "$here/check_records.py" make-voice "$work/voice2.wav" 2
mkdir -p "$work/data/tellwick" "$work/mail"

# The server prints its port once it listens.
smtp_args=(--folder "$work/mail")
[ "$mode" = shutdown ] && smtp_args+=(--silent) # takes the connection, never says a word
$python "$here/../mail/smtp_server.py" "${smtp_args[@]}" >"$work/smtp.port" &
smtp=$!
for _ in $(seq 1 100); do
    [ -s "$work/smtp.port" ] && break
    sleep 0.1
done
port=$(head -n 1 "$work/smtp.port")
[ -n "$port" ] || { echo "the SMTP server did not start" >&2; exit 1; }

codec=1 forEmail=1 subject=Default voicemail=1 conversation=1 startUp=0
case $mode in
codec[0-4]) codec=${mode#codec} ;;
shutdown) codec=4 ;;
toggle) voicemail=0 conversation=0 startUp=1 ;;
esac
[ "$mode" = codec3 ] && subject="A voice message"
[ "$mode" = codec4 ] && forEmail=2
{
    printf '[Preference]\r\nnVoiceMailWaitingPeriod=1\r\nnVoiceMailMaxLength=30\r\n'
    printf 'nRecordStorageMinFreeSpace=1\r\nfStartUp=%s\r\nfVoiceMailEmail=1\r\n' "$startUp"
    printf 'nACodec=%s\r\nnACodecForEmail=%s\r\n' "$codec" "$forEmail"
    printf 'fVoiceMailEnable=%s\r\nfConversationRecord=%s\r\n' "$voicemail" "$conversation"
    printf '[Notification]\r\nEmailServer=127.0.0.1:%s\r\nEmailFrom=tellwick@example.com\r\n' "$port"
    printf 'EmailTo=user@example.com\r\nEmailSubject=%s\r\n' "$subject"
} >"$work/data/tellwick/Tellwick.Ini"

case $mode in
codec*)
    cat >"$work/scenario.txt" <<SCN
1 ring caller1 "Caller One" voice=$work/voice1.wav
+10 hangup caller1
+1 ring caller2 "Caller Two" voice=$work/voice2.wav
+1 answer caller2
+2 hangup caller2
SCN
    ;;
shutdown)
    cat >"$work/scenario.txt" <<SCN
1 ring caller1 "Caller One" voice=$work/voice1.wav
+10 hangup caller1
SCN
    ;;
kill)
    cat >"$work/scenario.txt" <<SCN
1 ring caller1 "Caller One" voice=$work/voice1.wav
+10 hangup caller1
+1 ring caller2 "Caller Two" voice=$work/voice2.wav
+30 hangup caller2
SCN
    ;;
toggle)
    cat >"$work/scenario.txt" <<SCN
1 ring caller2 "Caller Two" voice=$work/voice2.wav
+1 answer caller2
+30 hangup caller2
SCN
    ;;
*)
    echo "unknown mode $mode" >&2
    exit 2
    ;;
esac

export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config HOME=$work
dbus-run-session -- "$here/pipeline_session.sh" "$bin" "$work" "$mode" \
    2> >(grep -v 'Failed to set fd limit' >&2)
if [ "$mode" = toggle ]; then
    # fStartUp: the start-with-login entry names the program, as desktops read such entries.
    entry=$XDG_CONFIG_HOME/autostart/tellwick.desktop
    desktop-file-validate "$entry" || exit 1
    grep -qx "Exec=$bin/tellwick" "$entry" || { echo "autostart entry: $(cat "$entry")" >&2; exit 1; }
    exit 0
fi
kill "$smtp" 2>/dev/null
wait "$smtp" 2>/dev/null || true
smtp=""
$python "$here/check_pipeline.py" check "$bin" "$work" "$mode"
