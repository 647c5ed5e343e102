#!/usr/bin/env bash
# Tellwick attached to tellwick-phone, end to end over SIP on loopback (scripts/demo-phone.sh),
# then what the records hold, judged by frequency: the voice mail holds the caller's 440 Hz
# tone, the caller heard the greeting before it, DND was set for the voice mail and restored,
# the conversation's two channels hold the caller's 660 Hz and the local 1000 Hz, and a
# caller ringing during the conversation receives the busy text as a SIP MESSAGE.
# Usage: phone_e2e_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1 build=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/tw_phone_e2e.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$src/scripts/demo-phone.sh" "$build" "$work"

fail() { echo "phone e2e: $*" >&2; exit 1; }
# stat of a stretch of one channel: "RMS FREQUENCY"
measure() { # FILE CHANNEL START LENGTH
    sox "$1" -n remix "$2" trim "$3" "$4" stat 2>&1 |
        awk '/RMS +amplitude/ { r = $3 } /Rough +frequency/ { f = $3 } END { print r, f }'
}
near() { awk -v v="$1" -v want="$2" 'BEGIN { exit !(v > want * 0.93 && v < want * 1.07) }'; }
loud() { awk -v v="$1" 'BEGIN { exit !(v > 0.02) }'; }

records=$work/data/tellwick/records
vm=$(ls "$records"/*/ti*vcaller1.wav)
conv=$(ls "$records"/*/ti*ccaller2.wav)

read -r rms hz < <(measure "$vm" 1 0.3 2)
loud "$rms" && near "$hz" 440 || fail "the voice mail holds no 440 Hz tone (RMS $rms, $hz Hz)"

# The caller's own recording starts when Tellwick answered: the greeting comes first.
read -r rms hz < <(measure "$work/heard1.wav" 1 0.5 3)
loud "$rms" || fail "the caller heard no greeting (RMS $rms)"
near "$hz" 1000 && fail "the caller heard the local voice instead of the greeting"

grep -q '^<- SET USERSTATUS DND' "$work/phone.log" || fail "DND was not set for the voice mail"
[ "$(grep '^<- SET USERSTATUS' "$work/phone.log" | tail -n 1)" = "<- SET USERSTATUS ONLINE" ] ||
    fail "the user's status was not restored"

[ "$(soxi -c "$conv")" = 2 ] || fail "the conversation is not stereo"
read -r rms1 hz1 < <(measure "$conv" 1 0.3 1)
read -r rms2 hz2 < <(measure "$conv" 2 0.3 1)
{ near "$hz1" 660 && near "$hz2" 1000; } || { near "$hz1" 1000 && near "$hz2" 660; } ||
    fail "the conversation's channels hold $hz1 Hz and $hz2 Hz"
# 8 s of call, 1.5 s of it on hold: the record joins the two stretches.
length=$(soxi -D "$conv")
awk -v l="$length" 'BEGIN { exit !(l > 5.8 && l < 7.2) }' || fail "the conversation lasts $length s"

# The third caller rang while the user talked: Tellwick's busy text reached it over SIP.
busy="message /me is not available to take your call."
if grep -q 'cannot listen' "$work/caller3.log"; then
    echo "phone e2e: port 5060 is taken, the busy text was not checked" >&2
else
    grep -qF "$busy" "$work/caller3.log" || fail "the busy caller got no busy text"
fi
# Tellwick's own checks of a record's description (names, folder, size, start and end
# against the audio's length), as its end-to-end test against skype-sim makes them. The
# audio there is compared sample by sample, which a codec on the way does not allow.
"$build/bin/tellwick-tool" records info "$vm" >"$work/vm.info"
"$build/bin/tellwick-tool" records info "$conv" >"$work/conv.info"
PYTHONPATH="$src/tests/e2e" /usr/bin/python3 - "$work" <<'PY' || fail "a record's description is wrong"
import os, sys
from check_records import check_description, parse_info
work = sys.argv[1]
channels, _ = check_description(parse_info(os.path.join(work, "vm.info")), "v", "caller1",
                                "Caller One", 1)
assert channels == 1, channels
channels, _ = check_description(parse_info(os.path.join(work, "conv.info")), "c", "caller2",
                                "Caller Two", 2)
assert channels == 2, channels
PY
echo "phone e2e: OK (conversation record $length s for 6.5 s of call off hold)"
