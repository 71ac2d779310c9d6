#include "capture/KdeHotKeys.h"

#include "platform/AppIds.h"

namespace {

constexpr const char* kService = "org.kde.kglobalaccel";
constexpr const char* kPath = "/kglobalaccel";
constexpr const char* kInterface = "org.kde.KGlobalAccel";
// The component's id and the name System Settings shows for it (the
// desktop entry's Name).
constexpr const char* kComponent = platform::kToolAppId;
// The id of older versions: the shortcuts they left behind still hold keys.
constexpr const char* kOldComponent = "lmgrab";
constexpr const char* kComponentName = "Lumagrabber";
// setShortcut's flags: the action is present now, and the keys given are
// the ones to use, not those remembered from an earlier run.
constexpr unsigned kSetPresent = 2, kNoAutoloading = 4;
constexpr int kAnswerMs = 5000;

}  // namespace

std::unique_ptr<KdeHotKeys> KdeHotKeys::Open(std::shared_ptr<BusConnection> bus,
                                             std::string& error) {
    JsonValue answer;
    if (!bus->CallService(kService, kPath, "org.freedesktop.DBus.Peer", "Ping", {}, kAnswerMs,
                          answer, error)) {
        error = "KDE's global shortcut service does not answer (" + error + ")";
        return nullptr;
    }
    if (!bus->AddMatch(std::string("type='signal',interface='org.kde.kglobalaccel.Component',"
                                   "member='globalShortcutPressed',arg0='") +
                           kComponent + "'",
                       error))
        return nullptr;
    return std::unique_ptr<KdeHotKeys>(new KdeHotKeys(std::move(bus)));
}

std::string KdeHotKeys::Holder(int code, bool& oldOwn) {
    oldOwn = false;
    JsonValue answer;
    std::string error;
    if (!bus_->CallService(kService, kPath, kInterface, "getGlobalShortcutsByKey",
                           {BusArg::Int32(code)}, kAnswerMs, answer, error) ||
        answer.items.empty() || answer.items[0].items.empty())
        return "";
    // (action id, its name, component id, component name, context id, ...)
    const JsonValue& info = answer.items[0].items[0];
    if (info.items.size() < 4) return "";
    if (info.items[2].string == kOldComponent) {
        oldOwn = true;
        Unregister(kOldComponent, info.items[0].string);
    }
    return info.items[3].string + " (\"" + info.items[1].string + "\")";
}

void KdeHotKeys::Unregister(const std::string& component, const std::string& name) {
    JsonValue answer;
    std::string error;
    bus_->CallService(kService, kPath, kInterface, "unregister",
                      {BusArg::String(component), BusArg::String(name)}, kAnswerMs, answer, error);
}

bool KdeHotKeys::Register(const HotKeyBinding& k, int code, std::string& error) {
    const BusArg action = BusArg::Strings({kComponent, k.name, kComponentName, k.description});
    JsonValue answer;
    if (!bus_->CallService(kService, kPath, kInterface, "doRegister", {action}, kAnswerMs, answer,
                           error) ||
        !bus_->CallService(
            kService, kPath, kInterface, "setShortcut",
            {action, BusArg::Int32s({code}), BusArg::UInt32(kSetPresent | kNoAutoloading)},
            kAnswerMs, answer, error))
        return false;
    bool bound = false;
    if (!answer.items.empty()) {
        for (const JsonValue& got : answer.items[0].items) bound = bound || got.number == code;
    }
    return bound;
}

std::vector<HotKeys::Outcome> KdeHotKeys::Arm(const std::vector<HotKeyBinding>& keys) {
    std::vector<Outcome> outcomes(keys.size());
    std::map<std::string, HotKeyBinding> armed;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const HotKeyBinding& k = keys[i];
        const int code = QtKeyCode(k.key);
        if (code == 0) {
            outcomes[i] = {GrabResult::NoSuchKey, ""};
            continue;
        }
        if (const auto it = armed_.find(k.name); it != armed_.end() && it->second.key == k.key &&
                                                 it->second.description == k.description) {
            armed[k.name] = k;  // kept as it is: never let go in between
            continue;
        }
        std::string error;
        bool bound = Register(k, code, error);
        if (!error.empty()) {
            outcomes[i] = {GrabResult::Taken, "not bound by KDE: " + error};
            continue;
        }
        std::string holder;
        if (!bound) {
            bool oldOwn = false;
            holder = Holder(code, oldOwn);
            if (oldOwn) bound = Register(k, code, error);  // let go by an older lmgrab
        }
        if (bound) {
            armed[k.name] = k;
        } else {
            // Registered without a key, it would stay listed in System Settings.
            Unregister(kComponent, k.name);
            outcomes[i] = {GrabResult::Taken,
                           holder.empty() ? "refused by KDE" : "held by " + holder + " in KDE"};
        }
    }
    for (const auto& [name, binding] : armed_) {
        if (!armed.count(name)) Unregister(kComponent, name);
    }
    armed_ = std::move(armed);
    return outcomes;
}

void KdeHotKeys::ProcessEvents(const std::function<void(int id)>& pressed) {
    for (const BusMessage& s : bus_->TakeSessionSignals()) {
        if (s.call || s.member != "globalShortcutPressed" || s.args.items.size() < 2 ||
            s.args.items[0].string != kComponent)
            continue;
        if (const auto it = armed_.find(s.args.items[1].string); it != armed_.end())
            pressed(it->second.id);
    }
}
