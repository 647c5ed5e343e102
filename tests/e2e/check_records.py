#!/usr/bin/python3
"""Voices for skype-sim and the checks of the records Tellwick made from them.

make-voice FILE SEED   writes 6 s of 16 kHz mono noise without a zero sample, so every stretch
                       of it can be found again in a record.
check WORK             checks WORK/vm.info and WORK/conv.info (tellwick-tool records info)
                       and the audio of both records against WORK/voice1.wav and voice2.wav.
"""
import os
import struct
import sys
import time
import wave

RATE = 16000
KEY = 8  # samples that identify a position in a voice


def make_voice(path, seed):
    state = 12345 + 1000 * seed
    samples = []
    for _ in range(6 * RATE):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        value = (state >> 8) % 24000 - 12000
        samples.append(value if value != 0 else 1)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(struct.pack("<%dh" % len(samples), *samples))


def read_wav(path):
    # The record's description chunk lies behind the WAVE chunk; wave reads only the latter.
    with wave.open(path, "rb") as w:
        channels, width, rate = w.getnchannels(), w.getsampwidth(), w.getframerate()
        frames = w.readframes(w.getnframes())
    assert width == 2 and rate == RATE, (path, width, rate)
    data = list(struct.unpack("<%dh" % (len(frames) // 2), frames))
    return channels, [data[c::channels] for c in range(channels)]


def runs(signal, voice):
    """Splits the non-silent parts of signal into stretches copied from voice: (at, from, n)."""
    index = {}
    for j in range(len(voice) - KEY):
        index.setdefault(tuple(voice[j:j + KEY]), j)
    found, p = [], 0
    while p < len(signal):
        if signal[p] == 0:
            p += 1
            continue
        j = index.get(tuple(signal[p:p + KEY]))
        if j is None:
            raise AssertionError("sample %d of the record is not in the voice" % p)
        n = 0
        while p + n < len(signal) and j + n < len(voice) and signal[p + n] == voice[j + n]:
            n += 1
        found.append((p, j, n))
        p += n
    return found


def parse_info(path):
    with open(path, encoding="utf-8") as f:
        cols = f.read().rstrip("\n").split("\t")
    keys = ["start", "end", "type", "flags", "size", "name", "second", "full", "note", "path"]
    info = dict(zip(keys, cols))
    for k in ("start", "end", "type", "flags", "size"):
        info[k] = int(info[k])
    return info


def check_description(info, letter, handle, full_name, record_type):
    path = info["path"]
    assert os.path.exists(path), path
    assert info["type"] == record_type, info
    assert info["name"] == handle and info["full"] == full_name, info
    # The size is the file's as it stands, its 884-byte "TWKI" chunk included (as a rescan
    # measures it).
    assert info["size"] == os.path.getsize(path), (info["size"], os.path.getsize(path))
    start, end = time.localtime(info["start"]), time.localtime(info["end"])
    expected = "ti%s%s%s%s.wav" % (time.strftime("%H%M%S", start), time.strftime("%H%M%S", end),
                                   letter, handle)
    assert os.path.basename(path) == expected, (path, expected)
    assert os.path.basename(os.path.dirname(path)) == time.strftime("%Y-%m-%d", start), path
    channels, sides = read_wav(path)
    seconds = max(1, len(sides[0]) // RATE)
    assert info["end"] - info["start"] == seconds, (info, seconds)
    return channels, sides


def check(work):
    voice1 = read_wav(os.path.join(work, "voice1.wav"))[1][0]
    voice2 = read_wav(os.path.join(work, "voice2.wav"))[1][0]

    # The voice mail: the greeting is cut off; what is left is the caller's whole message.
    vm = parse_info(os.path.join(work, "vm.info"))
    channels, sides = check_description(vm, "v", "caller1", "Caller One", 1)
    assert channels == 1
    found = runs(sides[0], voice1)
    assert len(found) == 1, found
    at, start, n = found[0]
    # At most a hundredth of a second of the greeting's silence, then the voice from its
    # first sample on, in order, until the caller hung up (or the voice ended).
    assert at < RATE // 100 and start == 0, found
    assert at + n == len(sides[0]) or start + n == len(voice1), found
    assert n >= 2 * RATE, found
    print("voice mail %s: %d samples of the caller's voice" % (vm["path"], n))

    # The conversation: the other party on the left across the hold, the microphone right.
    conv = parse_info(os.path.join(work, "conv.info"))
    channels, sides = check_description(conv, "c", "caller2", "Caller Two", 2)
    assert channels == 2
    found = runs(sides[0], voice2)
    assert sum(n for _, _, n in found) >= 2 * RATE, found
    assert all(n >= RATE // 10 for _, _, n in found[:-1]), found
    assert all(b[1] >= a[1] + a[2] for a, b in zip(found, found[1:])), found  # in order
    right = sides[1]
    live = [i for i in range(len(right) - 16) if right[i] != 0]
    assert len(live) > RATE, len(live)
    periodic = sum(1 for i in live if right[i] == right[i + 16])
    assert periodic > 0.95 * len(live), (periodic, len(live))  # the 1000 Hz microphone tone
    print("conversation %s: %d stretches of the caller, microphone on the right"
          % (conv["path"], len(found)))


if __name__ == "__main__":
    if sys.argv[1] == "make-voice":
        make_voice(sys.argv[2], int(sys.argv[3]))
    elif sys.argv[1] == "check":
        check(sys.argv[2])
    else:
        sys.exit("unknown command")
