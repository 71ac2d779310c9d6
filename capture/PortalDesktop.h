// A Wayland desktop reached only through the desktop portal (GNOME, KDE
// Plasma, Hyprland and others without sway's IPC): pixels from the
// screenshot portal, hot keys from its global shortcuts where it has them,
// the clipboard through wl-copy.
// It tells neither the active window nor the pointer.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "capture/BusConnection.h"
#include "capture/Desktop.h"

// What the person answered when the desktop asked whether lmgrab may take
// screenshots, as the portal's permission store keeps it.
enum class ScreenshotPermission { Allowed, Refused, NotAsked, Unknown };
ScreenshotPermission LookUpScreenshotPermission(BusConnection& bus);
// Stores the person's yes, as if they had answered the desktop's question.
bool AllowScreenshots(BusConnection& bus, std::string& error);

class PortalDesktop : public Desktop {
public:
    // The portal on this session bus, when it offers screenshots.
    static std::unique_ptr<PortalDesktop> Open(std::shared_ptr<BusConnection> bus,
                                               std::string& error);

    std::string Name() const override { return "the desktop portal"; }
    DesktopCapabilities Capabilities() override { return {false, false, true}; }
    std::unique_ptr<HotKeys> MakeHotKeys() override;
    // wl-copy serves the clipboard after the tool has ended.
    bool ClipboardManagerRuns() override { return true; }
    DesktopClipboard PutOnClipboard(const RgbImage& image, std::string& error) override;
    // The size of a picture taken now, kept for the Grab that follows.
    Rect Screen() override;
    // The picture's own area, without taking another.
    std::vector<Rect> Monitors() override { return {{0, 0, picture_.width, picture_.height}}; }
    int Depth() override { return 24; }
    bool Pointer(int&, int&) override { return false; }
    bool ActiveWindow(bool, Rect&, std::string& error) override;
    bool Grab(const Rect& area, RgbImage& image, std::string& error) override;
    // Why no screenshot can be had now: the person refused them, or (on
    // GNOME, which asks only while a window of ours has the focus) has not
    // been asked yet; both with the command that allows them.
    std::string Unreadable() override;

private:
    explicit PortalDesktop(std::shared_ptr<BusConnection> bus) : bus_(std::move(bus)) {}
    bool TakePicture(std::string& error);

    std::shared_ptr<BusConnection> bus_;  // shared with its hot keys: one connection
    RgbImage picture_;                    // the last one taken, and when
    std::chrono::steady_clock::time_point taken_{};
    std::string error_;     // why the last picture could not be taken
    bool allowed_ = false;  // the person's yes to screenshots, once read
};
