#!/usr/bin/env bash
# tellwick against a messy skype-sim, each case on a private session bus of its own:
#   reattach  a reply slower than the bus timeout during a voice mail: the link drops and
#             attaches again while the caller speaks
#   restart   skype-sim crashes and comes back during a voice mail
#   sigterm   tellwick is told to quit during a voice mail
# Each must leave one complete voice-mail record and the user's status as it was (ONLINE).
#   transfer  a call transfer to boss while skype-sim answers every command 0-800 ms late,
#             RUNS times: the caller must never be left on hold.
# Usage: messy_peer_e2e.sh BIN_DIR [TRANSFER_RUNS] [CASES...]   (default: 2 runs, all cases)
set -euo pipefail
bin=$(cd "$1" && pwd)
runs=${2:-2}
shift $(($# < 2 ? $# : 2))
cases=${*:-reattach restart sigterm transfer}
here=$(cd "$(dirname "$0")" && pwd)
e2e=$(cd "$here/../e2e" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tw_messy.XXXXXX")
trap 'rm -rf "$work"' EXIT
python=/usr/bin/python3
$python "$e2e/check_records.py" make-voice "$work/voice1.wav" 1

cat > "$work/session.sh" <<'RUN'
#!/usr/bin/env bash
# One case on this bus. Arguments: WORK BIN CASE [RUNS]
set -u
work=$1 bin=$2 case=$3 runs=${4:-1}
dir=$work/$case
export XDG_DATA_HOME=$dir/data
ctl() { "$bin/skype-sim" ctl "$@"; }
log_count() { ctl log | grep -c -x -- "$1" || true; }
wait_for() { # SECONDS COMMAND...: polls every 0.2 s
    local tries=$(($1 * 5))
    shift
    for _ in $(seq 1 $tries); do
        "$@" && return 0
        sleep 0.2
    done
    return 1
}
has_dnd() { [ "$(log_count 'SET USERSTATUS DND')" -ge 1 ]; }
voice_mail() {
    local f
    for f in "$dir"/data/tellwick/records/*/ti*vcaller1.wav; do
        [ -e "$f" ] && "$bin/tellwick-tool" records info "$f" >"$dir/vm.info" 2>/dev/null && return 0
    done
    return 1
}
last_status() { ctl log | grep '^SET USERSTATUS ' | tail -n 1; }

sim_args=(--contact "caller1:ONLINE:Caller One" --contact "boss:ONLINE:The Boss")
case $case in
reattach) sim_args+=(--script "$dir/scenario.txt") ;;
transfer) sim_args+=(--reply-delay 0:800 --answer-after 2) ;;
esac
"$bin/skype-sim" "${sim_args[@]}" >"$dir/skype-sim.log" 2>&1 &
sim=$!
wait_for 10 ctl clients >/dev/null
"$bin/tellwick" --trace >"$dir/tellwick.log" 2>&1 &
tw=$!
wait_for 20 sh -c "'$bin/skype-sim' ctl clients | grep -q ." || { echo "no attach" >&2; exit 1; }
fail=""
case $case in
reattach)
    wait_for 20 has_dnd || fail="no voice mail"
    sleep 2
    # The next reply comes after the bus timeout: the link counts Skype lost and attaches
    # again, while the caller goes on speaking.
    ctl delay 11000 11000
    # A contact Tellwick has not seen makes it ask for the full name: that reply is late.
    ctl notify "USER newcontact ONLINESTATUS ONLINE" >/dev/null
    sleep 0.5
    ctl delay 0 0
    wait_for 40 sh -c "[ \$('$bin/skype-sim' ctl log | grep -c -x 'NAME Tellwick') -ge 2 ]" ||
        fail="no second attach"
    wait_for 40 voice_mail || fail="${fail:-no voice-mail record}"
    ;;
restart)
    ctl ring caller1 "Caller One" "$work/voice1.wav" >/dev/null
    wait_for 20 has_dnd || fail="no voice mail"
    sleep 10 # the greeting, then four seconds of the caller
    ctl restart 1000
    wait_for 20 voice_mail || fail="${fail:-no voice-mail record}"
    wait_for 30 sh -c "[ \$('$bin/skype-sim' ctl log | grep -c -x 'NAME Tellwick') -ge 2 ]" ||
        fail="${fail:-no attach to the restarted skype-sim}"
    wait_for 10 sh -c "'$bin/skype-sim' ctl log | grep '^SET USERSTATUS ' | tail -n 1 |
        grep -q -x 'SET USERSTATUS ONLINE'" || true
    ;;
sigterm)
    ctl ring caller1 "Caller One" "$work/voice1.wav" >/dev/null
    wait_for 20 has_dnd || fail="no voice mail"
    sleep 10
    start=$(date +%s%N)
    kill -TERM "$tw"
    wait "$tw" || fail="${fail:-tellwick exited with $?}"
    ms=$((($(date +%s%N) - start) / 1000000))
    echo "sigterm: tellwick took $ms ms to exit"
    voice_mail || fail="${fail:-no voice-mail record}"
    ctl log | grep -q '^ALTER CALL [0-9]* SET_OUTPUT SOUNDCARD="default"$' ||
        fail="${fail:-the output was not given back}"
    ;;
transfer)
    held=0
    for run in $(seq 1 "$runs"); do
        id=$(ctl ring caller1 "Caller One" "$work/voice1.wav")
        # Answered, held, boss called and answering after 2 s, then joined: the caller's leg
        # is in progress again and in a conference.
        if ! wait_for 20 sh -c "'$bin/skype-sim' ctl calls | grep -q -x '$id INPROGRESS caller1' &&
                '$bin/skype-sim' ctl calls | grep -q ' INPROGRESS boss\$'"; then
            held=$((held + 1))
            echo "transfer run $run: caller left as: $(ctl calls | grep "^$id ")" >&2
        fi
        sleep 1
        for c in $(ctl calls | awk '$2 == "INPROGRESS" || $2 ~ /HOLD$/ || $2 == "RINGING" {print $1}'); do
            ctl hangup "$c" 2>/dev/null || true
        done
        sleep 1.5
    done
    echo "transfer: $runs runs, caller left on hold in $held"
    [ "$held" -eq 0 ] || fail="caller left on hold in $held of $runs runs"
    ;;
esac
if kill -0 "$tw" 2>/dev/null; then
    kill -TERM "$tw"
    wait "$tw" || fail="${fail:-tellwick exited with $?}"
fi
status=$(last_status)
if [ "$case" != transfer ] && [ "$status" != "SET USERSTATUS ONLINE" ]; then
    fail="${fail:-the user status was left as: $status}"
fi
kill -TERM "$sim" 2>/dev/null
wait "$sim" 2>/dev/null
if [ -n "$fail" ]; then
    echo "$case: $fail; tellwick said:" >&2
    tail -n 30 "$dir/tellwick.log" >&2
    exit 1
fi
exit 0
RUN
chmod +x "$work/session.sh"

status=0
for case in $cases; do
    dir=$work/$case
    mkdir -p "$dir/data/tellwick"
    # The record stays as Skype wrote it (PCM), so that its audio can be checked.
    printf '[Preference]\r\nnVoiceMailWaitingPeriod=2\r\nnVoiceMailMaxLength=60\r\n%b' \
        'nACodec=0\r\nnRecordStorageMinFreeSpace=1\r\n' >"$dir/data/tellwick/Tellwick.Ini"
    if [ "$case" = transfer ]; then
        printf '[CallTransfer]\r\nfEnable=1\r\nsSkypeName=boss\r\n' >>"$dir/data/tellwick/Tellwick.Ini"
    fi
    printf '1 ring caller1 "Caller One" voice=%s\n+30 hangup caller1\n' "$work/voice1.wav" \
        >"$dir/scenario.txt"
    if ! dbus-run-session -- "$work/session.sh" "$work" "$bin" "$case" "$runs" \
        2> >(grep -v 'Failed to set fd limit' >&2); then
        status=1
        continue
    fi
    # One complete voice mail: its description, name and the caller's voice from the start.
    if [ "$case" = transfer ] || $python - "$e2e" "$dir/vm.info" "$work/voice1.wav" <<'PY'
import sys
sys.path.insert(0, sys.argv[1])
import check_records as c
vm = c.parse_info(sys.argv[2])
channels, sides = c.check_description(vm, "v", "caller1", "Caller One", 1)
voice = c.read_wav(sys.argv[3])[1][0]
found = c.runs(sides[0], voice)
assert len(found) == 1 and found[0][0] < c.RATE // 100 and found[0][1] == 0, found
assert found[0][2] >= 2 * c.RATE, found
print("%s: %d samples of the caller's voice" % (vm["path"], found[0][2]))
PY
    then
        echo "$case: ok"
    else
        status=1
    fi
done
exit $status
