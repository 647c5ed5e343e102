#!/usr/bin/python3
"""Crash consistency: tellwick killed with SIGKILL at many points, then started again.

A scripted pair of calls (a voice mail, a held and resumed conversation) runs against
skype-sim on a private bus while tellwick traces every step to standard error. A reference
run counts the trace lines; each kill point is a trace line number drawn from the seed, so
kills land in the answer, the greeting, the recording, the finishing, the pipeline's
conversion and rename and the index saves alike; a failing point is replayed with --seed and
--only (after the reference run, without the points before it). The records folder is kept from point to point, so every kill also puts
the records of the earlier points at risk. After each kill tellwick is started again and
ended, the folder is rescanned (tellwick-tool records rebuild), and then:
- every record seen complete before is still listed, with the same audio bytes;
- every listed record is readable by libsndfile (tellwick-tool audio duration) and carries
  its chunk (tellwick-tool records info);
- every record file in the date folders is listed;
- no temporary file of ours remains (".part", "_3.wav", "_5.wav", ".pcm.wav", settings temps).

Usage: crash_consistency.py BIN_DIR [--points N] [--seed S] [--only K...] [--keep DIR]
Must run inside a session bus (the harness starts one with dbus-run-session itself).
"""
import argparse
import hashlib
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SCENARIO = """1 ring caller1 "Caller One" voice={work}/voice1.wav
+9 hangup caller1
+1 ring caller2 "Caller Two" voice={work}/voice2.wav
+1 answer caller2
+2 hold caller2
+1 resume caller2
+2 hangup caller2
"""
SCENARIO_SECONDS = 22  # the calls, then the finishing and the pipeline
TEMPORARY = re.compile(r"(\.part|_3\.wav|_5\.wav|\.pcm\.wav|\.Ini\.\w{6})$")
RECORD = re.compile(r"^ti\d{12}[vc].*\.(wav|mp3)$")
SEGMENT = re.compile(r"^ti\d{12}(_\d+)?[om]\.wav$")


class Harness:
    def __init__(self, args):
        self.bin = os.path.abspath(args.bin)
        self.work = args.keep or tempfile.mkdtemp(prefix="tw_crash.")
        os.makedirs(self.work, exist_ok=True)
        self.data = os.path.join(self.work, "data", "tellwick")
        self.records = os.path.join(self.data, "records")
        os.makedirs(self.data, exist_ok=True)
        env = dict(os.environ, XDG_DATA_HOME=os.path.join(self.work, "data"),
                   XDG_CONFIG_HOME=os.path.join(self.work, "config"),
                   HOME=os.path.join(self.work, "home"), QT_QPA_PLATFORM="offscreen")
        self.env = env
        with open(os.path.join(self.data, "Tellwick.Ini"), "w") as f:
            # Codec 2 sends every record through the conversion and its rename.
            f.write("[Preference]\r\nnVoiceMailWaitingPeriod=1\r\nnVoiceMailMaxLength=30\r\n"
                    "nAFormatMode=1\r\nnACodec=2\r\n")
        here = os.path.dirname(os.path.abspath(__file__))
        for n in (1, 2):
            subprocess.run(["/usr/bin/python3", os.path.join(here, "..", "e2e", "check_records.py"),
                            "make-voice", os.path.join(self.work, "voice%d.wav" % n), str(n)],
                           check=True)
        with open(os.path.join(self.work, "scenario.txt"), "w") as f:
            f.write(SCENARIO.format(work=self.work))
        self.known = {}  # record path -> hash of its audio, for records seen complete

    def run_calls(self, kill_at_line):
        """Plays the scenario; SIGKILLs tellwick after its kill_at_line-th trace line (never
        when None). Returns the number of trace lines seen."""
        sim = subprocess.Popen([os.path.join(self.bin, "skype-sim"), "--script",
                                os.path.join(self.work, "scenario.txt"), "--contact",
                                "caller1:ONLINE:Caller One", "--contact",
                                "caller2:ONLINE:Caller Two"], env=self.env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(0.3)
        tw = subprocess.Popen([os.path.join(self.bin, "tellwick"), "--trace"], env=self.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        lines = 0
        deadline = time.monotonic() + SCENARIO_SECONDS
        os.set_blocking(tw.stderr.fileno(), False)
        buffer = b""
        killed = False
        while time.monotonic() < deadline and tw.poll() is None:
            chunk = tw.stderr.read()
            if not chunk:
                time.sleep(0.005)
                continue
            buffer += chunk
            count = buffer.count(b"\n")
            if kill_at_line is not None and lines + count >= kill_at_line:
                tw.send_signal(signal.SIGKILL)
                killed = True
                lines = kill_at_line
                break
            lines += count
            buffer = buffer[buffer.rfind(b"\n") + 1:]
        if not killed:
            tw.send_signal(signal.SIGKILL if kill_at_line is not None else signal.SIGTERM)
        tw.wait()
        sim.terminate()
        sim.wait()
        return lines

    def restart(self):
        """Starts tellwick again without Skype, lets it open the records folder, ends it."""
        tw = subprocess.Popen([os.path.join(self.bin, "tellwick")], env=self.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(2)
        tw.send_signal(signal.SIGTERM)
        status = tw.wait(timeout=20)
        return status == 0

    def tool(self, *arguments):
        return subprocess.run([os.path.join(self.bin, "tellwick-tool"), *arguments],
                              env=self.env, capture_output=True, text=True)

    @staticmethod
    def audio_hash(path):
        """The bytes of the WAVE chunk (the record's chunk behind it is rewritten freely)."""
        with open(path, "rb") as f:
            data = f.read()
        if path.endswith(".wav") and data[:4] == b"RIFF":
            size = int.from_bytes(data[4:8], "little")
            data = data[: 8 + size]
        return hashlib.sha256(data).hexdigest()

    def check(self):
        faults = []
        if not self.restart():
            faults.append("tellwick did not start and end cleanly after the kill")
        rebuilt = self.tool("records", "rebuild", self.records)
        if rebuilt.returncode != 0 and os.path.isdir(self.records):
            faults.append("rebuild failed: " + rebuilt.stderr.strip())
        listed = self.tool("records", "list", self.records) if os.path.isdir(self.records) else None
        paths = []
        if listed is not None:
            for line in listed.stdout.splitlines():
                fields = line.split("\t")
                if len(fields) >= 10:
                    paths.append(fields[-1])
        for path, digest in self.known.items():
            if path not in paths:
                faults.append("a record complete before the kill is no longer listed: " + path)
            elif not os.path.exists(path) or self.audio_hash(path) != digest:
                faults.append("a record complete before the kill changed: " + path)
        for path in paths:
            duration = self.tool("audio", "duration", path)
            if duration.returncode != 0 or not duration.stdout.strip().isdigit() \
                    or int(duration.stdout.strip()) <= 0:
                faults.append("a listed record does not play: " + path)
            if path.endswith(".wav") and self.tool("records", "info", path).returncode != 0:
                faults.append("a listed record has no chunk: " + path)
        segments = 0
        for folder, _, files in os.walk(os.path.join(self.work, "data")):
            for name in files:
                full = os.path.join(folder, name)
                if TEMPORARY.search(name):
                    faults.append("a temporary file remains: " + full)
                elif SEGMENT.match(name):
                    segments += 1
                elif RECORD.match(name) and not name.endswith("_em.wav") and full not in paths:
                    faults.append("a record file is not listed: " + full)
        for path in paths:
            if os.path.exists(path):
                self.known[path] = self.audio_hash(path)
        return faults, segments


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bin")
    parser.add_argument("--points", type=int, default=100)
    parser.add_argument("--seed", type=int, default=17)
    parser.add_argument("--only", type=int, nargs="*", help="replay these point numbers")
    parser.add_argument("--keep", help="work folder to use and keep")
    args = parser.parse_args()

    h = Harness(args)
    try:
        total = h.run_calls(None)
        faults, _ = h.check()
        if faults or not h.known:
            print("the reference run failed:", *(faults or ["no record made"]), sep="\n  ")
            return 1
        print("reference run: %d trace lines, %d records" % (total, len(h.known)), flush=True)
        rng = random.Random(args.seed)
        points = [rng.randint(1, total) for _ in range(args.points)]
        failed = 0
        for number, line in enumerate(points, 1):
            if args.only and number not in args.only:
                continue
            h.run_calls(line)
            faults, segments = h.check()
            state = "FAIL" if faults else "ok"
            print("point %d (trace line %d of %d): %s, %d records, %d segments left"
                  % (number, line, total, state, len(h.known), segments), flush=True)
            for fault in faults:
                print("  " + fault)
            failed += bool(faults)
        print("kill points: %d, survived: %d, failed: %d" % (len(args.only or points),
              len(args.only or points) - failed, failed))
        return 1 if failed else 0
    finally:
        if not args.keep:
            shutil.rmtree(h.work, ignore_errors=True)


sys.exit(main())
