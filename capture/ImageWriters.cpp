#include "capture/ImageWriters.h"

#include <cstdint>

#include "capture/Quantizer.h"

namespace {

void Put16(std::string& out, unsigned v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

int PaletteSize(int bits) {
    return 1 << bits;
}

// One row of indexes packed at 1, 4 or 8 bits a pixel, high bits first.
void PackRow(std::string& out, const std::uint8_t* row, int width, int bits) {
    const int perByte = 8 / bits;
    for (int x = 0; x < width; x += perByte) {
        unsigned byte = 0;
        for (int i = 0; i < perByte; ++i) {
            const unsigned v = x + i < width ? row[x + i] : 0;
            byte |= v << (8 - bits * (i + 1));
        }
        out += static_cast<char>(byte);
    }
}

// One bit a pixel is black and white, as every reader shows it: each pixel
// by its own luminance, so near-black stays black and bright green white.
IndexedImage BlackAndWhite(const RgbImage& image) {
    IndexedImage out;
    out.width = image.width;
    out.height = image.height;
    out.palette = {0x000000, 0xFFFFFF};
    out.indexes.resize(static_cast<std::size_t>(image.width) * image.height);
    std::size_t i = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const std::uint32_t c = image.At(x, y);
            out.indexes[i++] = 299 * Red(c) + 587 * Green(c) + 114 * Blue(c) >= 128 * 1000 ? 1 : 0;
        }
    return out;
}

// The palette and indexes of a picture of 1, 4 or 8 bits a pixel.
IndexedImage Indexed(const RgbImage& image, int bits) {
    return bits == 1 ? BlackAndWhite(image) : Quantize(image, PaletteSize(bits));
}

}  // namespace

std::string EncodeBmp(const RgbImage& image, int bits) {
    const int w = image.width, h = image.height;
    const int storedBits = bits == 15 ? 16 : bits;
    const std::uint32_t rowBytes = ((static_cast<std::uint32_t>(w) * storedBits + 31) / 32) * 4;
    const bool indexed = bits <= 8;
    const bool masks = bits == 16;  // 5-6-5 needs its masks; 16 bits without them mean 5-5-5
    const std::uint32_t colours = indexed ? PaletteSize(bits) : 0;
    const std::uint32_t headers = 14 + 40 + (masks ? 12 : 0) + colours * 4;
    const std::uint32_t dataSize = rowBytes * static_cast<std::uint32_t>(h);

    std::string out;
    out.reserve(headers + dataSize);
    out += "BM";
    Put32(out, headers + dataSize);
    Put32(out, 0);
    Put32(out, headers);
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(w));
    Put32(out, static_cast<std::uint32_t>(h));
    Put16(out, 1);
    Put16(out, static_cast<unsigned>(storedBits));
    Put32(out, masks ? 3 : 0);  // BI_BITFIELDS or BI_RGB
    Put32(out, dataSize);
    Put32(out, 2835);  // 72 dots an inch
    Put32(out, 2835);
    Put32(out, colours);
    Put32(out, 0);
    if (masks) {
        Put32(out, 0xF800);
        Put32(out, 0x07E0);
        Put32(out, 0x001F);
    }
    IndexedImage indexedImage;
    if (indexed) {
        indexedImage = Indexed(image, bits);
        for (std::uint32_t i = 0; i < colours; ++i) {
            const std::uint32_t c = i < indexedImage.palette.size() ? indexedImage.palette[i] : 0;
            Put32(out, c);  // blue, green, red, reserved
        }
    }
    if (indexed) {
        for (int y = h - 1; y >= 0; --y) {
            const std::size_t start = out.size();
            PackRow(out, &indexedImage.indexes[static_cast<std::size_t>(y) * w], w, bits);
            out.append(rowBytes - (out.size() - start), '\0');
        }
        return out;
    }
    // True colour straight into the file's bytes, a row at a time: this is
    // the hot key's path for the largest files.
    const std::size_t at = out.size();
    out.resize(at + dataSize, '\0');
    auto* row = reinterpret_cast<unsigned char*>(out.data() + at);
    const std::uint32_t* pixels = image.Pixels().data();
    for (int y = h - 1; y >= 0; --y, row += rowBytes) {
        const std::uint32_t* in = pixels + static_cast<std::size_t>(y) * w;
        unsigned char* o = row;
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = in[x];
            const unsigned r = Red(c), g = Green(c), b = Blue(c);
            if (bits == 24) {
                o[0] = static_cast<unsigned char>(b);
                o[1] = static_cast<unsigned char>(g);
                o[2] = static_cast<unsigned char>(r);
                o += 3;
            } else if (bits == 32) {
                o[0] = static_cast<unsigned char>(b);
                o[1] = static_cast<unsigned char>(g);
                o[2] = static_cast<unsigned char>(r);
                o[3] = 0;
                o += 4;
            } else {
                const unsigned v = bits == 15 ? ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3)
                                              : ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
                o[0] = static_cast<unsigned char>(v & 0xFF);
                o[1] = static_cast<unsigned char>(v >> 8);
                o += 2;
            }
        }
    }
    return out;
}

namespace {

// Run-length encoding of one plane of one scan line: a byte of 0xC0 or more
// always goes as a run, runs are at most 63 long.
void PutRuns(std::string& out, const std::string& line) {
    for (std::size_t i = 0; i < line.size();) {
        std::size_t run = 1;
        while (i + run < line.size() && run < 63 && line[i + run] == line[i]) ++run;
        const auto byte = static_cast<unsigned char>(line[i]);
        if (run > 1 || byte >= 0xC0) out += static_cast<char>(0xC0 | run);
        out += static_cast<char>(byte);
        i += run;
    }
}

}  // namespace

std::string EncodePcx(const RgbImage& image, int bits) {
    const int w = image.width, h = image.height;
    const int planes = bits == 4 ? 4 : 1;
    const int planeBits = bits == 4 ? 1 : bits;
    const int bytesPerLine = ((w * planeBits + 7) / 8 + 1) & ~1;  // even, as readers expect
    const IndexedImage indexed = Indexed(image, bits);

    std::string out;
    out += static_cast<char>(10);  // ZSoft
    out += static_cast<char>(5);   // version 3.0 with a palette
    out += static_cast<char>(1);   // run-length encoded
    out += static_cast<char>(planeBits);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<unsigned>(w - 1));
    Put16(out, static_cast<unsigned>(h - 1));
    Put16(out, 72);
    Put16(out, 72);
    for (int i = 0; i < 16; ++i) {  // the header's palette serves 1 and 4 bits
        const std::uint32_t c =
            bits <= 4 && i < static_cast<int>(indexed.palette.size()) ? indexed.palette[i] : 0;
        out += static_cast<char>(Red(c));
        out += static_cast<char>(Green(c));
        out += static_cast<char>(Blue(c));
    }
    out += '\0';
    out += static_cast<char>(planes);
    Put16(out, static_cast<unsigned>(bytesPerLine));
    Put16(out, 1);  // colour
    Put16(out, 0);
    Put16(out, 0);
    out.append(54, '\0');

    std::string line;
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = &indexed.indexes[static_cast<std::size_t>(y) * w];
        for (int plane = 0; plane < planes; ++plane) {
            line.clear();
            if (bits == 4) {
                std::vector<std::uint8_t> bitsOfPlane(static_cast<std::size_t>(w));
                for (int x = 0; x < w; ++x) bitsOfPlane[x] = (row[x] >> plane) & 1;
                PackRow(line, bitsOfPlane.data(), w, 1);
            } else {
                PackRow(line, row, w, bits);
            }
            line.append(static_cast<std::size_t>(bytesPerLine) - line.size(), '\0');
            PutRuns(out, line);
        }
    }
    if (bits == 8) {
        out += static_cast<char>(12);
        for (int i = 0; i < 256; ++i) {
            const std::uint32_t c =
                i < static_cast<int>(indexed.palette.size()) ? indexed.palette[i] : 0;
            out += static_cast<char>(Red(c));
            out += static_cast<char>(Green(c));
            out += static_cast<char>(Blue(c));
        }
    }
    return out;
}

std::string EncodeTga(const RgbImage& image, int bits) {
    const int w = image.width, h = image.height;
    const bool mapped = bits == 8;
    IndexedImage indexed;
    if (mapped) indexed = Quantize(image, 256);
    std::string out;
    out += '\0';                               // no image id
    out += static_cast<char>(mapped ? 1 : 0);  // colour map present
    out += static_cast<char>(mapped ? 1 : 2);  // uncompressed colour-mapped / true colour
    Put16(out, 0);
    Put16(out, mapped ? static_cast<unsigned>(indexed.palette.size()) : 0);
    out += static_cast<char>(mapped ? 24 : 0);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<unsigned>(w));
    Put16(out, static_cast<unsigned>(h));
    out += static_cast<char>(mapped ? 8 : 24);
    // Top row first, flagged so: some readers ignore the flag for the
    // classic bottom-up order and show such files upside down.
    out += static_cast<char>(0x20);
    if (mapped) {
        for (std::uint32_t c : indexed.palette) {
            out += static_cast<char>(Blue(c));
            out += static_cast<char>(Green(c));
            out += static_cast<char>(Red(c));
        }
    }
    if (mapped) {
        out.append(reinterpret_cast<const char*>(indexed.indexes.data()), indexed.indexes.size());
    } else {
        const std::size_t at = out.size();
        out.resize(at + static_cast<std::size_t>(w) * h * 3);
        auto* o = reinterpret_cast<unsigned char*>(out.data() + at);
        for (const std::uint32_t c : image.Pixels()) {
            o[0] = static_cast<unsigned char>(Blue(c));
            o[1] = static_cast<unsigned char>(Green(c));
            o[2] = static_cast<unsigned char>(Red(c));
            o += 3;
        }
    }
    Put32(out, 0);  // no extension area
    Put32(out, 0);  // no developer area
    out += "TRUEVISION-XFILE.";
    out += '\0';
    return out;
}
