// A captured picture in memory: rows from the top, one 0x00RRGGBB word a
// pixel, whatever the screen's own depth was.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // the picture's own storage, or
    // another's pixels (rows of width words) it may read while they last,
    // which spares copying a whole screen; the top byte of a word is junk.
    const std::uint32_t* borrowed = nullptr;

    RgbImage() = default;
    RgbImage(int w, int h, std::uint32_t fill = 0)
        : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill) {}
    std::span<const std::uint32_t> Pixels() const {
        return borrowed ? std::span(borrowed, static_cast<std::size_t>(width) * height)
                        : std::span(pixels);
    }
    std::uint32_t At(int x, int y) const {
        return Pixels()[static_cast<std::size_t>(y) * width + x];
    }
    std::uint32_t& At(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

inline int Red(std::uint32_t c) {
    return (c >> 16) & 0xFF;
}
inline int Green(std::uint32_t c) {
    return (c >> 8) & 0xFF;
}
inline int Blue(std::uint32_t c) {
    return c & 0xFF;
}
inline std::uint32_t Rgb(int r, int g, int b) {
    return (static_cast<std::uint32_t>(r) << 16) | (static_cast<std::uint32_t>(g) << 8) |
           static_cast<std::uint32_t>(b);
}

// A picture of at most 256 colours: a palette and one index a pixel.
struct IndexedImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> palette;  // 0x00RRGGBB
    std::vector<std::uint8_t> indexes;
};
