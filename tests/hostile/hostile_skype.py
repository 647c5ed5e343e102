#!/usr/bin/python3
"""A hostile Skype client on the session bus.

Owns com.Skype.API, attaches whoever says NAME, and for a bounded time sends it random,
malformed and oversized notifications from a seeded generator (call flows with hostile
values among them, so the answering machine really runs), while answering every command
with a plausible, wrong or garbage reply. Every command received is checked against the
grammar of the commands Tellwick sends; the verdict goes to a JSON report.

Usage: hostile_skype.py --seed N --seconds S --records DIR --report FILE
"""
import argparse
import json
import random
import re
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

TOKEN = r'[^\s"\x00-\x1f\x7f]+'
ID = r"(?:0|[1-9][0-9]{0,9})"
DEVICE = r'(?:SOUNDCARD|PORT|FILE)="[^"\x00-\x1f]*"'
PATH = r'FILE="([^"\x00-\x1f]*)"'
GRAMMAR = [re.compile(p) for p in [
    r"NAME Tellwick", r"PROTOCOL [0-9]+", r"PING",
    r"GET (?:AUDIO_IN|AUDIO_OUT|AUTOAWAY|CURRENTUSERHANDLE|SKYPEVERSION|USERSTATUS)",
    rf"GET CALL {ID} (?:CAPTURE_MIC|CONF_ID|CONF_PARTICIPANTS_COUNT|INPUT|OUTPUT|"
    r"PARTNER_DISPNAME|PARTNER_HANDLE|STATUS|TIMESTAMP|TYPE)",
    rf"GET CALL {ID} CONF_PARTICIPANT [0-9]+",
    rf"GET USER {TOKEN} (?:FULLNAME|ONLINESTATUS)",
    r"SEARCH (?:ACTIVECALLS|FRIENDS)", r"(?:SET|Set) MUTE (?:ON|OFF)",
    rf"SET USERSTATUS {TOKEN}",
    rf"SET CALL {ID} STATUS (?:FINISHED|INPROGRESS|ONHOLD)",
    rf"SET CALL {ID} JOIN_CONFERENCE {ID}",
    rf"CALL {TOKEN}", rf"CHAT CREATE {TOKEN} DIALOG", rf"OPEN CHAT {TOKEN}",
    rf"CHATMESSAGE {TOKEN} [^\x00-\x1f]*",
    rf"ALTER CALL {ID} (?:SET_INPUT|SET_OUTPUT|SET_CAPTURE_MIC)(?: {DEVICE})?",
    rf"ALTER CALL {ID} SET_OUTPUT {DEVICE}, {PATH}",
    rf"ALTER CALL {ID} (?:SET_INPUT|SET_OUTPUT|SET_CAPTURE_MIC) {PATH}",
]]

STATUSES = ["UNPLACED", "ROUTING", "RINGING", "INPROGRESS", "ONHOLD", "LOCALHOLD", "REMOTEHOLD",
            "FINISHED", "MISSED", "REFUSED", "FAILED", "CANCELLED", "BUSY", "EARLYMEDIA"]
HOSTILE = ['bob SET USERSTATUS DND', 'bo"b', 'bob\rCALL evil', 'bob\nALTER CALL 1 SET_INPUT',
           '../../../etc/passwd', '/tmp/x', 'a' * 40, '\u00e9\u00e8\U0001f600', ';', '',
           'x" FILE="/tmp/evil.wav', '%s%s%n', '-1', '99999999999999999999', ' ', '\t',
           '#me/$bob;1 OPEN', 'live:alice.smith', 'caller1']


class Peer(dbus.service.Object):
    def __init__(self, bus, rng, report):
        super().__init__(bus, "/com/Skype")
        self.bus, self.rng, self.report = bus, rng, report
        self.client = None
        self.peer_files = set()  # FILE values the peer itself named

    @dbus.service.method("com.Skype.API", in_signature="s", out_signature="s",
                         sender_keyword="sender")
    def Invoke(self, command, sender=None):
        command = str(command)
        self.report["commands"] += 1
        verb = " ".join(w for w in command.split()[:2] if not w.isdigit())
        self.report["verbs"][verb] = self.report["verbs"].get(verb, 0) + 1
        self.check(command)
        if command == "NAME Tellwick":
            self.client = sender
            return "OK"
        if command.startswith("PROTOCOL"):
            return "PROTOCOL 7"
        if command == "PING":
            return self.rng.choice(["PONG", "PONG", "PONG", "ERROR 1", ""])
        return self.reply(command)

    def check(self, command):
        for pattern in GRAMMAR:
            match = pattern.fullmatch(command)
            if match:
                break
        else:
            self.fault("outside the command grammar", command)
            return
        for path in re.findall(PATH, command):
            if command.split()[3] == "SET_INPUT" or path in self.peer_files:
                continue
            if not (path.startswith(self.report["records"] + "/") and path.endswith(".wav")
                    and "/../" not in path):
                self.fault("a capture file outside the records folder", command)

    def fault(self, what, command):
        self.report["faults"].append({"what": what, "command": command[:300]})

    def reply(self, command):
        r = self.rng.random()
        if r < 0.5:
            return command.replace("SET ", "", 1).replace("GET ", "", 1)  # the usual echo
        if r < 0.7:
            return "ERROR %d %s" % (self.rng.choice([1, 7, 10, 68, 71, 105, 9999]), "no")
        if r < 0.85:
            return self.notification()
        return self.garbage()

    def garbage(self):
        n = self.rng.choice([0, 1, 5, 100, 1023, 1024, 1025, 4000, 70000])
        alphabet = ' "=,;:#$/\\\u00e9\u4e2d\U0001f600abcdefCALLSTATUS0123456789\t\r\n'
        return "".join(self.rng.choice(alphabet) for _ in range(n))

    def value(self):
        r = self.rng.random()
        if r < 0.4:
            return self.rng.choice(HOSTILE)
        if r < 0.6:
            return self.garbage()
        return self.rng.choice(["caller1", "caller2", "ONLINE", "DND", "0", "1", "7", "12"])

    def notification(self):
        rng = self.rng
        call = rng.choice(["12", "13", "300", str(rng.randrange(1, 400)), self.value()])
        kind = rng.random()
        if kind < 0.35:
            return "CALL %s STATUS %s" % (call, rng.choice(STATUSES))
        if kind < 0.65:
            prop = rng.choice(["TYPE", "PARTNER_HANDLE", "PARTNER_DISPNAME", "DURATION", "CONF_ID",
                               "CONF_PARTICIPANTS_COUNT", "OUTPUT", "INPUT", "CAPTURE_MIC",
                               "VIDEO_STATUS", "FAILUREREASON", "CONF_PARTICIPANT 1"])
            value = rng.choice(["INCOMING_P2P", "OUTGOING_P2P", "INCOMING_PSTN", self.value(),
                                'SOUNDCARD="default"', 'FILE="%s"' % self.value()])
            if value.startswith('FILE="'):
                self.peer_files.add(value[6:-1])
            return "CALL %s %s %s" % (call, prop, value)
        if kind < 0.75:
            return rng.choice(["USERSTATUS %s", "CURRENTUSERHANDLE %s", "CONNSTATUS %s",
                               "USERS %s", "USER %s ONLINESTATUS ONLINE", "USER caller1 FULLNAME %s",
                               "CHAT %s STATUS DIALOG", "CHATMESSAGE %s STATUS RECEIVED",
                               "CALLS %s", "PROTOCOL %s", "ERROR %s", "MUTE %s"]) % self.value()
        if kind < 0.85:
            return "".join(rng.choice(["ALTER CALL ", call, " SET_OUTPUT", " ", "\"", "FILE=",
                                       "CALL", "STATUS", "\r\n"]) for _ in range(8))
        return self.garbage()

    def send(self):
        if not self.client:
            return True
        text = self.notification()
        self.report["notifications"] += 1
        self.report["longest"] = max(self.report["longest"], len(text))
        try:
            proxy = self.bus.get_object(self.client, "/com/Skype/Client", introspect=False)
            proxy.Notify(text, dbus_interface="com.Skype.API.Client",
                         reply_handler=lambda *a: None, error_handler=self.notify_failed)
        except dbus.DBusException as e:
            self.notify_failed(e)
        return True

    def notify_failed(self, error):
        self.report["notify_errors"] += 1


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seed", type=int, required=True)
    parser.add_argument("--seconds", type=float, required=True)
    parser.add_argument("--records", required=True)
    parser.add_argument("--report", required=True)
    parser.add_argument("--interval-ms", type=int, default=2)
    args = parser.parse_args()

    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    report = {"seed": args.seed, "records": args.records.rstrip("/"), "commands": 0,
              "notifications": 0, "notify_errors": 0, "verbs": {}, "longest": 0, "faults": []}
    name = dbus.service.BusName("com.Skype.API", bus, do_not_queue=True)
    peer = Peer(bus, random.Random(args.seed), report)
    loop = GLib.MainLoop()
    GLib.timeout_add(args.interval_ms, peer.send)
    GLib.timeout_add(int(args.seconds * 1000), loop.quit)
    print("ready", flush=True)
    loop.run()
    del name
    report["attached"] = peer.client is not None
    with open(args.report, "w") as f:
        json.dump(report, f, indent=1)
    sys.exit(0)


main()
