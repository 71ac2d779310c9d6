// Hot keys through KDE's global shortcut service (kglobalaccel, inside
// KWin on Wayland): one shortcut an action under its stored name, listed in
// System Settings under "Lumagrabber" with its description. KDE refuses a
// key another program or KWin itself holds, and says whose it is.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "capture/BusConnection.h"
#include "capture/HotKeys.h"

class KdeHotKeys : public HotKeys {
public:
    // nullptr where no global shortcut service answers.
    static std::unique_ptr<KdeHotKeys> Open(std::shared_ptr<BusConnection> bus, std::string& error);
    // The shortcuts leave with the tool: KDE would keep them, holding keys.
    ~KdeHotKeys() override { Arm({}); }

    std::vector<Outcome> Arm(const std::vector<HotKeyBinding>& keys) override;
    void ReleaseKeyboard() override {}
    int Descriptor() const override { return bus_->Descriptor(); }
    void ProcessEvents(const std::function<void(int id)>& pressed) override;

private:
    explicit KdeHotKeys(std::shared_ptr<BusConnection> bus) : bus_(std::move(bus)) {}
    // True when KDE gave the action the key.
    bool Register(const HotKeyBinding& k, int code, std::string& error);
    // Whose the key is, as KDE lists it; "" where it does not say. A key an
    // older lmgrab left registered is let go (oldOwn).
    std::string Holder(int code, bool& oldOwn);
    void Unregister(const std::string& component, const std::string& name);

    std::shared_ptr<BusConnection> bus_;
    std::map<std::string, HotKeyBinding> armed_;  // shortcut name -> its binding
};
