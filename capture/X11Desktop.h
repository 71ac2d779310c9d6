// The capture's view of an X11 display through Xlib: screen, pointer, the
// active window and its frame, and pixels read straight from the root
// window, so they are physical pixels whatever the desktop's scaling.
#pragma once

#include <memory>
#include <string>

#include "capture/Desktop.h"

// Xlib's own name for its display, declared here so that Xlib stays out of
// the headers.
typedef struct _XDisplay Display;  // NOLINT(bugprone-reserved-identifier)

class X11Desktop : public Desktop {
public:
    // The display DISPLAY names; nullptr with the reason when there is none.
    static std::unique_ptr<X11Desktop> Open(std::string& error);
    ~X11Desktop() override;

    Display* display() const { return display_; }

    std::string Name() const override { return "X11"; }
    DesktopCapabilities Capabilities() override;
    std::unique_ptr<HotKeys> MakeHotKeys() override;
    Rect Screen() override;
    int Depth() override;
    std::vector<Rect> Monitors() override;
    std::string Unreadable() override;
    bool Pointer(int& x, int& y) override;
    bool ActiveWindow(bool withFrame, Rect& area, std::string& error) override;
    bool Grab(const Rect& area, RgbImage& image, std::string& error) override;

    void StampWindow(unsigned long window) override;
    bool ClipboardManagerRuns() override;
    void Prepare() override;

    // Takes the events that are the desktop's own (the screen resized, a
    // monitor added): true when event was one.
    bool HandleEvent(void* event);

    // X errors are recorded, never fatal: the code of the first since the
    // last call (0 for none), after the server has answered all requests.
    int TakeError();

private:
    struct SharedSegment;
    explicit X11Desktop(Display* display);
    bool GrabShared(const Rect& area, RgbImage& image);
    void ReleaseShared();

    void ReadScreen();

    Display* display_;
    std::unique_ptr<SharedSegment> shared_;
    bool sharedRefused_ = false;
    int randrEvent_ = -1;  // RandR's first event code; -1 without it
    Rect screen_;
    std::vector<Rect> monitors_;
    bool xwayland_ = false;
};
