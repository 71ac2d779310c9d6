// What the running tool needs of global hot keys, as a small interface:
// X11 key grabs in X11HotKeys; a portal's shortcuts could stand here too
// (docs/WAYLAND.md).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "capture/HotKey.h"

struct HotKeyBinding {
    int id = 0;
    HotKey key;
    // For desktops that list the shortcuts of a program: a name that stays
    // the action's ("Action3"), and what it does.
    std::string name, description;
};

class HotKeys {
public:
    enum class GrabResult { Grabbed, Taken, NoSuchKey, KeptByServer };
    struct Outcome {
        GrabResult result = GrabResult::Grabbed;
        // KeptByServer: what the server does instead; Taken: by whom, where
        // the desktop says; Grabbed: the keys the desktop really bound,
        // where it chooses them itself.
        std::string detail;
    };

    virtual ~HotKeys() = default;
    // Makes these the armed keys, one outcome each. A key armed before and
    // still wanted stays armed throughout; new keys are armed before the
    // ones that go are let go, so no press of a kept key is ever lost.
    virtual std::vector<Outcome> Arm(const std::vector<HotKeyBinding>& keys) = 0;
    void Disarm() { Arm({}); }
    // Lets go of the keyboard a hot key's press holds until its release,
    // before anything else asks for input.
    virtual void ReleaseKeyboard() = 0;
    // A descriptor that turns readable when presses may wait.
    virtual int Descriptor() const = 0;
    // pressed(id) for each hot key pressed since the last call.
    virtual void ProcessEvents(const std::function<void(int id)>& pressed) = 0;
    // What the system itself does with a key, which then never reaches a
    // program ("switches to virtual terminal 1"); "" for nothing.
    virtual std::string KeptBySystem(const HotKey& /*key*/) { return ""; }
};
