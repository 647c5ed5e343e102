#!/usr/bin/python3
"""Checks of pipeline_test.sh: the records and the mail a run left.

ready BIN WORK MODE   exits 0 once a codec run's records are final and its mail arrived
check BIN WORK MODE   checks what the run left behind
"""
import email
import email.policy
import glob
import os
import re
import subprocess
import sys
import time

TWKI = 884  # the record chunk behind the WAVE chunk, header included
FINAL = {0: (".wav", 0), 1: (".wav", 1), 2: (".mp3", 4), 3: (".wav", 3), 4: (".mp3", 4)}


def tool(bin_dir, *args):
    run = subprocess.run([os.path.join(bin_dir, "tellwick-tool")] + list(args),
                         capture_output=True, text=True)
    return run.returncode, run.stdout


def records(bin_dir, work):
    status, out = tool(bin_dir, "records", "list", os.path.join(work, "data/tellwick/records"))
    assert status == 0, out
    keys = ["start", "end", "type", "flags", "size", "name", "second", "full", "note", "path"]
    rows = [dict(zip(keys, line.split("\t"))) for line in out.splitlines()]
    for row in rows:
        for k in ("start", "end", "type", "flags", "size"):
            row[k] = int(row[k])
    return {row["name"]: row for row in rows}


def record_files(work):
    return sorted(glob.glob(os.path.join(work, "data/tellwick/records/*/*")))


def detect(bin_dir, path):
    words = tool(bin_dir, "audio", "detect", path)[1].split()
    return int(words[0]) if words else -1


def mails(work):
    return sorted(glob.glob(os.path.join(work, "mail/*.eml")))


def is_final(bin_dir, row, codec):
    extension, detected = FINAL[codec]
    return row["path"].endswith(extension) and detect(bin_dir, row["path"]) == detected


def ready(bin_dir, work, mode):
    codec = int(mode[len("codec"):])
    rows = records(bin_dir, work)
    return (set(rows) == {"caller1", "caller2"} and mails(work)
            and all(is_final(bin_dir, row, codec) for row in rows.values()))


def check_record(bin_dir, row, letter, codec, rescanned=False):
    path = row["path"]
    start, end = time.localtime(row["start"]), time.localtime(row["end"])
    stem = "ti%s%s%s%s" % (time.strftime("%H%M%S", start), time.strftime("%H%M%S", end), letter,
                           row["name"])
    extension, detected = FINAL[codec]
    assert os.path.basename(path) == stem + extension, (path, stem)
    assert os.path.basename(os.path.dirname(path)) == time.strftime("%Y-%m-%d", start), path
    assert detect(bin_dir, path) == detected, (path, detect(bin_dir, path))
    if extension == ".wav":
        # A fresh description behind the converted audio, naming the file as it is now.
        status, out = tool(bin_dir, "records", "info", path)
        assert status == 0 and out.rstrip("\n").split("\t")[-1] == path, out
        # The stored size is the whole file with its description, however it was listed.
        assert row["size"] == os.path.getsize(path), (row, os.path.getsize(path))
    else:
        assert not os.path.exists(path[:-4] + ".wav"), "the recorded WAV remains"
        assert row["size"] == os.path.getsize(path), row


def check_mail(bin_dir, work, mode, vm):
    found = mails(work)
    assert len(found) == 1, found  # the conversation is not mailed
    with open(found[0], "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.default)
    text = "Voice mail from caller1 at %s." % time.strftime(
        "%Y/%m/%d %H:%M:%S", time.localtime(vm["start"]))
    subject = "A voice message" if mode == "codec3" else text
    assert message["Subject"] == subject, (message["Subject"], subject)
    to = message["To"].addresses
    assert [(a.display_name, a.addr_spec) for a in to] == [("user", "user@example.com")], to
    body = message.get_body(("plain",)).get_content().strip()
    assert body == text, body
    attachments = list(message.iter_attachments())
    assert len(attachments) == 1, attachments
    data = attachments[0].get_payload(decode=True)
    stem = os.path.splitext(vm["path"])[0]
    name = attachments[0].get_filename()
    if mode == "codec4":  # nACodecForEmail 2: the MPEG frames unwrapped
        assert name == os.path.basename(stem) + "_em.mp3", name
        assert data[:1] == b"\xff", data[:4]
    else:  # nACodecForEmail 1: a Microsoft ADPCM WAV
        assert name == os.path.basename(stem) + "_em.wav", name
        assert data[:4] == b"RIFF" and data[20:22] == b"\x02\x00", data[:24]
        if mode == "codec1":  # the record went through the same conversion
            with open(vm["path"], "rb") as f:
                assert f.read()[:-TWKI] == data, "the attachment differs from the copy"
        if mode == "codec0":  # the copy made again from the record as it stayed
            copy = os.path.join(work, "again_em.wav")
            status, out = tool(bin_dir, "audio", "convert", vm["path"], copy, "--codec", "1")
            assert status == 0, out
            with open(copy, "rb") as f:
                assert f.read() == data, "the attachment differs from the copy"
    print("mail: %s, attachment %s, %d bytes" % (message["Subject"], name, len(data)))


def waiting_mail_copy(work, path):
    """True when path is an e-mail copy that a mail waiting in the outbox attaches."""
    if "_em." not in os.path.basename(path):
        return False
    mail = os.path.join(work, "data/tellwick/Mail")
    for name in os.listdir(mail) if os.path.isdir(mail) else []:
        if name.endswith(".mail"):
            with open(os.path.join(mail, name), encoding="utf-8", errors="replace") as f:
                if path in f.read():
                    return True
    return False


def check(bin_dir, work, mode):
    rows = records(bin_dir, work)
    if mode != "kill":
        # Every file of the folder is a listed record: no "_1.wav" is left, and no e-mail
        # copy but those of mails still waiting, which the next start sends.
        files = record_files(work)
        if mode == "shutdown":
            files = [f for f in files if not waiting_mail_copy(work, f)]
        assert files == sorted(row["path"] for row in rows.values()), (files, rows)
    if mode.startswith("codec"):
        codec = int(mode[len("codec"):])
        assert set(rows) == {"caller1", "caller2"}, rows
        check_record(bin_dir, rows["caller1"], "v", codec)
        check_record(bin_dir, rows["caller2"], "c", codec)
        assert rows["caller1"]["type"] == 1 and rows["caller2"]["type"] == 2, rows
        check_mail(bin_dir, work, mode, rows["caller1"])
    elif mode == "shutdown":
        # Wherever the exit caught it, the voice mail is whole and listed.
        assert set(rows) == {"caller1"}, rows
        codec = detect(bin_dir, rows["caller1"]["path"])
        check_record(bin_dir, rows["caller1"], "v", 0 if codec == 0 else 4)
    elif mode == "kill":
        before = rows
        status, out = tool(bin_dir, "records", "rebuild",
                           os.path.join(work, "data/tellwick/records"))
        assert status == 0, out
        rows = records(bin_dir, work)
        assert "caller1" in before and "caller1" in rows, (before, rows)
        check_record(bin_dir, rows["caller1"], "v", 1, rescanned=True)
        for row in rows.values():
            assert os.path.exists(row["path"]), row
        # The killed voice mail's segments are no record; no converted twin is left.
        assert not glob.glob(os.path.join(work, "data/tellwick/records/*/*_1.wav"))
    for name, row in sorted(rows.items()):
        print("record %s: %s" % (name, row["path"]))


if __name__ == "__main__":
    command, bin_dir, work, mode = sys.argv[1:5]
    if command == "ready":
        sys.exit(0 if ready(bin_dir, work, mode) else 1)
    check(bin_dir, work, mode)
