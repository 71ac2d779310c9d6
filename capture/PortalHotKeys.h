// Hot keys through the desktop portal's global shortcuts (KDE Plasma,
// GNOME 48 and later, Hyprland): one session with one shortcut a hot key,
// under the action's stored name so that the desktop keeps the person's
// choice; the stored key is only the preferred trigger, the desktop binds
// what it will. A changed set of keys takes a new session.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "capture/BusConnection.h"
#include "capture/HotKeys.h"

class PortalHotKeys : public HotKeys {
public:
    // nullptr where the portal has no global shortcuts.
    static std::unique_ptr<PortalHotKeys> Open(std::shared_ptr<BusConnection> bus,
                                               std::string& error);
    ~PortalHotKeys() override;

    std::vector<Outcome> Arm(const std::vector<HotKeyBinding>& keys) override;
    void ReleaseKeyboard() override {}
    int Descriptor() const override { return bus_->Descriptor(); }
    void ProcessEvents(const std::function<void(int id)>& pressed) override;

private:
    explicit PortalHotKeys(std::shared_ptr<BusConnection> bus) : bus_(std::move(bus)) {}
    void CloseSession();

    std::shared_ptr<BusConnection> bus_;
    std::string session_;
    std::vector<HotKeyBinding> bound_;  // what the session was made for
    std::vector<Outcome> outcomes_;     // and what became of it
    std::map<std::string, int> ids_;    // shortcut name -> binding id
};
