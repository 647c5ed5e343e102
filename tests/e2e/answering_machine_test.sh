#!/usr/bin/env bash
# tellwick and skype-sim on a private session bus: caller1 leaves a voice mail nobody answers,
# then the user takes caller2's call, holds it once and hangs up. check_records.py then
# checks both records' names, descriptions and audio against what the substitute played.
# Usage: answering_machine_test.sh BIN_DIR
set -euo pipefail
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tw_e2e.XXXXXX")
trap 'rm -rf "$work"' EXIT
python=/usr/bin/python3

$python "$here/check_records.py" make-voice "$work/voice1.wav" 1
$python "$here/check_records.py" make-voice "$work/voice2.wav" 2

cat > "$work/scenario.txt" <<SCN
1 ring caller1 "Caller One" voice=$work/voice1.wav
+13 hangup caller1
+2 ring caller2 "Caller Two" voice=$work/voice2.wav
+1 answer caller2
+3 hold caller2
+2 resume caller2
+3 hangup caller2
SCN
mkdir -p "$work/data/tellwick"
printf '[Preference]\r\nnVoiceMailWaitingPeriod=3\r\nnVoiceMailMaxLength=30\r\nnAFormatMode=1\r\nnACodec=0\r\nnRecordStorageMinFreeSpace=1\r\n' \
    > "$work/data/tellwick/Tellwick.Ini"

cat > "$work/session.sh" <<'RUN'
#!/usr/bin/env bash
set -u
work=$1 bin=$2
# A data folder and a configuration folder (the start-with-login entry) of its own.
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
"$bin/skype-sim" --script "$work/scenario.txt" \
    --contact "caller1:ONLINE:Caller One" --contact "caller2:ONLINE:Caller Two" \
    >"$work/skype-sim.log" 2>&1 &
sim=$!
"$bin/tellwick" --trace >"$work/tellwick.log" 2>&1 &
tw=$!
records=$work/data/tellwick/records
ok=1
for _ in $(seq 1 240); do
    vm=$(ls "$records"/*/ti*vcaller1.wav 2>/dev/null | head -n 1)
    conv=$(ls "$records"/*/ti*ccaller2.wav 2>/dev/null | head -n 1)
    if [ -n "$vm" ] && [ -n "$conv" ] &&
        "$bin/tellwick-tool" records info "$vm" >"$work/vm.info" 2>/dev/null &&
        "$bin/tellwick-tool" records info "$conv" >"$work/conv.info" 2>/dev/null; then
        ok=0
        break
    fi
    sleep 0.25
done
kill -TERM "$tw" 2>/dev/null
wait "$tw"
twStatus=$?
kill -TERM "$sim" 2>/dev/null
wait "$sim" 2>/dev/null
if [ $ok -ne 0 ]; then
    echo "records missing; tellwick said:" >&2
    tail -n 40 "$work/tellwick.log" >&2
    ls -R "$records" >&2 || true
    exit 1
fi
if [ $twStatus -ne 0 ]; then
    echo "tellwick exited with $twStatus" >&2
    exit 1
fi
exit 0
RUN
chmod +x "$work/session.sh"
dbus-run-session -- "$work/session.sh" "$work" "$bin" 2> >(grep -v 'Failed to set fd limit' >&2)
$python "$here/check_records.py" check "$work"
