"""Seeds a records folder for the screenshots: WAV records in their date folders, each with the
description chunk a finished record carries, so Tellwick's first scan keeps their flags and
annotations. The voices are synthetic syllables and pauses, enough to look like speech.

Usage: seed_records.py RECORDS_FOLDER [PANEL_LIST]
With PANEL_LIST, the side panel's list ("splist.ini") is written too: the three newest
records, the newest current."""
import math
import os
import random
import struct
import sys
import time

RATE = 16000
PLAYED, LOCKED = 0x1, 0x10
VOICEMAIL, CONVERSATION = 1, 2

folder = sys.argv[1]
now = int(time.time()) // 60 * 60
rnd = random.Random(7)

# (type, partner, full name, minutes before now, length in seconds, flags, annotation)
RECORDS = [
    (VOICEMAIL, "alice.m", "Alice Morgan", 35, 42, 0, ""),
    (CONVERSATION, "erin.s", "Erin Stone", 95, 131, PLAYED, "Project kick-off notes"),
    (VOICEMAIL, "+441632960123", "", 180, 28, 0, "Dentist: appointment moved"),
    (VOICEMAIL, "bob.k", "Bob Keller", 60 * 26, 75, PLAYED | LOCKED, "Quote for the kitchen"),
    (CONVERSATION, "dave.r", "Dave Rossi", 60 * 30, 64, LOCKED, ""),
    (VOICEMAIL, "carol.w", "Carol White", 60 * 50, 19, PLAYED, ""),
    (CONVERSATION, "alice.m", "Alice Morgan", 60 * 75, 96, PLAYED, "Holiday plans"),
    (VOICEMAIL, "dave.r", "Dave Rossi", 60 * 98, 33, PLAYED, "Call back about the invoice"),
]


def speech(seconds):
    frames = [0.0] * int(seconds * RATE)
    t = rnd.uniform(0.2, 0.5)
    while t < seconds - 0.3:
        phrase = rnd.uniform(1.2, 4.0)
        loud = rnd.uniform(0.35, 0.9)
        end = min(seconds - 0.2, t + phrase)
        while t < end:
            syl = rnd.uniform(0.09, 0.28)
            f0 = rnd.uniform(110, 230)
            start, n = int(t * RATE), int(syl * RATE)
            for i in range(n):
                if start + i >= len(frames):
                    break
                env = math.sin(math.pi * i / n) ** 1.5
                ph = 2 * math.pi * f0 * i / RATE
                v = math.sin(ph) + 0.5 * math.sin(2 * ph) + 0.25 * math.sin(3 * ph)
                frames[start + i] = loud * env * v / 1.75
            t += syl + rnd.uniform(0.02, 0.12)
        t += rnd.uniform(0.4, 1.3)
    return b"".join(struct.pack("<h", int(max(-1, min(1, v)) * 20000)) for v in frames)


def utf16_field(text, units):
    raw = text.encode("utf-16-le")[: 2 * (units - 1)]
    return raw + b"\0" * (2 * units - len(raw))


def safe_name(name):
    return "".join("_" if c in '\\/:*?"<>|' else c for c in name)


starts = []
for kind, partner, full, minutes_ago, length, flags, note in RECORDS:
    start = now - minutes_ago * 60
    starts.append(start)
    end = start + length
    lt, le = time.localtime(start), time.localtime(end)
    day = os.path.join(folder, time.strftime("%Y-%m-%d", lt))
    os.makedirs(day, exist_ok=True)
    name = "ti%s%s%s%s.wav" % (time.strftime("%H%M%S", lt), time.strftime("%H%M%S", le),
                               "v" if kind == VOICEMAIL else "c", safe_name(partner))
    path = os.path.join(day, name)
    pcm = speech(length)
    wav = b"RIFF" + struct.pack("<I", 36 + len(pcm)) + b"WAVE"
    wav += b"fmt " + struct.pack("<IHHIIHH", 16, 1, 1, RATE, 2 * RATE, 2, 16)
    wav += b"data" + struct.pack("<I", len(pcm)) + pcm
    info = struct.pack("<II", kind, 0) + utf16_field(path, 260) + utf16_field(partner, 32)
    info += utf16_field("", 32) + utf16_field(full, 32) + utf16_field(note, 64)
    info += struct.pack("<IIqII", start, end, len(wav), flags, 0)
    assert len(info) == 872
    with open(path, "wb") as f:
        f.write(wav + b"RIFF" + struct.pack("<I", 4 + len(info)) + b"TWKI" + info)

if len(sys.argv) > 2:
    recent = sorted(starts)[-3:]
    lines = ["[SPList]", "nCount=%d" % len(recent), "nRecordCur=%d" % len(recent)]
    lines += ["Record%d=%d" % (i + 1, t) for i, t in enumerate(recent)]
    with open(sys.argv[2], "w") as f:
        f.write("\n".join(lines) + "\n")
