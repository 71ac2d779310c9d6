// Hot keys grabbed on the X root window: each key with its modifiers, in
// every combination of CapsLock and NumLock, so it fires whatever their
// state. A key another client holds is refused, never fatal.
#pragma once

#include <functional>
#include <vector>

#include "capture/HotKeys.h"

class X11Desktop;

class X11HotKeys : public HotKeys {
public:
    explicit X11HotKeys(X11Desktop& desktop);
    ~X11HotKeys() override;

    GrabResult Grab(int id, const X11HotKey& key) override;
    void UngrabAll() override;

    // Lets go of the keyboard a hot key's press holds until its release,
    // before anything else asks for input.
    void ReleaseKeyboard() override;

    // The connection's descriptor: readable when events wait.
    int Descriptor() const override;
    // Handles the waiting events: pressed(id) for each hot key pressed (a
    // key held down fires once). After a keyboard mapping change the keys
    // are grabbed again.
    void ProcessEvents(const std::function<void(int id)>& pressed) override;

private:
    struct Grabbed {
        int id;
        X11HotKey key;
        unsigned keycode;
    };
    void GrabCode(unsigned keycode, unsigned modifiers, bool grab);
    void Regrab();
    unsigned NumLockMask();

    X11Desktop& desktop_;
    std::vector<Grabbed> grabbed_;
    unsigned numLock_ = 0;      // NumLock's modifier bit, as the keys were grabbed
    unsigned heldKeycode_ = 0;  // a hot key now down; its repeats do not fire
};
