// The coded values a capture action stores, named once for the editor and
// for every program that reads the store. The numbers are part of the
// stored layout and never change.
#pragma once

#include <cstdint>

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

// Quality: JPEG quality; anything outside the range is taken as the default.
inline constexpr std::int32_t kMinQuality = 1;
inline constexpr std::int32_t kMaxQuality = 100;
inline constexpr std::int32_t kDefaultQuality = 100;

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

}  // namespace codes
