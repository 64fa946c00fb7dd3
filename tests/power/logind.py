#!/usr/bin/python3
# A stand-in for systemd-logind on a test's own system bus: it answers
# Manager.Inhibit as logind does, with the writing end of a pipe that stays
# an inhibitor for as long as any copy of it is open, and appends to LOG one
# line per request and one when the caller's last copy closes:
#
#   SECONDS inhibit WHAT|WHO|WHY|MODE pid=PID
#   SECONDS released pid=PID
#
# (SECONDS since the epoch). With --silent it takes requests and never
# answers, as a logind that hangs. DBUS_SYSTEM_BUS_ADDRESS names the bus.
# Usage: logind.py LOG [--silent]
import os
import sys
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

MANAGER = "org.freedesktop.login1.Manager"


def note(log, text):
    with open(log, "a") as out:
        out.write("%.3f %s\n" % (time.time(), text))


class Manager(dbus.service.Object):
    def __init__(self, bus, log, silent):
        super().__init__(bus, "/org/freedesktop/login1")
        self.bus = bus
        self.log = log
        self.silent = silent
        self.unanswered = []  # kept, so the requests stay pending

    @dbus.service.method(MANAGER, in_signature="ssss", out_signature="h", sender_keyword="sender",
                         async_callbacks=("reply", "error"))
    def Inhibit(self, what, who, why, mode, sender, reply, error):
        pid = self.bus.call_blocking("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                     "GetConnectionUnixProcessID", "s", (sender,))
        note(self.log, "inhibit %s|%s|%s|%s pid=%d" % (what, who, why, mode, pid))
        if self.silent:
            self.unanswered.append(reply)
            return
        readable, writable = os.pipe()

        def closed(fd, condition):
            if condition & GLib.IO_IN and os.read(fd, 1):
                return True
            note(self.log, "released pid=%d" % pid)
            os.close(fd)
            return False

        GLib.io_add_watch(readable, GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP | GLib.IO_ERR, closed)
        reply(dbus.types.UnixFd(writable))  # sends a copy
        os.close(writable)


def main():
    log = sys.argv[1]
    silent = "--silent" in sys.argv[2:]
    DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(os.environ["DBUS_SYSTEM_BUS_ADDRESS"])
    manager = Manager(bus, log, silent)
    name = dbus.service.BusName("org.freedesktop.login1", bus)
    note(log, "ready")
    GLib.MainLoop().run()
    del manager, name


main()
