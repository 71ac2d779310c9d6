#include "capture/X11HotKeys.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

#include <algorithm>

#include "capture/X11Desktop.h"
#include "model/ActionCodes.h"

namespace {

constexpr unsigned kRelevant = ShiftMask | ControlMask | Mod1Mask;
constexpr std::size_t kGrabMemory = 64;  // presses the grab served, for telling raw twins

}  // namespace

X11HotKeys::X11HotKeys(X11Desktop& desktop) : desktop_(desktop) {
    Display* d = desktop_.display();
    // Held keys then repeat as presses alone, which are easy to ignore.
    XkbSetDetectableAutoRepeat(d, True, nullptr);
    int event = 0, error = 0, major = 2, minor = 2;
    // Raw events reach us during another client's grab from XInput 2.1 on.
    if (XQueryExtension(d, "XInputExtension", &xiOpcode_, &event, &error) &&
        XIQueryVersion(d, &major, &minor) == Success && (major > 2 || minor >= 1)) {
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(bits, XI_RawKeyPress);
        XISetMask(bits, XI_RawKeyRelease);
        XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
        XISelectEvents(d, DefaultRootWindow(d), &mask, 1);
    } else {
        xiOpcode_ = -1;
    }
    ReadKeyboard();
}

X11HotKeys::~X11HotKeys() {
    Disarm();
    if (xkb_) XkbFreeKeyboard(xkb_, 0, True);
}

// NumLock's bit, which modifier key does what, and the server's own key
// actions, as the keyboard is mapped now.
void X11HotKeys::ReadKeyboard() {
    Display* d = desktop_.display();
    const KeyCode numLock = XKeysymToKeycode(d, XK_Num_Lock);
    numLock_ = 0;
    modifierBit_.assign(256, 0);
    if (XModifierKeymap* map = XGetModifierMapping(d)) {
        for (int mod = 0; mod < 8; ++mod) {
            for (int k = 0; k < map->max_keypermod; ++k) {
                const KeyCode code = map->modifiermap[mod * map->max_keypermod + k];
                if (!code) continue;
                if (code == numLock) numLock_ = 1u << mod;
                if ((1u << mod) & kRelevant) modifierBit_[code] |= 1u << mod;
            }
        }
        XFreeModifiermap(map);
    }
    if (xkb_) XkbFreeKeyboard(xkb_, 0, True);
    xkb_ = XkbGetMap(d, XkbKeyTypesMask | XkbKeySymsMask | XkbKeyActionsMask, XkbUseCoreKbd);
}

X11HotKeys::XKey X11HotKeys::ToXKey(const HotKey& key) {
    XKey x;
    if (key.modifiers & codes::kAlt) x.modifiers |= Mod1Mask;
    if (key.modifiers & codes::kCtrl) x.modifiers |= ControlMask;
    if (key.modifiers & codes::kShift) x.modifiers |= ShiftMask;
    const int vk = key.virtualKey;
    if (codes::IsDigitKey(vk)) x.keysym = XK_0 + (vk - '0');
    if (codes::IsLetterKey(vk)) x.keysym = XK_a + (vk - 'A');
    if (codes::IsFunctionKey(vk)) x.keysym = XK_F1 + (vk - codes::kKeyF1);
    return x;
}

std::string X11HotKeys::KeptBySystem(const HotKey& hotKey) {
    const XKey key = ToXKey(hotKey);
    const unsigned code = XKeysymToKeycode(desktop_.display(), key.keysym);
    if (!xkb_ || !code || code < xkb_->min_key_code || code > xkb_->max_key_code ||
        !XkbKeyHasActions(xkb_, code) || XkbKeyNumGroups(xkb_, code) < 1)
        return "";
    const XkbKeyTypePtr type = XkbKeyKeyType(xkb_, code, 0);
    int level = 0;
    for (int i = 0; i < type->map_count; ++i) {
        const XkbKTMapEntryRec& entry = type->map[i];
        if (entry.active && (key.modifiers & type->mods.mask) == entry.mods.mask) {
            level = entry.level;
            break;
        }
    }
    if (level >= XkbKeyGroupsWidth(xkb_, code)) return "";
    const XkbAction* action = XkbKeyActionEntry(xkb_, code, level, 0);
    if (!action) return "";
    if (action->type == XkbSA_SwitchScreen) {
        const int screen = XkbSAScreen(&action->screen);
        return (action->screen.flags & XkbSA_SwitchAbsolute)
                   ? "switches to virtual terminal " + std::to_string(screen)
                   : "switches virtual terminals";
    }
    if (action->type == XkbSA_Terminate) return "ends the X server";
    return "";
}

std::vector<X11HotKeys::Grab> X11HotKeys::Variants(unsigned keycode, unsigned modifiers) const {
    std::vector<Grab> out{{keycode, modifiers}, {keycode, modifiers | LockMask}};
    if (numLock_)
        out.insert(out.end(),
                   {{keycode, modifiers | numLock_}, {keycode, modifiers | numLock_ | LockMask}});
    return out;
}

std::vector<HotKeys::Outcome> X11HotKeys::Arm(const std::vector<HotKeyBinding>& keys) {
    wanted_ = keys;
    return Apply(keys);
}

// Grabs what is wanted and not yet held, then lets go of what is held and
// no longer wanted: a grab the two share is never let go in between.
std::vector<HotKeys::Outcome> X11HotKeys::Apply(const std::vector<HotKeyBinding>& keys) {
    Display* d = desktop_.display();
    const Window root = DefaultRootWindow(d);
    std::vector<Outcome> outcomes(keys.size());
    std::set<Grab> keep;
    std::vector<Bound> bound;
    desktop_.TakeError();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const XKey key = ToXKey(keys[i].key);
        const unsigned code = key.keysym ? XKeysymToKeycode(d, key.keysym) : 0;
        if (!code) {
            outcomes[i].result = GrabResult::NoSuchKey;
            continue;
        }
        if (std::string what = KeptBySystem(keys[i].key); !what.empty()) {
            outcomes[i] = {GrabResult::KeptByServer, what};
            continue;
        }
        std::vector<Grab> added;
        for (const Grab& g : Variants(code, key.modifiers)) {
            if (held_.count(g) || keep.count(g)) continue;
            XGrabKey(d, static_cast<int>(g.first), g.second, root, True, GrabModeAsync,
                     GrabModeAsync);
            added.push_back(g);
        }
        if (!added.empty() && desktop_.TakeError()) {
            // Another client holds some of the combinations: let ours go too.
            for (const Grab& g : added) XUngrabKey(d, static_cast<int>(g.first), g.second, root);
            desktop_.TakeError();
            outcomes[i].result = GrabResult::Taken;
            continue;
        }
        for (const Grab& g : Variants(code, key.modifiers)) keep.insert(g);
        bound.push_back({keys[i].id, key, code});
    }
    for (const Grab& g : held_) {
        if (!keep.count(g)) XUngrabKey(d, static_cast<int>(g.first), g.second, root);
    }
    desktop_.TakeError();
    held_ = std::move(keep);
    bound_ = std::move(bound);
    if (std::none_of(bound_.begin(), bound_.end(),
                     [this](const Bound& b) { return b.keycode == heldKeycode_; }))
        heldKeycode_ = 0;
    return outcomes;
}

void X11HotKeys::ReleaseKeyboard() {
    XUngrabKeyboard(desktop_.display(), CurrentTime);
    XFlush(desktop_.display());
    heldKeycode_ = 0;  // its release now goes elsewhere
}

int X11HotKeys::Descriptor() const {
    return ConnectionNumber(desktop_.display());
}

bool X11HotKeys::Matches(unsigned keycode, unsigned state, int& id) const {
    for (const Bound& b : bound_) {
        if (b.keycode == keycode && (state & kRelevant) == b.key.modifiers) {
            id = b.id;
            return true;
        }
    }
    return false;
}

bool X11HotKeys::TakeRawEvent(void* data, RawPress& press) {
    auto* cookie = static_cast<XGenericEventCookie*>(data);
    const auto* event = static_cast<const XIRawEvent*>(cookie->data);
    const auto code = static_cast<unsigned>(event->detail);
    if (code >= modifierBit_.size()) return false;
    if (cookie->evtype == XI_RawKeyRelease) {
        modifiersDown_.erase(code);
        return false;
    }
    if (modifierBit_[code]) {
        modifiersDown_.insert(code);
        return false;
    }
    if (event->flags & XIKeyRepeat) return false;
    unsigned state = 0;
    for (unsigned down : modifiersDown_) state |= modifierBit_[down];
    press = {0, code, event->time};
    return Matches(code, state, press.id);
}

void X11HotKeys::ProcessEvents(const std::function<void(int id)>& pressed) {
    Display* d = desktop_.display();
    std::vector<RawPress> rawHits;
    const auto drain = [&] {
        while (XPending(d)) {
            XEvent event;
            XNextEvent(d, &event);
            if (event.type == GenericEvent && event.xcookie.extension == xiOpcode_) {
                if (XGetEventData(d, &event.xcookie)) {
                    RawPress press{};
                    if (TakeRawEvent(&event.xcookie, press)) rawHits.push_back(press);
                    XFreeEventData(d, &event.xcookie);
                }
            } else if (desktop_.HandleEvent(&event)) {
                continue;
            } else if (event.type == MappingNotify) {
                XRefreshKeyboardMapping(&event.xmapping);
                ReadKeyboard();
                Apply(wanted_);
            } else if (event.type == KeyRelease) {
                if (event.xkey.keycode == heldKeycode_) heldKeycode_ = 0;
            } else if (event.type == KeyPress) {
                servedByGrab_.emplace_back(event.xkey.keycode, event.xkey.time);
                if (servedByGrab_.size() > kGrabMemory) servedByGrab_.pop_front();
                int id = 0;
                if (event.xkey.keycode == heldKeycode_ ||
                    !Matches(event.xkey.keycode, event.xkey.state, id))
                    continue;
                heldKeycode_ = event.xkey.keycode;
                pressed(id);
            }
        }
    };
    drain();
    if (rawHits.empty()) return;
    // The server delivers a press's raw and grabbed events together: once
    // it has answered, a grabbed twin of each raw press is here if any.
    XSync(d, False);
    drain();
    for (const RawPress& hit : rawHits) {
        const std::pair<unsigned, unsigned long> twin{hit.keycode, hit.time};
        if (std::find(servedByGrab_.begin(), servedByGrab_.end(), twin) == servedByGrab_.end())
            pressed(hit.id);
    }
}
