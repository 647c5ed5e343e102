#!/usr/bin/env bash
# tellwick against a hostile Skype on a private session bus (hostile_skype.py): for SECONDS
# it gets random, malformed and oversized notifications and wrong replies from SEED. Passes
# when tellwick neither crashes nor hangs (it still exits 0 on SIGTERM), writes no file
# outside its records folder but its own log, and every command it sent was in the grammar.
# Usage: hostile_skype_test.sh BIN_DIR [SECONDS] [SEED]
set -euo pipefail
bin=$(cd "$1" && pwd)
seconds=${2:-5}
seed=${3:-17}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tw_hostile.XXXXXX")
trap 'rm -rf "$work"' EXIT

data=$work/data/tellwick
mkdir -p "$data" "$work/home" "$work/config" "$work/tmp"
# Voice mails start one second after a call rings, so the hostile calls reach the recorder.
printf '[Preference]\r\nnVoiceMailWaitingPeriod=1\r\nnVoiceMailMaxLength=5\r\n' >"$data/Tellwick.Ini"

cat >"$work/session.sh" <<'RUN'
#!/usr/bin/env bash
set -u
work=$1 bin=$2 here=$3 seconds=$4 seed=$5
export HOME=$work/home XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config TMPDIR=$work/tmp
snapshot() { find "$work" -path "$work/data/tellwick/records" -prune -o -type f \
    ! -name 'report.json' ! -name '*.log' ! -name '*.txt' -printf '%P %s %T@\n' | sort; }
"$bin/tellwick" --trace >"$work/tellwick.log" 2>&1 &
tw=$!
# Start-up writes (settings, greetings, the index) happen before Skype appears, right after
# tellwick owns its bus name; on a loaded machine that can take longer than a fixed pause.
for _ in $(seq 600); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.tellwick.Tellwick 2>/dev/null |
        grep -q 'boolean true' && break
    kill -0 "$tw" 2>/dev/null || break
    sleep 0.1
done
sleep 2
snapshot >"$work/before.txt"
/usr/bin/python3 "$here/hostile_skype.py" --seed "$seed" --seconds "$seconds" \
    --records "$work/data/tellwick/records" --report "$work/report.json" >"$work/peer.log" 2>&1
peer=$?
snapshot >"$work/after.txt"
if ! kill -0 "$tw" 2>/dev/null; then
    wait "$tw"
    echo "tellwick died during the hostile run (status $?)" >&2
    exit 1
fi
kill -TERM "$tw"
for _ in $(seq 1 100); do kill -0 "$tw" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$tw" 2>/dev/null; then
    kill -KILL "$tw"
    echo "tellwick did not end within 10 s of SIGTERM" >&2
    exit 1
fi
wait "$tw"
status=$?
[ $status -eq 0 ] || { echo "tellwick exited with $status" >&2; exit 1; }
[ $peer -eq 0 ] || { echo "the hostile peer failed:" >&2; cat "$work/peer.log" >&2; exit 1; }
RUN
chmod +x "$work/session.sh"
if ! dbus-run-session -- "$work/session.sh" "$work" "$bin" "$here" "$seconds" "$seed" \
    2> >(grep -v 'Failed to set fd limit' >&2); then
    tail -n 30 "$work/tellwick.log" >&2
    exit 1
fi

# Only the event log may change outside the records folder.
changed=$(diff "$work/before.txt" "$work/after.txt" | grep '^>' | grep -v ' data/tellwick/Tellwick\.Log1\? ' || true)
if [ -n "$changed" ]; then
    echo "files written outside the records folder:" >&2
    echo "$changed" >&2
    exit 1
fi
/usr/bin/python3 - "$work/report.json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))
print("seed %d: %d notifications (longest %d characters), %d commands checked, %d faults"
      % (r["seed"], r["notifications"], r["longest"], r["commands"], len(r["faults"])))
print("  commands by verb:", ", ".join("%s %d" % kv for kv in sorted(r["verbs"].items())))
for f in r["faults"][:20]:
    print("  %s: %r" % (f["what"], f["command"]))
sys.exit(0 if r["attached"] and r["notifications"] > 0 and not r["faults"] else 1)
PY
