#include "capture/HotKey.h"

#include <X11/X.h>
#include <X11/keysym.h>

#include "model/ActionCodes.h"

namespace {

constexpr int kF1 = 112, kF12 = 123;

bool IsDigit(int vk) {
    return vk >= '0' && vk <= '9';
}
bool IsLetter(int vk) {
    return vk >= 'A' && vk <= 'Z';
}

}  // namespace

bool IsOfferedKey(int vk) {
    return IsDigit(vk) || IsLetter(vk) || (vk >= kF1 && vk <= kF12);
}

bool ToX11HotKey(int modifiers, int vk, X11HotKey& key) {
    if (!IsOfferedKey(vk)) return false;
    key.modifiers = 0;
    if (modifiers & codes::kAlt) key.modifiers |= Mod1Mask;
    if (modifiers & codes::kCtrl) key.modifiers |= ControlMask;
    if (modifiers & codes::kShift) key.modifiers |= ShiftMask;
    if (IsDigit(vk)) key.keysym = XK_0 + (vk - '0');
    if (IsLetter(vk)) key.keysym = XK_a + (vk - 'A');
    if (vk >= kF1) key.keysym = XK_F1 + (vk - kF1);
    return true;
}

std::string HotKeyText(int modifiers, int vk) {
    std::string text;
    if (modifiers & codes::kCtrl) text += "Ctrl+";
    if (modifiers & codes::kAlt) text += "Alt+";
    if (modifiers & codes::kShift) text += "Shift+";
    if (vk == 0) return text + "no key";
    if (IsDigit(vk) || IsLetter(vk)) return text + static_cast<char>(vk);
    if (vk >= kF1 && vk <= kF12) return text + "F" + std::to_string(vk - kF1 + 1);
    return text + "key code " + std::to_string(vk);
}
