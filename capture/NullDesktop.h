// A desktop without any window system: a painted screen whose pixel at
// (x, y) is x * 65536 + y, a pointer and an active window set by hand, and
// hot keys that are only recorded and pressed by hand. For tests, and as
// the back end where no desktop can be reached.
#pragma once

#include <vector>

#include "capture/Desktop.h"
#include "capture/HotKeys.h"

class NullHotKeys : public HotKeys {
public:
    std::vector<Outcome> Arm(const std::vector<HotKeyBinding>& keys) override;
    void ReleaseKeyboard() override {}
    int Descriptor() const override { return -1; }
    // Runs the presses made with Press since the last call.
    void ProcessEvents(const std::function<void(int id)>& pressed) override;

    // Presses the armed key of action id, if it is armed.
    void Press(int id);
    const std::vector<HotKeyBinding>& Armed() const { return armed_; }

private:
    std::vector<HotKeyBinding> armed_;
    std::vector<int> pressed_;
};

class NullDesktop : public Desktop {
public:
    std::string Name() const override { return "none"; }
    DesktopCapabilities Capabilities() override { return can; }
    std::unique_ptr<HotKeys> MakeHotKeys() override { return std::make_unique<NullHotKeys>(); }
    Rect Screen() override { return screen; }
    int Depth() override { return 24; }
    std::vector<Rect> Monitors() override {
        return monitors.empty() ? std::vector{screen} : monitors;
    }
    bool Pointer(int& x, int& y) override;
    // The window's frame: 1 pixel at the sides, 20 above, 5 below.
    bool ActiveWindow(bool withFrame, Rect& area, std::string& error) override;
    bool Grab(const Rect& area, RgbImage& image, std::string& error) override;

    DesktopCapabilities can{true, true, false};
    Rect screen{0, 0, 640, 480};
    std::vector<Rect> monitors;  // none: the whole screen is one
    int pointerX = 320, pointerY = 240;
    Rect window{100, 100, 300, 200};
    Rect grabbed;  // what the last Grab read
};
