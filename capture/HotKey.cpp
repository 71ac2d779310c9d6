#include "capture/HotKey.h"

#include <X11/X.h>
#include <X11/keysym.h>

#include "model/ActionCodes.h"

using codes::IsDigitKey;
using codes::IsFunctionKey;
using codes::IsLetterKey;

bool IsOfferedKey(int vk) {
    return codes::OfferedKeyIndex(vk) >= 0;
}

bool ToX11HotKey(int modifiers, int vk, X11HotKey& key) {
    if (!IsOfferedKey(vk)) return false;
    key.modifiers = 0;
    if (modifiers & codes::kAlt) key.modifiers |= Mod1Mask;
    if (modifiers & codes::kCtrl) key.modifiers |= ControlMask;
    if (modifiers & codes::kShift) key.modifiers |= ShiftMask;
    if (IsDigitKey(vk)) key.keysym = XK_0 + (vk - '0');
    if (IsLetterKey(vk)) key.keysym = XK_a + (vk - 'A');
    if (IsFunctionKey(vk)) key.keysym = XK_F1 + (vk - codes::kKeyF1);
    return true;
}

std::string HotKeyText(int modifiers, int vk) {
    std::string text;
    if (modifiers & codes::kCtrl) text += "Ctrl+";
    if (modifiers & codes::kAlt) text += "Alt+";
    if (modifiers & codes::kShift) text += "Shift+";
    if (vk == 0) return text + "no key";
    if (IsDigitKey(vk) || IsLetterKey(vk)) return text + static_cast<char>(vk);
    if (IsFunctionKey(vk)) return text + "F" + std::to_string(vk - codes::kKeyF1 + 1);
    return text + "key code " + std::to_string(vk);
}
