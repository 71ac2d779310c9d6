// What the capture needs of the window system, as a small interface: the
// X11 one in X11Desktop, a painted one in the tests.
#pragma once

#include <string>
#include <vector>

#include "capture/Image.h"

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool Contains(int px, int py) const {
        return px >= x && py >= y && px < x + width && py < y + height;
    }
    friend bool operator==(const Rect&, const Rect&) = default;
};

Rect Intersect(const Rect& a, const Rect& b);

class Desktop {
public:
    virtual ~Desktop() = default;
    // The screen's size in physical pixels (the bounding box of every
    // monitor), and its colour depth.
    virtual Rect Screen() = 0;
    virtual int Depth() = 0;
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
