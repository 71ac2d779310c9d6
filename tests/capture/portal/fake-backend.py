#!/usr/bin/python3
"""A desktop portal back end of the tests' own, served to the real
xdg-desktop-portal frontend on a private session bus: global shortcuts
that log what they are asked to bind and fire Activated when told
(org.lgtest.Control.Press), screenshots of a painted 640 x 480 picture, and
an access dialog that always allows.

    fake-backend.py LOG_FILE PICTURE_FOLDER
"""
import struct
import sys
import zlib

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.impl.portal.desktop.lgtest"
PATH = "/org/freedesktop/portal/desktop"
SHORTCUTS = "org.freedesktop.impl.portal.GlobalShortcuts"
SCREENSHOT = "org.freedesktop.impl.portal.Screenshot"
ACCESS = "org.freedesktop.impl.portal.Access"
WIDTH, HEIGHT = 640, 480


def painted_png():
    """Pixel (x, y) is (x % 256, y % 256, (x + y) % 256); each row filtered
    by Sub, so that a reader must undo a filter."""
    rows = bytearray()
    for y in range(HEIGHT):
        rows.append(1)
        previous = (0, 0, 0)
        for x in range(WIDTH):
            pixel = (x % 256, y % 256, (x + y) % 256)
            rows.extend((p - q) % 256 for p, q in zip(pixel, previous))
            previous = pixel
    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(rows))) + chunk(b"IEND", b""))


class Session(dbus.service.Object):
    """What the frontend closes when the client closes its session."""

    @dbus.service.method("org.freedesktop.impl.portal.Session", in_signature="", out_signature="")
    def Close(self):
        self.remove_from_connection()


class Backend(dbus.service.Object):
    def __init__(self, bus, log, folder):
        super().__init__(bus, PATH)
        self.log, self.folder, self.shots = log, folder, 0
        self.sessions = []

    def say(self, line):
        with open(self.log, "a") as f:
            f.write(line + "\n")

    @dbus.service.method(SHORTCUTS, in_signature="oosa{sv}", out_signature="ua{sv}")
    def CreateSession(self, handle, session, app_id, options):
        self.sessions.append(str(session))
        Session(self.connection, session)
        self.say("session %d for '%s'" % (len(self.sessions), app_id))
        return 0, {"session_id": "lgtest"}

    @dbus.service.method(SHORTCUTS, in_signature="ooa(sa{sv})sa{sv}", out_signature="ua{sv}")
    def BindShortcuts(self, handle, session, shortcuts, parent, options):
        bound = []
        for shortcut_id, props in shortcuts:
            trigger = str(props.get("preferred_trigger", ""))
            self.say("bind %s [%s] %s" % (shortcut_id, trigger, props.get("description", "")))
            # The desktop chooses for itself: F12 is its own, so it gives F11.
            shown = trigger.replace("F12", "F11")
            details = {"description": props.get("description", ""),
                       "trigger_description": shown}
            bound.append(dbus.Struct((shortcut_id, dbus.Dictionary(details, signature="sv")),
                                     signature="sa{sv}"))
        # As GNOME 48 does: "other" for the answer, yet the shortcuts bound.
        return 2, {"shortcuts": dbus.Array(bound, signature="(sa{sv})")}

    @dbus.service.method(SHORTCUTS, in_signature="oo", out_signature="ua{sv}")
    def ListShortcuts(self, handle, session):
        return 0, {"shortcuts": dbus.Array([], signature="(sa{sv})")}

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session, shortcut_id, timestamp, options):
        pass

    @dbus.service.method("org.lgtest.Control", in_signature="s")
    def Press(self, shortcut_id):
        self.Activated(self.sessions[-1], shortcut_id, dbus.UInt64(0),
                       dbus.Dictionary({}, signature="sv"))

    @dbus.service.method(SCREENSHOT, in_signature="ossa{sv}", out_signature="ua{sv}")
    def Screenshot(self, handle, app_id, parent, options):
        self.shots += 1
        path = "%s/portal-shot-%d.png" % (self.folder, self.shots)
        with open(path, "wb") as f:
            f.write(painted_png())
        self.say("screenshot interactive=%s" % bool(options.get("interactive", True)))
        return 0, {"uri": "file://" + path}

    @dbus.service.method(ACCESS, in_signature="osssssa{sv}", out_signature="ua{sv}")
    def AccessDialog(self, handle, app_id, parent, title, subtitle, body, options):
        self.say("access asked for %s" % app_id)
        return 0, {}

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return dbus.UInt32(1)

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {"version": dbus.UInt32(1)}


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    backend = Backend(bus, sys.argv[1], sys.argv[2])
    name = dbus.service.BusName(NAME, bus)
    backend.say("ready")
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
