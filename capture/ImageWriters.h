// The image files whose depths Qt cannot keep, written byte by byte: BMP,
// PCX and TGA. Palettes for 1, 4 and 8 bits come from the picture itself.
#pragma once

#include <string>

#include "capture/Image.h"

// bits 1, 4, 8 (palette), 15 (5-5-5), 16 (5-6-5), 24, 32; bottom-up rows.
std::string EncodeBmp(const RgbImage& image, int bits);
// bits 1 (black and white: readers ignore a palette there), 4 (four planes
// of one bit), 8 (256-colour palette at the end); version 5, run-length
// encoded.
std::string EncodePcx(const RgbImage& image, int bits);
// bits 8 (colour-mapped) or 24 (true colour); uncompressed, top row first,
// with the version 2 footer.
std::string EncodeTga(const RgbImage& image, int bits);
