#include "capture/PortalHotKeys.h"

namespace {

constexpr const char* kShortcuts = "org.freedesktop.portal.GlobalShortcuts";
constexpr int kAnswerMs = 5000;
// Binding may show the person a dialog: give them time.
constexpr int kBindMs = 120000;

bool SameBindings(const std::vector<HotKeyBinding>& a, const std::vector<HotKeyBinding>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].id != b[i].id || !(a[i].key == b[i].key) || a[i].name != b[i].name ||
            a[i].description != b[i].description)
            return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<PortalHotKeys> PortalHotKeys::Open(std::shared_ptr<BusConnection> bus,
                                                   std::string& error) {
    if (bus->Version(kShortcuts) == 0) {
        error = "the desktop portal offers no global shortcuts";
        return nullptr;
    }
    return std::unique_ptr<PortalHotKeys>(new PortalHotKeys(std::move(bus)));
}

PortalHotKeys::~PortalHotKeys() {
    CloseSession();
}

void PortalHotKeys::CloseSession() {
    if (session_.empty()) return;
    JsonValue answer;
    std::string error;
    bus_->CallPlain(session_, "org.freedesktop.portal.Session", "Close", {}, kAnswerMs, answer,
                    error);
    session_.clear();
}

std::vector<HotKeys::Outcome> PortalHotKeys::Arm(const std::vector<HotKeyBinding>& keys) {
    if (SameBindings(keys, bound_) && (!session_.empty() || keys.empty())) return outcomes_;
    CloseSession();
    bound_ = keys;
    ids_.clear();
    outcomes_.assign(keys.size(), {GrabResult::Taken, "not bound by the desktop"});
    if (keys.empty()) return outcomes_;

    std::string error;
    JsonValue results;
    const BusArg options = BusArg::Options({{"session_handle_token", bus_->Token()}});
    if (!bus_->Call(kShortcuts, "CreateSession", {options}, kAnswerMs, results, error)) {
        for (Outcome& o : outcomes_) o.detail = "refused by the desktop portal (" + error + ")";
        return outcomes_;
    }
    session_ = results["session_handle"].string;

    BusArg shortcuts = BusArg::Shortcuts({});
    for (const HotKeyBinding& k : keys) {
        const std::string trigger = DesktopKeyText(k.key, KeyStyle::Portal);
        if (trigger.empty()) {
            outcomes_[static_cast<std::size_t>(&k - keys.data())] = {GrabResult::NoSuchKey, ""};
            continue;
        }
        ids_[k.name] = k.id;
        shortcuts.shortcuts.push_back(
            {k.name, {{"description", k.description}, {"preferred_trigger", trigger}}});
    }
    const std::vector<BusArg> args{BusArg::Path(session_), shortcuts, BusArg::String(""),
                                   BusArg::Options()};
    // GNOME 48 answers "other" also when the person added the shortcuts:
    // the ones it lists as bound are.
    if (!bus_->Call(kShortcuts, "BindShortcuts", args, kBindMs, results, error) &&
        results["shortcuts"].items.empty()) {
        if (!bus_->AppIdProblem().empty()) error += "; " + bus_->AppIdProblem();
        for (Outcome& o : outcomes_) o.detail = "not bound: " + error;
        return outcomes_;
    }
    for (const JsonValue& bound : results["shortcuts"].items) {
        if (bound.items.size() < 2) continue;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (keys[i].name != bound.items[0].string) continue;
            // Said only where the desktop chose another key than the stored one.
            const std::string& trigger = bound.items[1]["trigger_description"].string;
            outcomes_[i] = {GrabResult::Grabbed, DescribesKey(trigger, keys[i].key) ? "" : trigger};
        }
    }
    return outcomes_;
}

void PortalHotKeys::ProcessEvents(const std::function<void(int id)>& pressed) {
    for (const BusMessage& s : bus_->TakeSessionSignals()) {
        if (s.member != "Activated" || s.interface != kShortcuts || s.args.items.size() < 2 ||
            s.args.items[0].string != session_)
            continue;
        if (const auto it = ids_.find(s.args.items[1].string); it != ids_.end())
            pressed(it->second);
    }
}
