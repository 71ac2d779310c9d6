// The coded values a capture action stores, named once for the editor and
// for every program that reads the store. The numbers are part of the
// stored layout and never change.
#pragma once

#include <cstdint>
#include <string>

namespace codes {

// Modifiers: a sum of these bits.
inline constexpr std::int32_t kAlt = 1;
inline constexpr std::int32_t kCtrl = 2;
inline constexpr std::int32_t kShift = 4;

// SaveTo: where the image goes.
inline constexpr std::uint8_t kNoOutput = 0;  // only the sound and "Stop After Action"
inline constexpr std::uint8_t kImageFile = 1;
inline constexpr std::uint8_t kClipboard = 2;

// GrabMethod: what is grabbed.
inline constexpr std::uint8_t kFullScreen = 0;
inline constexpr std::uint8_t kTopWindow = 1;
inline constexpr std::uint8_t kClientArea = 2;
inline constexpr std::uint8_t kFixedRectangle = 3;  // RecWidth x RecHeight, stored only for it
inline constexpr std::uint8_t kArbitraryRectangle = 4;

// PixelFormat: the colour depth.
inline constexpr std::uint8_t kScreenDepth = 0;
inline constexpr std::uint8_t k1Bit = 1;
inline constexpr std::uint8_t k4Bit = 2;
inline constexpr std::uint8_t k8Bit = 3;
inline constexpr std::uint8_t k15Bit = 4;
inline constexpr std::uint8_t k16Bit = 5;
inline constexpr std::uint8_t k24Bit = 6;
inline constexpr std::uint8_t k32Bit = 7;

// The bits a pixel each PixelFormat code names; 0 for the screen's own.
inline constexpr int kBitsOfDepthCode[] = {0, 1, 4, 8, 15, 16, 24, 32};

// Quality: JPEG quality; anything outside the range is taken as the default.
inline constexpr std::int32_t kMinQuality = 1;
inline constexpr std::int32_t kMaxQuality = 100;
inline constexpr std::int32_t kDefaultQuality = 100;
constexpr std::int32_t EffectiveQuality(std::int32_t quality) {
    return quality >= kMinQuality && quality <= kMaxQuality ? quality : kDefaultQuality;
}

// VirtualKey: the 48 keys offered, in the order of the editor's list:
// 0-9, A-Z (their characters' codes), then F1-F12.
inline constexpr int kKeyF1 = 112;
inline constexpr int kKeyF12 = 123;
inline constexpr int kOfferedKeyCount = 48;
constexpr bool IsDigitKey(int key) {
    return key >= '0' && key <= '9';
}
constexpr bool IsLetterKey(int key) {
    return key >= 'A' && key <= 'Z';
}
constexpr bool IsFunctionKey(int key) {
    return key >= kKeyF1 && key <= kKeyF12;
}
// A key's place in that list, -1 for one outside it; and the key at a place, 0 for none.
constexpr int OfferedKeyIndex(int key) {
    return IsDigitKey(key)      ? key - '0'
           : IsLetterKey(key)   ? key - 'A' + 10
           : IsFunctionKey(key) ? key - kKeyF1 + 36
                                : -1;
}
constexpr int OfferedKey(int index) {
    return index < 0                  ? 0
           : index < 10               ? '0' + index
           : index < 36               ? 'A' + index - 10
           : index < kOfferedKeyCount ? kKeyF1 + index - 36
                                      : 0;
}

// Extension: the file formats, in the order the editor's list offers them.
inline constexpr const char* kBmp = ".bmp";
inline constexpr const char* kJpg = ".jpg";
inline constexpr const char* kTga = ".tga";
inline constexpr const char* kTif = ".tif";
inline constexpr const char* kPcx = ".pcx";
inline constexpr const char* const kFormats[] = {kBmp, kJpg, kTga, kTif, kPcx};

// Fixed rectangle defaults, when a stored action has none.
inline constexpr std::int32_t kDefaultRecHeight = 200;
inline constexpr std::int32_t kDefaultRecWidth = 250;

// The key each action is stored under: "Action1", "Action2", ...
inline std::string ActionKeyName(int number) {
    return "Action" + std::to_string(number);
}

}  // namespace codes
