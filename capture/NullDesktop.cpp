#include "capture/NullDesktop.h"

#include <algorithm>
#include <utility>

std::vector<HotKeys::Outcome> NullHotKeys::Arm(const std::vector<HotKeyBinding>& keys) {
    armed_ = keys;
    return std::vector<Outcome>(keys.size());
}

void NullHotKeys::ProcessEvents(const std::function<void(int id)>& pressed) {
    const std::vector<int> presses = std::exchange(pressed_, {});
    for (int id : presses) pressed(id);
}

void NullHotKeys::Press(int id) {
    if (std::any_of(armed_.begin(), armed_.end(),
                    [id](const HotKeyBinding& b) { return b.id == id; }))
        pressed_.push_back(id);
}

bool NullDesktop::Pointer(int& x, int& y) {
    x = pointerX, y = pointerY;
    return true;
}

bool NullDesktop::ActiveWindow(bool withFrame, Rect& area, std::string&) {
    area = withFrame ? Rect{window.x - 1, window.y - 20, window.width + 2, window.height + 25}
                     : window;
    return true;
}

bool NullDesktop::Grab(const Rect& area, RgbImage& image, std::string&) {
    grabbed = area;
    image = RgbImage(area.width, area.height);
    for (int y = 0; y < area.height; ++y)
        for (int x = 0; x < area.width; ++x)
            image.At(x, y) = static_cast<std::uint32_t>((area.x + x) << 16 | (area.y + y));
    return true;
}
