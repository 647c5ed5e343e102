#!/usr/bin/env python3
"""Writes the small seed corpus of every fuzz target into corpus/<target>/.

The seeds are valid inputs of each reader (so the fuzzer starts from the paths real files
take) plus a few near misses. Run again after a format changes; the output is committed.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def put(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data.encode() if isinstance(data, str) else data)


def chunk(cid, payload):
    pad = b"\0" if len(payload) % 2 else b""
    return cid + struct.pack("<I", len(payload)) + payload + pad


def wav(tag=1, channels=1, rate=16000, bits=16, data=bytes(range(64)), extra=None, fact=True):
    block = channels * bits // 8 if tag == 1 else 256
    fmt = struct.pack("<HHIIHH", tag, channels, rate, rate * block if tag == 1 else 4096, block, bits)
    if extra is not None:
        fmt += struct.pack("<H", len(extra)) + extra
    body = b"WAVE" + chunk(b"fmt ", fmt)
    if fact:
        body += chunk(b"fact", struct.pack("<I", len(data) // max(block, 1)))
    body += chunk(b"data", data)
    return chunk(b"RIFF", body)


def utf16_field(text, units):
    raw = text.encode("utf-16-le")[: (units - 1) * 2]
    return raw + b"\0" * (units * 2 - len(raw))


def record_info(start, end, path="/rec/2007-07-20/ti145806150010vbob.wav", name="bob"):
    return (struct.pack("<II", 1, 0) + utf16_field(path, 260) + utf16_field(name, 32)
            + utf16_field("", 32) + utf16_field("Bob Smith", 32) + utf16_field("note", 64)
            + struct.pack("<IIqII", start, end, 1234, 1, 0))


def twki(info):
    return chunk(b"RIFF", b"TWKI" + info)


def group(key, earliest, latest, total, count):
    return struct.pack("<IiiIQII", key, earliest, latest, 0, total, count, max(count, 2)) + bytes(8)


def index(records_by_day):
    """records_by_day: {(year, month, day): [RecordInfo bytes]} -> an index file."""
    years = sorted({k[0] for k in records_by_day})
    out = struct.pack("<IiiIQII", 200, 1184943486, 1184943586, 0, 2468, len(years), 2)
    out += struct.pack("<IIIIII", 0, 0, 0, 0, 0, 0)
    out += b"".join(group(y, 0, 0, 0, len({k[1] for k in records_by_day if k[0] == y})) for y in years)
    for y in years:
        months = sorted({k[1] for k in records_by_day if k[0] == y})
        out += b"".join(group(m, 0, 0, 0, len({k[2] for k in records_by_day if k[:2] == (y, m)}))
                        for m in months)
        for m in months:
            days = sorted(k[2] for k in records_by_day if k[:2] == (y, m))
            out += b"".join(group(d, 0, 0, 0, len(records_by_day[(y, m, d)])) for d in days)
            for d in days:
                out += b"".join(records_by_day[(y, m, d)])
    return out


pcm = wav()
put("wav_reader", "pcm16", pcm)
put("wav_reader", "adpcm", wav(tag=2, bits=4, extra=bytes(32)))
put("wav_reader", "mp3", wav(tag=0x55, bits=0, extra=struct.pack("<HIHHH", 1, 2, 144, 1, 0)))
put("wav_reader", "truncated", pcm[:60])
put("wav_reader", "with_twki", pcm + twki(record_info(1184943486, 1184943506)))
put("wav_reader", "odd_data_no_pad", wav(data=bytes(7))[:-1])

info = record_info(1184943486, 1184943506)
put("record_chunk", "record", pcm + twki(info))
put("record_chunk", "plain_wav", pcm)
put("record_chunk", "short_chunk", pcm + twki(info)[:300])

a, b = record_info(1184943486, 1184943506), record_info(1184943586, 1184943600, name="carol")
assert len(a) == 872
put("index_file", "one_day", index({(2007, 7, 20): [a, b]}))
put("index_file", "two_years",
    index({(2007, 7, 20): [a], (2008, 1, 2): [record_info(1199260800, 1199260900)]}))
put("index_file", "empty", index({}))

put("profile_store", "settings", "\ufeff[General]\r\nnVoiceMailWaitingPeriod=10\r\n"
    "sRecordsFolder = /home/me/records \r\n; a comment\r\n[Email]\r\nEmailServer=\"smtp:587\"\r\n"
    "[general]\r\nnVoiceMailWaitingPeriod=20\r\n")
put("profile_store", "odd_lines", "no section line\n[]\n=value\n[S]\nkey\n[S\nk=v=w\n")

with open(os.path.join(HERE, "..", "data", "greetings", "greeting.ini"), "rb") as f:
    put("greeting_list", "shipped", f.read())
put("greeting_list", "holes", "[Greeting]\nnNumOfGreeting=5\nName2=Second\nFile2=../../etc/passwd\n"
    "File5=/abs.wav\n")

def dialogue(*replies):
    return "\0".join(replies)


put("smtp_reply", "plain", dialogue("220 mail ready\r\n", "250-hello\r\n250 SIZE 1000\r\n",
    "250 ok\r\n", "250 ok\r\n", "251 forwarded\r\n", "354 go on\r\n", "250 queued\r\n",
    "221 bye\r\n"))
put("smtp_reply", "auth", dialogue("220 mail ready\r\n", "250-hello\r\n250 AUTH LOGIN\r\n",
    "334 VXNlcm5hbWU6\r\n", "334 UGFzc3dvcmQ6\r\n", "235 ok\r\n", "250 ok\r\n", "250 ok\r\n",
    "550 no\r\n", "354 go on\r\n", "250 queued\r\n", "221 bye\r\n"))
put("smtp_reply", "refused", dialogue("220 x\r\n", "500 what\r\n", "250 helo ok\r\n", "550 no\r\n"))

put("base64", "padded", "aGVsbG8gd29ybGQ=")
put("base64", "lines", "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXJzdHV2\r\nd3h5eg==")
put("base64", "binary", bytes(range(256)))

put("skype_link", "voice_mail",
    "CURRENTUSERHANDLE me\nUSERSTATUS ONLINE\nCALL 12 STATUS RINGING\nCALL 12 TYPE INCOMING_P2P\n"
    "CALL 12 PARTNER_HANDLE caller1\nCALL 12 PARTNER_DISPNAME Caller One\n"
    "CALL 12 OUTPUT SOUNDCARD=\"default\"\n\n\n\n\n\nCALL 12 STATUS INPROGRESS\n"
    "CALL 12 DURATION 3\n\n\nCALL 12 STATUS FINISHED\n")
put("skype_link", "conversation",
    "CALL 7 STATUS ROUTING\nCALL 7 TYPE OUTGOING_P2P\nCALL 7 PARTNER_HANDLE caller1\n"
    "CALL 7 STATUS INPROGRESS\nCALL 7 STATUS ONHOLD\nCALL 7 STATUS INPROGRESS\n"
    "CALL 7 CONF_ID 0\nCALL 8 STATUS RINGING\nCALL 8 CONF_ID 7\nCALL 7 STATUS FINISHED\n"
    "CALL 8 STATUS MISSED\nUSERS caller1, caller2\nUSER caller2 FULLNAME Second\n"
    "CHAT #me/$caller1;1 STATUS DIALOG\nCHATMESSAGE 5 STATUS RECEIVED\n"
    "CONNSTATUS OFFLINE\nPONG\nERROR 68\nPROTOCOL 7\n")
