#!/usr/bin/env python3
"""A GTK 4 window standing in for the file manager on Wayland.

It exports its window through xdg-foreign, prints "handle HANDLE", then
reads commands from standard input, one a line:
  show URI   ShowFile(URI, "wayland:HANDLE", false) on the previewer service
  show-as WINDOW URI   the same with the window handle WINDOW
  close      Close() on it
and prints "done COMMAND" once the service has answered. It ends when its
input ends.
"""
import sys

import gi

gi.require_version("Gtk", "4.0")
gi.require_version("GdkWayland", "4.0")
from gi.repository import GdkWayland, Gio, GLib, Gtk  # noqa: E402

BUS_NAME = "org.gnome.NautilusPreviewer"
PATH = "/org/gnome/NautilusPreviewer"
INTERFACE = "org.gnome.NautilusPreviewer2"


def say(line):
    print(line, flush=True)


class FileManager:
    def __init__(self, app):
        self.app = app
        self.handle = None
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION)
        self.window = Gtk.ApplicationWindow(application=app, title="Files")
        self.window.set_default_size(800, 600)
        self.window.connect("map", self.on_map)
        self.window.present()
        GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()),
                          GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP, self.on_input)

    def on_map(self, window):
        surface = window.get_surface()
        if not isinstance(surface, GdkWayland.WaylandToplevel):
            say("error: not a Wayland toplevel")
            self.app.quit()
            return
        surface.export_handle(self.on_exported)

    def on_exported(self, toplevel, handle, *_):
        self.handle = handle
        say(f"handle {handle}")

    def call(self, method, args):
        self.bus.call_sync(BUS_NAME, PATH, INTERFACE, method, args, None,
                           Gio.DBusCallFlags.NONE, 30000, None)

    def on_input(self, channel, condition):
        line = sys.stdin.readline()
        if not line:
            self.app.quit()
            return False
        command, _, argument = line.strip().partition(" ")
        try:
            if command == "show":
                self.call("ShowFile", GLib.Variant("(ssb)", (argument, f"wayland:{self.handle}", False)))
            elif command == "show-as":
                window, _, uri = argument.partition(" ")
                self.call("ShowFile", GLib.Variant("(ssb)", (uri, window, False)))
            elif command == "close":
                self.call("Close", None)
            say(f"done {command}")
        except GLib.Error as error:
            say(f"error: {error.message}")
        return True


def main():
    app = Gtk.Application(application_id="org.orvanta.TestFileManager",
                          flags=Gio.ApplicationFlags.NON_UNIQUE)
    keep = []
    app.connect("activate", lambda a: keep.append(FileManager(a)))
    return app.run([])


if __name__ == "__main__":
    sys.exit(main())
