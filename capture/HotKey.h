// An action's stored hot key (Modifiers, VirtualKey) as this desktop's
// keyboard knows it, and as text for people.
#pragma once

#include <string>

struct X11HotKey {
    unsigned modifiers = 0;    // ControlMask, Mod1Mask (Alt), ShiftMask
    unsigned long keysym = 0;  // XK_0.., XK_a.., XK_F1..
    friend bool operator==(const X11HotKey&, const X11HotKey&) = default;
};

// The key is one of the 48 the editor offers: 0-9, A-Z, F1-F12.
bool IsOfferedKey(int virtualKey);
// False for a key outside the 48.
bool ToX11HotKey(int modifiers, int virtualKey, X11HotKey& key);
// "Ctrl+Shift+F5"; "no key" for 0; "key code 200" for one outside the 48.
std::string HotKeyText(int modifiers, int virtualKey);
