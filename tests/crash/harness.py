#!/usr/bin/python3
"""The calls, the restart and the record checks shared by the crash and full-disk runs.

A scripted pair of calls (a voice mail, a held and resumed conversation) runs against
skype-sim on the caller's session bus. After a run tellwick is started again and ended, the
folder is rescanned (tellwick-tool records rebuild), and check() finds:
- a record seen complete before that is no longer listed or whose audio bytes changed;
- a listed record that libsndfile cannot read (tellwick-tool audio duration) or that has no
  chunk (tellwick-tool records info);
- a record file in the date folders that is not listed;
- a temporary file of ours (".part", the hidden "-tmp" files of the cut, mix and join and
  their older "_3", "_4", "_5" names, ".pcm.wav", settings temps).
"""
import argparse
import hashlib
import os
import re
import shutil
import resource
import signal
import subprocess
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
TEMPORARY = re.compile(r"(\.part|_[345]\.wav|-tmp|\.pcm\.wav|\.Ini\.\w{6})$")
RECORD = re.compile(r"^ti\d{12}[vc].*\.(wav|mp3)$")
SEGMENT = re.compile(r"^ti\d{12}[om](-\d+)?\.wav$")  # "-2" ... keep one second's apart


INSTANCE_NAME = "org.tellwick.Tellwick"


def bus_name_owned(name):
    reply = subprocess.run(["dbus-send", "--session", "--print-reply",
                            "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                            "org.freedesktop.DBus.NameHasOwner", "string:" + name],
                           capture_output=True, text=True)
    return "boolean true" in reply.stdout


class Harness:
    def __init__(self, bin_dir, keep=None):
        self.bin = os.path.abspath(bin_dir)
        self.work = keep or tempfile.mkdtemp(prefix="tw_crash.")
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

    def run_calls(self, kill_at_line=None, file_size_limit=None):
        """Plays the scenario; SIGKILLs tellwick after its kill_at_line-th trace line, or ends
        it with SIGTERM when None. file_size_limit: RLIMIT_FSIZE for tellwick, with SIGXFSZ
        ignored so that writes beyond it fail with EFBIG. Returns the number of trace lines
        seen and tellwick's exit status."""
        sim = subprocess.Popen([os.path.join(self.bin, "skype-sim"), "--script",
                                os.path.join(self.work, "scenario.txt"), "--contact",
                                "caller1:ONLINE:Caller One", "--contact",
                                "caller2:ONLINE:Caller Two"], env=self.env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(0.3)
        def limit():
            if file_size_limit is not None:
                signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
                resource.setrlimit(resource.RLIMIT_FSIZE, (file_size_limit, file_size_limit))

        tw = subprocess.Popen([os.path.join(self.bin, "tellwick"), "--trace"], env=self.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                              preexec_fn=limit, restore_signals=False)
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
        try:
            status = tw.wait(timeout=20)
        except subprocess.TimeoutExpired:
            tw.kill()
            status = tw.wait()
        sim.terminate()
        sim.wait()
        return lines, status

    def restart(self):
        """Starts tellwick again without Skype, lets it open the records folder, ends it.
        Returns "" or what went wrong."""
        tw = subprocess.Popen([os.path.join(self.bin, "tellwick")], env=self.env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # SIGTERM is handled once tellwick owns its bus name; on a loaded machine that can
        # take longer than any fixed pause.
        deadline = time.monotonic() + 60
        while not bus_name_owned(INSTANCE_NAME) and tw.poll() is None \
                and time.monotonic() < deadline:
            time.sleep(0.1)
        time.sleep(2)  # the records folder is opened right after
        tw.send_signal(signal.SIGTERM)
        try:
            status = tw.wait(timeout=30)
        except subprocess.TimeoutExpired:
            tw.kill()
            return "tellwick did not end within 30 s of SIGTERM"
        return "" if status == 0 else "tellwick ended with status %d after a restart" % status

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
        restarted = self.restart()
        if restarted:
            faults.append(restarted)
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



def run(description, configure, points, noun):
    """The command line of a run: BIN_DIR, --keep and what configure adds. A reference run of
    the calls must pass check(); then every (label, action) that points(args, trace_lines)
    yields runs action(harness) -> (faults, note) followed by check(). Returns the exit
    status (0 when every point passed)."""
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("bin")
    parser.add_argument("--keep", help="work folder to use and keep")
    configure(parser)
    args = parser.parse_args()
    h = Harness(args.bin, args.keep)
    try:
        lines, status = h.run_calls()
        faults, _ = h.check()
        if status != 0 or faults or not h.known:
            print("the reference run failed:", *(faults or ["exit status %d" % status]),
                  sep="\n  ")
            return 1
        print("reference run: %d trace lines, %d records" % (lines, len(h.known)), flush=True)
        tried = failed = 0
        for label, action in points(args, lines):
            extra, note = action(h)
            faults, segments = h.check()
            faults = extra + faults
            print("%s: %s, %d records, %d segments left%s" % (
                label, "FAIL" if faults else "ok", len(h.known), segments, note), flush=True)
            for fault in faults:
                print("  " + fault)
            tried += 1
            failed += bool(faults)
        print("%s: %d, passed: %d, failed: %d" % (noun, tried, tried - failed, failed))
        return 1 if failed else 0
    finally:
        if not args.keep:
            shutil.rmtree(h.work, ignore_errors=True)
