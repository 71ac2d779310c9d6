// The sway desktop (wlroots): monitors and windows from sway's IPC, pixels
// through grim (the screencopy protocol's tool), the clipboard through
// wl-copy, hot keys bound at run time (SwayHotKeys). Coordinates are sway's layout; pictures are
// taken at scale 1, so a pixel of a picture is a unit of the layout.
#pragma once

#include <memory>
#include <string>

#include "capture/Desktop.h"
#include "capture/SwayIpc.h"

class WlrootsDesktop : public Desktop {
public:
    // The sway $SWAYSOCK names.
    static std::unique_ptr<WlrootsDesktop> Open(std::string& error);

    std::string Name() const override { return "sway"; }
    DesktopCapabilities Capabilities() override { return {true, false, true}; }
    std::unique_ptr<HotKeys> MakeHotKeys() override;
    // wl-copy serves the clipboard after the tool has ended.
    bool ClipboardManagerRuns() override { return true; }
    DesktopClipboard PutOnClipboard(const RgbImage& image, std::string& error) override;
    Rect Screen() override;
    int Depth() override { return 24; }
    std::vector<Rect> Monitors() override;
    std::string Unreadable() override;
    bool Pointer(int&, int&) override { return false; }
    bool ActiveWindow(bool withFrame, Rect& area, std::string& error) override;
    bool Grab(const Rect& area, RgbImage& image, std::string& error) override;

private:
    WlrootsDesktop(std::string socket, std::shared_ptr<SwayIpc> ipc)
        : socket_(std::move(socket)), ipc_(std::move(ipc)) {}

    std::string socket_;
    std::shared_ptr<SwayIpc> ipc_;  // shared with its hot keys' commands
};

// A binary PPM (P6, 8 bits) as grim writes it; false for anything else.
bool ReadPpm(const std::string& bytes, RgbImage& image);
