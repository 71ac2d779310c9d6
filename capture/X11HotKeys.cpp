#include "capture/X11HotKeys.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include "capture/X11Desktop.h"

X11HotKeys::X11HotKeys(X11Desktop& desktop) : desktop_(desktop) {
    numLock_ = NumLockMask();
    // Held keys then repeat as presses alone, which are easy to ignore.
    XkbSetDetectableAutoRepeat(desktop_.display(), True, nullptr);
}

X11HotKeys::~X11HotKeys() {
    UngrabAll();
}

unsigned X11HotKeys::NumLockMask() {
    Display* d = desktop_.display();
    const KeyCode numLock = XKeysymToKeycode(d, XK_Num_Lock);
    XModifierKeymap* map = XGetModifierMapping(d);
    unsigned mask = 0;
    for (int mod = 0; map && numLock && mod < 8; ++mod)
        for (int k = 0; k < map->max_keypermod; ++k)
            if (map->modifiermap[mod * map->max_keypermod + k] == numLock) mask = 1u << mod;
    if (map) XFreeModifiermap(map);
    return mask;
}

void X11HotKeys::GrabCode(unsigned keycode, unsigned modifiers, bool grab) {
    if (keycode == 0) return;  // AnyKey: never ours to grab or let go
    Display* d = desktop_.display();
    const unsigned numLock = numLock_;
    std::vector<unsigned> variants{0, LockMask};
    if (numLock) variants.insert(variants.end(), {numLock, numLock | LockMask});
    for (unsigned locks : variants) {
        if (grab) {
            XGrabKey(d, static_cast<int>(keycode), modifiers | locks, DefaultRootWindow(d), True,
                     GrabModeAsync, GrabModeAsync);
        } else {
            XUngrabKey(d, static_cast<int>(keycode), modifiers | locks, DefaultRootWindow(d));
        }
    }
}

X11HotKeys::GrabResult X11HotKeys::Grab(int id, const X11HotKey& key) {
    const unsigned keycode = XKeysymToKeycode(desktop_.display(), key.keysym);
    if (!keycode) return GrabResult::NoSuchKey;
    desktop_.TakeError();
    GrabCode(keycode, key.modifiers, true);
    if (desktop_.TakeError()) {
        // Another client holds some of the combinations: let ours go too.
        GrabCode(keycode, key.modifiers, false);
        desktop_.TakeError();
        return GrabResult::Taken;
    }
    grabbed_.push_back({id, key, keycode});
    return GrabResult::Grabbed;
}

// Programs such as xdotool change the keyboard mapping all the time, mostly
// of keys nobody uses: only a key whose code, or a NumLock that moved, is
// grabbed again, the new grab before the old one goes, so no press is lost.
void X11HotKeys::Regrab() {
    const unsigned oldNumLock = numLock_;
    const unsigned newNumLock = NumLockMask();
    for (Grabbed& g : grabbed_) {
        const unsigned code = XKeysymToKeycode(desktop_.display(), g.key.keysym);
        if (code == g.keycode && newNumLock == oldNumLock) continue;
        numLock_ = newNumLock;
        if (code) GrabCode(code, g.key.modifiers, true);
        numLock_ = oldNumLock;
        GrabCode(g.keycode, g.key.modifiers, false);
        g.keycode = code;
    }
    numLock_ = newNumLock;
    desktop_.TakeError();
}

void X11HotKeys::UngrabAll() {
    for (const Grabbed& g : grabbed_) GrabCode(g.keycode, g.key.modifiers, false);
    grabbed_.clear();
    heldKeycode_ = 0;
    desktop_.TakeError();
}

void X11HotKeys::ReleaseKeyboard() {
    XUngrabKeyboard(desktop_.display(), CurrentTime);
    XFlush(desktop_.display());
    heldKeycode_ = 0;  // its release now goes elsewhere
}

int X11HotKeys::Descriptor() const {
    return ConnectionNumber(desktop_.display());
}

void X11HotKeys::ProcessEvents(const std::function<void(int id)>& pressed) {
    Display* d = desktop_.display();
    const unsigned relevant = ShiftMask | ControlMask | Mod1Mask;
    while (XPending(d)) {
        XEvent event;
        XNextEvent(d, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            Regrab();
        } else if (event.type == KeyRelease) {
            if (event.xkey.keycode == heldKeycode_) heldKeycode_ = 0;
        } else if (event.type == KeyPress) {
            if (event.xkey.keycode == heldKeycode_) continue;
            for (const Grabbed& g : grabbed_) {
                if (g.keycode == event.xkey.keycode &&
                    (event.xkey.state & relevant) == g.key.modifiers) {
                    heldKeycode_ = g.keycode;
                    pressed(g.id);
                    break;
                }
            }
        }
    }
}
