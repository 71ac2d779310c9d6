#include "capture/HotKey.h"

#include "model/ActionCodes.h"

using codes::IsDigitKey;
using codes::IsFunctionKey;
using codes::IsLetterKey;

bool IsOfferedKey(int vk) {
    return codes::OfferedKeyIndex(vk) >= 0;
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
