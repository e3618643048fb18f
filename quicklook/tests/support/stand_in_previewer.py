#!/usr/bin/env python3
"""A stand-in for the desktop's previewer, on whatever session bus it is given.

Takes org.gnome.NautilusPreviewer, records each call it gets as a line in the
file STAND_IN_LOG ("started PID BUS ACCESSIBILITY-BUS", "activatable NAMES...",
"ShowFile URI HANDLE CLOSE", "Close"), says
Visible as the real one does (true once ShowFile made its window, false once
Close took it down), and, when told through org.orvanta.StandIn, emits
SelectionEvent or takes its window down as a user would.
"""
import os
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

PATH = "/org/gnome/NautilusPreviewer"
IFACE = "org.gnome.NautilusPreviewer2"


def record(line):
    with open(os.environ["STAND_IN_LOG"], "a") as log:
        log.write(line + "\n")


class StandIn(dbus.service.Object):
    visible = False

    def set_visible(self, visible):
        if visible != self.visible:
            self.visible = visible
            self.PropertiesChanged(IFACE, {"Visible": dbus.Boolean(visible)}, [])

    @dbus.service.method(IFACE, in_signature="ssb")
    def ShowFile(self, uri, handle, close_if_shown):
        record(f"ShowFile {uri} {handle} {str(bool(close_if_shown)).lower()}")
        self.set_visible(True)

    @dbus.service.method(IFACE)
    def Close(self):
        record("Close")
        self.set_visible(False)

    @dbus.service.signal(IFACE, signature="u")
    def SelectionEvent(self, direction):
        pass

    @dbus.service.signal("org.freedesktop.DBus.Properties", signature="sa{sv}as")
    def PropertiesChanged(self, interface, changed, invalidated):
        pass

    @dbus.service.method("org.orvanta.StandIn", in_signature="u")
    def Select(self, direction):
        self.SelectionEvent(direction)

    @dbus.service.method("org.orvanta.StandIn")
    def Dismiss(self):
        self.set_visible(False)


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    StandIn(bus, PATH)
    name = dbus.service.BusName("org.gnome.NautilusPreviewer", bus, do_not_queue=True)
    record(f"started {os.getpid()} {os.environ['DBUS_SESSION_BUS_ADDRESS']} {os.environ.get('AT_SPI_BUS_ADDRESS', '')}")
    # What the bus would start on a request: the session's services must not
    # be started on the private bus (the real previewer waits on them).
    names = bus.call_blocking("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                              "ListActivatableNames", "", [])
    record("activatable " + " ".join(sorted(str(n) for n in names)))
    GLib.MainLoop().run()
    del name


if __name__ == "__main__":
    sys.exit(main())
