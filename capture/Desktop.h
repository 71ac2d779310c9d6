// What the capture tool needs of the window system, as one interface: the
// X11 desktop in X11Desktop, the Wayland desktops beside it (sway, KDE, the
// portal), a painted one without any window system in NullDesktop (tests).
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "capture/Image.h"

class HotKeys;

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool Contains(int px, int py) const {
        return px >= x && py >= y && px < x + width && py < y + height;
    }
    friend bool operator==(const Rect&, const Rect&) = default;
};

inline Rect Intersect(const Rect& a, const Rect& b) {
    const int left = std::max(a.x, b.x), top = std::max(a.y, b.y);
    const int right = std::min(a.x + a.width, b.x + b.width),
              bottom = std::min(a.y + a.height, b.y + b.height);
    return right > left && bottom > top ? Rect{left, top, right - left, bottom - top} : Rect{};
}

// The smallest area holding every one of areas; empty for none.
inline Rect BoundingBox(const std::vector<Rect>& areas) {
    if (areas.empty()) return {};
    int left = areas[0].x, top = areas[0].y, right = left, bottom = top;
    for (const Rect& a : areas) {
        left = std::min(left, a.x), top = std::min(top, a.y);
        right = std::max(right, a.x + a.width), bottom = std::max(bottom, a.y + a.height);
    }
    return {left, top, right - left, bottom - top};
}

// What a desktop can do, for the tool's checks and messages.
struct DesktopCapabilities {
    bool activeWindow = false;  // the active window, with and without its frame
    bool pointer = false;       // where the mouse pointer is
    bool clipboard = false;     // puts pictures on the clipboard itself (PutOnClipboard)
};

// Who put a picture on the clipboard: the desktop, or nobody yet (the
// tool's own window system connection then does).
enum class DesktopClipboard { ByTheUi, Done, Failed };

class Desktop {
public:
    virtual ~Desktop() = default;
    // "X11", "none", ...: for messages.
    virtual std::string Name() const = 0;
    virtual DesktopCapabilities Capabilities() = 0;
    // The desktop's global hot keys; nullptr where it has none.
    virtual std::unique_ptr<HotKeys> MakeHotKeys() = 0;
    // Readies what the first grab would otherwise set up, so that the
    // first hot key is as quick as the others.
    virtual void Prepare() {}
    // A clipboard manager runs, which takes the clipboard's content over
    // when its owner ends.
    virtual bool ClipboardManagerRuns() { return false; }
    // Puts the picture on the clipboard, where the desktop does that itself.
    virtual DesktopClipboard PutOnClipboard(const RgbImage& /*image*/, std::string& /*error*/) {
        return DesktopClipboard::ByTheUi;
    }
    // Changes a property of a window of the program's, so that the toolkit
    // hears the desktop's time before it claims the clipboard (X11).
    virtual void StampWindow(unsigned long /*window*/) {}
    // The screen's size in physical pixels (the bounding box of every
    // monitor), and its colour depth.
    virtual Rect Screen() = 0;
    virtual int Depth() = 0;
    // Pixels of the desktop's pictures to a pixel of the tool's unscaled
    // windows: more than 1 where a scaled Wayland desktop gives finer ones.
    virtual double PictureScale() { return 1; }
    // The monitors' areas on the screen; the whole screen where it has none.
    virtual std::vector<Rect> Monitors() { return {Screen()}; }
    // Why this desktop's pixels cannot be read at all; "" when they can.
    virtual std::string Unreadable() { return ""; }
    virtual bool Pointer(int& x, int& y) = 0;
    // The active top-level window in screen coordinates: with its frame, or
    // its client area only.
    virtual bool ActiveWindow(bool withFrame, Rect& area, std::string& error) = 0;
    // What the screen shows in area, which lies inside the screen. The image
    // may borrow the desktop's memory, good until the next Grab.
    virtual bool Grab(const Rect& area, RgbImage& image, std::string& error) = 0;
};
