#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later (see phone/COPYING-NOTICE)
"""A desktop notification service on the session bus that plays the user: it shows every
notification on standard output and, for a "Call from NAME" whose NAME is given on the command
line, invokes its Answer action after DELAY seconds (a user taking the call).

Usage: answering_user.py DELAY NAME...
"""
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

IFACE = "org.freedesktop.Notifications"


class Notifications(dbus.service.Object):
    def __init__(self, bus, delay, names):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.delay, self.names, self.next_id = delay, names, 1

    @dbus.service.method(IFACE, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        nid, self.next_id = self.next_id, self.next_id + 1
        print("notification %d: %s [%s]" % (nid, summary, ", ".join(actions[1::2])), flush=True)
        if any(summary == "Call from " + name for name in self.names) and "answer" in actions:
            GLib.timeout_add(int(self.delay * 1000), self.answer, nid)
        return nid

    def answer(self, nid):
        print("answering %d" % nid, flush=True)
        self.ActionInvoked(dbus.UInt32(nid), "answer")
        return False

    @dbus.service.method(IFACE, in_signature="u")
    def CloseNotification(self, nid):
        print("closed %d" % nid, flush=True)
        self.NotificationClosed(dbus.UInt32(nid), dbus.UInt32(3))

    @dbus.service.method(IFACE, out_signature="as")
    def GetCapabilities(self):
        return ["actions", "body"]

    @dbus.service.method(IFACE, out_signature="ssss")
    def GetServerInformation(self):
        return ("answering-user", "tellwick", "1", "1.2")

    @dbus.service.signal(IFACE, signature="us")
    def ActionInvoked(self, nid, action):
        pass

    @dbus.service.signal(IFACE, signature="uu")
    def NotificationClosed(self, nid, reason):
        pass


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName(IFACE, bus)
    service = Notifications(bus, float(sys.argv[1]), sys.argv[2:])
    print("ready", flush=True)
    GLib.MainLoop().run()
    del name, service


if __name__ == "__main__":
    main()
