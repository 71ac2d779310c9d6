// Hot keys grabbed on the X root window: each key with its modifiers, in
// every combination of CapsLock and NumLock, so it fires whatever their
// state. A key another client holds is refused, never fatal. While another
// client holds the whole keyboard (an open menu) passive grabs are silent,
// so raw key events (XInput 2) serve the press then.
#pragma once

#include <deque>
#include <functional>
#include <set>
#include <utility>
#include <vector>

#include "capture/HotKeys.h"

class X11Desktop;
struct _XkbDesc;  // NOLINT(bugprone-reserved-identifier): XKB's own name

class X11HotKeys : public HotKeys {
public:
    explicit X11HotKeys(X11Desktop& desktop);
    ~X11HotKeys() override;

    std::vector<Outcome> Arm(const std::vector<HotKeyBinding>& keys) override;
    void ReleaseKeyboard() override;
    // The connection's descriptor: readable when events wait.
    int Descriptor() const override;
    // Handles the waiting events: pressed(id) for each hot key pressed (a
    // key held down fires once). After a keyboard mapping change the keys
    // are grabbed again where their letters now are.
    void ProcessEvents(const std::function<void(int id)>& pressed) override;

    // What the X server itself does with the key (its XKB action), which
    // then never reaches a program; "" for nothing.
    std::string KeptBySystem(const HotKey& key) override;

private:
    // A hot key as this keyboard has it: X modifier bits and a key symbol.
    struct XKey {
        unsigned modifiers = 0;
        unsigned long keysym = 0;
    };
    static XKey ToXKey(const HotKey& key);
    struct Bound {
        int id;
        XKey key;
        unsigned keycode;
    };
    using Grab = std::pair<unsigned, unsigned>;  // keycode, modifiers with locks
    std::vector<Grab> Variants(unsigned keycode, unsigned modifiers) const;
    std::vector<Outcome> Apply(const std::vector<HotKeyBinding>& keys);
    void ReadKeyboard();
    bool Matches(unsigned keycode, unsigned state, int& id) const;
    // A hot key's raw press, from XInput 2, with the modifiers held then.
    struct RawPress {
        int id;
        unsigned keycode;
        unsigned long time;
    };
    // Follows the modifier keys; true with the press when cookie is a hot key's.
    bool TakeRawEvent(void* cookie, RawPress& press);

    X11Desktop& desktop_;
    std::vector<HotKeyBinding> wanted_;  // as last asked, to re-arm after mapping changes
    std::vector<Bound> bound_;
    std::set<Grab> held_;       // the grabs the server holds for us
    unsigned numLock_ = 0;      // NumLock's modifier bit
    unsigned heldKeycode_ = 0;  // a hot key now down; its repeats do not fire
    _XkbDesc* xkb_ = nullptr;   // NOLINT(bugprone-reserved-identifier)            // the keyboard's
                                // map, for what the server keeps
    int xiOpcode_ = -1;         // XInput 2, for raw key events; -1 without it
    std::vector<unsigned> modifierBit_;  // per keycode: Shift, Control or Alt
    std::set<unsigned> modifiersDown_;   // modifier keys down, from raw events
    std::deque<std::pair<unsigned, unsigned long>> servedByGrab_;  // keycode, time
};
