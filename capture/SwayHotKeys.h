// Hot keys on sway (and wlroots desktops that speak its IPC): each armed key
// is bound at run time to a command that does nothing ("nop"), and the
// binding events sway sends for it are the presses. Keys the user's own
// configuration binds are left alone and reported as taken; a reload of
// sway's configuration, which drops them, binds them again.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "capture/HotKeys.h"
#include "capture/SwayIpc.h"

// The same combination however a configuration spells it ("control+mod1+A"
// and "Alt+Ctrl+a" are one), for comparing.
std::string SwayComboKey(const std::string& combo);

class SwayHotKeys : public HotKeys {
public:
    // commands: the desktop's own connection; events come on one of their own.
    static std::unique_ptr<SwayHotKeys> Open(std::shared_ptr<SwayIpc> commands,
                                             const std::string& socket, std::string& error);
    ~SwayHotKeys() override;

    std::vector<Outcome> Arm(const std::vector<HotKeyBinding>& keys) override;
    void ReleaseKeyboard() override {}
    int Descriptor() const override { return events_->Descriptor(); }
    void ProcessEvents(const std::function<void(int id)>& pressed) override;

private:
    SwayHotKeys(std::shared_ptr<SwayIpc> commands, std::unique_ptr<SwayIpc> events)
        : commands_(std::move(commands)), events_(std::move(events)) {}
    // The combinations the user's configuration binds, as SwayComboKey gives them.
    std::map<std::string, bool> UsersBindings();
    bool Run(const std::string& command);

    std::shared_ptr<SwayIpc> commands_;
    std::unique_ptr<SwayIpc> events_;
    std::map<std::string, int> bound_;   // our combination -> the id it fires
    std::vector<HotKeyBinding> wanted_;  // bound again after sway reloads
};
