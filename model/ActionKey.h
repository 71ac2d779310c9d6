// One capture action: a hot key bound to a capture recipe. A plain record;
// nothing checks the values put into it. A new action is all zero, empty
// and false; storage defaults apply only when an action is read.
#pragma once

#include <cstdint>
#include <string>

class TActionKey {
public:
    std::string Name;
    std::int32_t Modifiers = 0;   // 1 Alt, 2 Ctrl, 4 Shift
    std::int32_t VirtualKey = 0;  // 0 = no key
    std::uint8_t SaveTo = 0;      // 0 none, 1 image file, 2 clipboard
    std::string TargetDir;
    bool QuerryFName = false;
    bool Quit = false;
    std::uint8_t GrabMethod = 0;  // 0 full screen ... 4 arbitrary rectangle
    std::int32_t RecHeight = 0;   // used only with GrabMethod 3
    std::int32_t RecWidth = 0;
    std::uint8_t PixelFormat = 0;  // codes::kBitsOfDepthCode: 0 the screen's own depth
    bool Prevent15bit = false;
    bool Prevent16bit = false;
    bool Prevent32bit = false;
    std::string Extension;     // ".bmp", ".jpg", ".tga", ".tif", ".pcx"
    std::int32_t Quality = 0;  // JPEG quality 1..100
    std::string Sound;

    friend bool operator==(const TActionKey&, const TActionKey&) = default;
};
