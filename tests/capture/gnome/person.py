#!/usr/bin/python3
"""What a person does on a headless GNOME Shell, for the tests: keys and
clicks through Mutter's remote-desktop interface, and a look at the screen
through GNOME Shell's own screenshot (which serves names it trusts, such as
org.gnome.Screenshot). Keys are X keysyms in hex, held together with "+".

    person.py keys ff1b ffe3+ffc2     Escape, then Ctrl+F5
    person.py click X Y W H           a left click at (X, Y) of a W x H screen
    person.py press-suggested         a click on the blue button of a dialog
                                      (GNOME's "suggested action": Add, Allow)
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
    session.NotifyPointerMotionRelative(float(x - width + 1), float(y - height + 1))
    session.NotifyPointerButton(BUTTON_LEFT, True)
    time.sleep(0.1)
    session.NotifyPointerButton(BUTTON_LEFT, False)


def screenshot(bus, path):
    bus.request_name("org.gnome.Screenshot")
    shell = bus.get_object("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot")
    done, _ = shell.Screenshot(False, False, path, dbus_interface="org.gnome.Shell.Screenshot")
    return bool(done)


def suggested_button(path):
    """The middle of the pixels of GNOME's blue accent (#3584e4) and the
    screen's size, or None."""
    image = Image.open(path).convert("RGB")
    width, height = image.size
    pixels = image.load()
    xs, ys = [], []
    for y in range(0, height, 2):
        for x in range(0, width, 2):
            r, g, b = pixels[x, y]
            if abs(r - 0x35) < 16 and abs(g - 0x84) < 16 and abs(b - 0xE4) < 16:
                xs.append(x)
                ys.append(y)
    if len(xs) < 50:
        return None
    xs.sort()
    ys.sort()
    return xs[len(xs) // 2], ys[len(ys) // 2], width, height


def main():
    bus = dbus.SessionBus()
    if sys.argv[1] == "screenshot":
        return 0 if screenshot(bus, sys.argv[2]) else 1
    if sys.argv[1] == "press-suggested":
        folder = tempfile.mkdtemp()
        shot = os.path.join(folder, "screen.png")
        if not screenshot(bus, shot):
            return 1
        place = suggested_button(shot)
        os.unlink(shot)
        os.rmdir(folder)
        if place is None:
            print("no suggested button on the screen", file=sys.stderr)
            return 1
        session = remote_session(bus)
        click(session, *place)
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
