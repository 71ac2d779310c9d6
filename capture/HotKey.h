// An action's stored hot key, and as text for people.
#pragma once

#include <string>

// A hot key as the editor stores it: Modifiers bits (Alt, Ctrl, Shift)
// and a VirtualKey; each desktop's back end turns it into its own keys.
struct HotKey {
    int modifiers = 0;
    int virtualKey = 0;
    friend bool operator==(const HotKey&, const HotKey&) = default;
};

// The key is one of the 48 the editor offers: 0-9, A-Z, F1-F12.
bool IsOfferedKey(int virtualKey);
// "Ctrl+Shift+F5"; "no key" for 0; "key code 200" for one outside the 48.
std::string HotKeyText(int modifiers, int virtualKey);

// The key as each desktop's own configuration writes it.
enum class KeyStyle {
    Sway,      // Ctrl+Alt+Shift+a
    Gnome,     // <Ctrl><Alt><Shift>a
    Hyprland,  // CTRL ALT SHIFT, a
    Kde,       // Ctrl+Alt+Shift+A
    Portal,    // CTRL+ALT+SHIFT+a, as the shortcuts of the desktop portal
};
// "" for a key outside the 48 offered.
std::string DesktopKeyText(const HotKey& key, KeyStyle style);
// Whether a desktop's description of a trigger ("Press <Control>F5",
// "Ctrl+F5", "CTRL+F5") names key, whatever the desktop's words.
bool DescribesKey(const std::string& description, const HotKey& key);
// The key as a Qt key code with its modifiers (KDE's global shortcuts);
// 0 for a key outside the 48 offered.
int QtKeyCode(const HotKey& key);
