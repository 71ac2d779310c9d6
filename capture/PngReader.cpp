#include "capture/PngReader.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::uint64_t kLargest = 1u << 28;  // pixels: far beyond any screen

std::uint32_t Big32(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

int Paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

}  // namespace

bool ReadPng(const std::string& bytes, RgbImage& image, std::string& error) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bytes.size() < 8 || std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) != 0)
        return error = "not a PNG picture", false;
    std::uint32_t width = 0, height = 0;
    int channels = 0;
    std::string compressed;
    for (std::size_t at = 8; at + 12 <= bytes.size();) {
        const std::uint32_t length = Big32(data + at);
        if (length > bytes.size() - at - 12) return error = "a truncated PNG picture", false;
        const std::string type(bytes, at + 4, 4);
        const unsigned char* body = data + at + 8;
        if (type == "IHDR" && length >= 13) {
            width = Big32(body), height = Big32(body + 4);
            const int depth = body[8], colour = body[9], interlace = body[12];
            if (depth != 8 || (colour != 2 && colour != 6) || interlace != 0)
                return error = "a PNG picture of a kind lmgrab does not read", false;
            channels = colour == 2 ? 3 : 4;
        } else if (type == "IDAT") {
            compressed.append(reinterpret_cast<const char*>(body), length);
        } else if (type == "IEND") {
            break;
        }
        at += 12 + length;
    }
    if (!channels || width == 0 || height == 0 || std::uint64_t{width} * height > kLargest)
        return error = "a PNG picture without a usable size", false;
    const std::size_t stride = std::size_t{width} * channels;
    std::string raw((stride + 1) * height, '\0');
    uLongf rawSize = raw.size();
    if (uncompress(reinterpret_cast<Bytef*>(raw.data()), &rawSize,
                   reinterpret_cast<const Bytef*>(compressed.data()), compressed.size()) != Z_OK ||
        rawSize != raw.size())
        return error = "a damaged PNG picture", false;
    image = RgbImage(static_cast<int>(width), static_cast<int>(height));
    auto* rows = reinterpret_cast<unsigned char*>(raw.data());
    for (std::uint32_t y = 0; y < height; ++y) {
        unsigned char* line = rows + y * (stride + 1);
        const unsigned char* up = y ? line - (stride + 1) + 1 : nullptr;
        const int filter = line[0];
        unsigned char* px = line + 1;
        for (std::size_t i = 0; i < stride; ++i) {
            const int a = i >= std::size_t(channels) ? px[i - channels] : 0;
            const int b = up ? up[i] : 0;
            const int c = up && i >= std::size_t(channels) ? up[i - channels] : 0;
            switch (filter) {
                case 0:
                    break;
                case 1:
                    px[i] = static_cast<unsigned char>(px[i] + a);
                    break;
                case 2:
                    px[i] = static_cast<unsigned char>(px[i] + b);
                    break;
                case 3:
                    px[i] = static_cast<unsigned char>(px[i] + (a + b) / 2);
                    break;
                case 4:
                    px[i] = static_cast<unsigned char>(px[i] + Paeth(a, b, c));
                    break;
                default:
                    return error = "a damaged PNG picture", false;
            }
        }
        for (std::uint32_t x = 0; x < width; ++x) {
            const unsigned char* p = px + std::size_t{x} * channels;
            image.pixels[std::size_t{y} * width + x] = Rgb(p[0], p[1], p[2]);
        }
    }
    return true;
}
