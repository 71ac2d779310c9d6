// What the running tool needs of global hot keys, as a small interface:
// X11 key grabs in X11HotKeys; a portal's shortcuts could stand here too
// (docs/WAYLAND.md).
#pragma once

#include <functional>

#include "capture/HotKey.h"

class HotKeys {
public:
    enum class GrabResult { Grabbed, Taken, NoSuchKey };

    virtual ~HotKeys() = default;
    virtual GrabResult Grab(int id, const X11HotKey& key) = 0;
    virtual void UngrabAll() = 0;
    // Lets go of the keyboard a hot key's press holds until its release,
    // before anything else asks for input.
    virtual void ReleaseKeyboard() = 0;
    // A descriptor that turns readable when presses may wait.
    virtual int Descriptor() const = 0;
    // pressed(id) for each hot key pressed since the last call.
    virtual void ProcessEvents(const std::function<void(int id)>& pressed) = 0;
};
