#!/usr/bin/python3
"""What a person does on a headless GNOME Shell, for the tests: keys and
clicks through Mutter's remote-desktop interface, and a look at the screen
through GNOME Shell's own screenshot (which serves names it trusts, such as
org.gnome.Screenshot). Keys are X keysyms in hex, held together with "+".

    person.py keys ff1b ffe3+ffc2     Escape, then Ctrl+F5
    person.py click X Y W H           a left click at (X, Y) of a W x H screen
    person.py press-suggested         a click on the blue button of a dialog
                                      (GNOME's "suggested action": Add, Allow)
    person.py leave-overview          waits for the overview GNOME opens at
                                      start, and leaves it
    person.py screenshot FILE         the screen as a PNG file
"""
import os
import sys
import tempfile
import time

import dbus
from PIL import Image

MUTTER = "org.gnome.Mutter.RemoteDesktop"
BUTTON_LEFT = 0x110


def remote_session(bus):
    desktop = bus.get_object(MUTTER, "/org/gnome/Mutter/RemoteDesktop")
    path = desktop.CreateSession(dbus_interface=MUTTER)
    session = dbus.Interface(bus.get_object(MUTTER, path), MUTTER + ".Session")
    session.Start()
    return session


def keys(session, combos):
    for combo in combos:
        syms = [dbus.UInt32(int(k, 16)) for k in combo.split("+")]
        for sym in syms:
            session.NotifyKeyboardKeysym(sym, True)
        for sym in reversed(syms):
            session.NotifyKeyboardKeysym(sym, False)


def click(session, x, y, width, height):
    # Without a screen-cast stream the pointer moves only by steps: to a
    # corner first, where it stops, then to the place. The bottom right one:
    # the top left one opens GNOME's overview.
    session.NotifyPointerMotionRelative(100000.0, 100000.0)
    session.NotifyPointerMotionRelative(float(x - width), float(y - height))
    # A step over the place itself, so that the window under it takes the
    # pointer (a jump lands there without the window knowing), then a while
    # for a busy machine before the press.
    time.sleep(0.3)
    session.NotifyPointerMotionRelative(1.0, 1.0)
    time.sleep(0.5)
    session.NotifyPointerButton(BUTTON_LEFT, True)
    time.sleep(0.15)
    session.NotifyPointerButton(BUTTON_LEFT, False)


def screenshot(bus, path):
    bus.request_name("org.gnome.Screenshot")
    shell = bus.get_object("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot")
    done, _ = shell.Screenshot(False, False, path, dbus_interface="org.gnome.Shell.Screenshot")
    return bool(done)


def suggested_button(path):
    """The middle of GNOME's blue button of a dialog (solid #3584e4, wider
    than an icon's stripes) and the screen's size, or None."""
    image = Image.open(path).convert("RGB")
    width, height = image.size
    pixels = image.load()
    centres = []
    for y in range(height):
        run = 0
        for x in range(width + 1):
            r, g, b = pixels[x, y] if x < width else (0, 0, 0)
            if abs(r - 0x35) < 8 and abs(g - 0x84) < 8 and abs(b - 0xE4) < 8:
                run += 1
                continue
            if run >= 40:
                centres.append((x - run // 2, y))
            run = 0
    if len(centres) < 5:
        return None
    centres.sort(key=lambda c: c[1])
    x, y = centres[len(centres) // 2]
    return x, y, width, height


def overview_active(bus):
    shell = bus.get_object("org.gnome.Shell", "/org/gnome/Shell")
    return bool(shell.Get("org.gnome.Shell", "OverviewActive",
                          dbus_interface="org.freedesktop.DBus.Properties"))


def leave_overview(bus):
    """GNOME opens its overview once it has started: waits for it (a few
    seconds at most) and leaves it with Escape, as a person would."""
    deadline = time.monotonic() + 15
    while not overview_active(bus):
        if time.monotonic() > deadline:
            return True
        time.sleep(0.1)
    session = remote_session(bus)
    while overview_active(bus):
        if time.monotonic() > deadline + 15:
            return False
        keys(session, ["ff1b"])
        time.sleep(0.5)
    session.Stop()
    return True


def main():
    bus = dbus.SessionBus()
    if sys.argv[1] == "screenshot":
        return 0 if screenshot(bus, sys.argv[2]) else 1
    if sys.argv[1] == "leave-overview":
        return 0 if leave_overview(bus) else 1
    if sys.argv[1] == "press-suggested":
        # Twice, a moment apart: a dialog still opening (GNOME animates it)
        # is not yet where a click would meet it.
        places = []
        folder = tempfile.mkdtemp()
        for _ in range(2):
            shot = os.path.join(folder, "screen.png")
            if not screenshot(bus, shot):
                return 1
            places.append(suggested_button(shot))
            os.unlink(shot)
            time.sleep(0.3)
        os.rmdir(folder)
        if places[0] is None or places[0] != places[1]:
            print("no suggested button stands on the screen", file=sys.stderr)
            return 1
        session = remote_session(bus)
        click(session, *places[0])
    else:
        session = remote_session(bus)
    if sys.argv[1] == "keys":
        keys(session, sys.argv[2:])
    elif sys.argv[1] == "click":
        click(session, *[int(a) for a in sys.argv[2:6]])
    time.sleep(0.3)  # the compositor takes the events before the session ends
    session.Stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
