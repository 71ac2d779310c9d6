#include "capture/HotKey.h"

#include <cctype>
#include <set>
#include <sstream>
#include <vector>

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

std::string DesktopKeyText(const HotKey& key, KeyStyle style) {
    struct Style {
        const char* ctrl;
        const char* alt;
        const char* shift;
        const char* beforeKey;  // after the last modifier
        bool lowerCase;         // letters as the unshifted key's name
    };
    static constexpr Style kStyles[] = {
        {"Ctrl+", "Alt+", "Shift+", "", true},   {"<Ctrl>", "<Alt>", "<Shift>", "", true},
        {"CTRL ", "ALT ", "SHIFT ", ", ", true}, {"Ctrl+", "Alt+", "Shift+", "", false},
        {"CTRL+", "ALT+", "SHIFT+", "", true},
    };
    const Style& s = kStyles[static_cast<int>(style)];
    const int vk = key.virtualKey;
    if (!IsOfferedKey(vk)) return "";
    std::string text;
    if (key.modifiers & codes::kCtrl) text += s.ctrl;
    if (key.modifiers & codes::kAlt) text += s.alt;
    if (key.modifiers & codes::kShift) text += s.shift;
    if (style == KeyStyle::Hyprland && !text.empty()) text.pop_back();  // "CTRL SHIFT, a"
    text += s.beforeKey;
    if (IsFunctionKey(vk)) return text + "F" + std::to_string(vk - codes::kKeyF1 + 1);
    return text + static_cast<char>(s.lowerCase && IsLetterKey(vk) ? vk - 'A' + 'a' : vk);
}

int QtKeyCode(const HotKey& key) {
    // Qt's numbering, which KDE's global shortcuts speak: digits and capital
    // letters are their ASCII codes, F1 is 0x01000030, modifiers high bits.
    constexpr int kQtF1 = 0x01000030, kQtShift = 0x02000000, kQtCtrl = 0x04000000,
                  kQtAlt = 0x08000000;
    const int vk = key.virtualKey;
    if (!IsOfferedKey(vk)) return 0;
    int code = IsFunctionKey(vk) ? kQtF1 + (vk - codes::kKeyF1) : vk;
    if (key.modifiers & codes::kCtrl) code |= kQtCtrl;
    if (key.modifiers & codes::kAlt) code |= kQtAlt;
    if (key.modifiers & codes::kShift) code |= kQtShift;
    return code;
}

namespace {

// The words of a key text, lower case, with the desktops' names of a
// modifier made one: "press <control>f5" -> {"ctrl"} and "f5".
bool KeyWords(const std::string& text, std::set<std::string>& modifiers, std::string& key) {
    std::string words;
    for (const char c : text) {
        const bool apart = c == '<' || c == '>' || c == '+' || c == ',';
        words += apart ? ' ' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::vector<std::string> all;
    std::istringstream in(words);
    for (std::string word; in >> word;) all.push_back(word);
    if (!all.empty() && all.front() == "press") all.erase(all.begin());
    if (all.empty()) return false;
    key = all.back();
    all.pop_back();
    for (std::string m : all) {
        if (m == "control" || m == "primary") m = "ctrl";
        if (m == "mod1") m = "alt";
        modifiers.insert(m);
    }
    return true;
}

}  // namespace

bool DescribesKey(const std::string& description, const HotKey& key) {
    std::set<std::string> said, ours;
    std::string saidKey, ourKey;
    return KeyWords(description, said, saidKey) &&
           KeyWords(DesktopKeyText(key, KeyStyle::Portal), ours, ourKey) && said == ours &&
           saidKey == ourKey;
}
