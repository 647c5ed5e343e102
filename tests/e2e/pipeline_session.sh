#!/usr/bin/env bash
# Inside the private bus of pipeline_test.sh: runs skype-sim and tellwick for one mode.
# Usage: pipeline_session.sh BIN_DIR WORK MODE
set -u
bin=$1 work=$2 mode=$3
records=$work/data/tellwick/records
check=(/usr/bin/python3 "$(dirname "$0")/check_pipeline.py")
tw="" sim=""
fail() {
    echo "FAIL ($mode): $*" >&2
    tail -n 40 "$work/tellwick.log" >&2
    ls -lR "$records" >&2
    [ -n "$tw" ] && kill -KILL "$tw" 2>/dev/null
    [ -n "$sim" ] && kill "$sim" 2>/dev/null
    exit 1
}
wait_for() { # SECONDS COMMAND...: true once the command succeeds
    local tries=$(($1 * 10))
    shift
    for _ in $(seq 1 "$tries"); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}
start_tellwick() {
    "$bin/tellwick" --trace >>"$work/tellwick.log" 2>&1 &
    tw=$!
}
stop_tellwick() { # SIGTERM runs the orderly exit, which ends with status 0
    kill -TERM "$tw"
    wait "$tw" || fail "tellwick ended with status $? after SIGTERM"
    tw=""
}
in_progress() { "$bin/skype-sim" ctl calls | grep -q "INPROGRESS $1\$"; }
listed() { "$bin/tellwick-tool" records list "$records" | grep -q "	$1	"; }
toggle() { # EXPECTED: retried while the copy is not up or has not seen the call yet
    local out
    for _ in $(seq 1 40); do
        out=$("$bin/tellwick" --toggle-recording 2>&1) && [ "$out" = "$1" ] && return 0
        sleep 0.25
    done
    fail "--toggle-recording said: $out"
}

if [ "$mode" = toggle ]; then
    out=$("$bin/tellwick" --toggle-recording 2>&1) && fail "it succeeded with no copy running: $out"
    [[ $out == *"not running"* ]] || fail "with no copy running it said: $out"
fi

"$bin/skype-sim" --script "$work/scenario.txt" \
    --contact "caller1:ONLINE:Caller One" --contact "caller2:ONLINE:Caller Two" \
    >"$work/skype-sim.log" 2>&1 &
sim=$!
start_tellwick

case $mode in
codec*)
    wait_for 90 "${check[@]}" ready "$bin" "$work" "$mode" || fail "records or mail missing"
    stop_tellwick
    ;;
shutdown)
    # The moment the voice mail has its name it is on its way through the pipeline (its
    # conversion may be quicker than a look, but its mail waits for the silent server).
    wait_for 60 compgen -G "$records/*/ti*vcaller1.*" || fail "no voice mail"
    stop_tellwick
    ;;
kill)
    wait_for 60 listed caller1 || fail "the first voice mail never reached the index"
    wait_for 30 in_progress caller2 || fail "the second voice mail did not start"
    sleep 1
    kill -KILL "$tw"
    wait "$tw" 2>/dev/null
    start_tellwick
    started_twice() { [ "$(grep -c 'CSkypeLink::Create()' "$work/data/tellwick/Tellwick.Log")" -ge 2 ]; }
    wait_for 30 started_twice || fail "the second start did not come up"
    stop_tellwick
    ;;
toggle)
    wait_for 30 in_progress caller2 || fail "the call was not answered"
    toggle "Recording started"
    sleep 2
    toggle "Recording stopped"
    wait_for 30 listed caller2 || fail "no conversation record after the recording stopped"
    stop_tellwick
    ;;
esac
kill "$sim" 2>/dev/null
wait "$sim" 2>/dev/null
exit 0
