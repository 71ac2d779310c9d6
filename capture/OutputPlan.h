// What file an action writes: the format its Extension names, the depth its
// PixelFormat and prevent flags choose on a screen of a given depth, and
// the JPEG quality. Anything the action asks that a format cannot do is
// turned into the nearest thing it can, with a note saying so.
#pragma once

#include <string>
#include <vector>

#include "model/ActionKey.h"

// In the order of codes::kFormats.
enum class ImageFormat { Bmp, Jpg, Tga, Tif, Pcx };

struct OutputPlan {
    ImageFormat format = ImageFormat::Bmp;
    std::string extension;  // as written: ".bmp", ".jpg", ...
    int bits = 24;          // 1, 4, 8, 15, 16, 24 or 32
    int quality = 100;      // for ".jpg"
    std::vector<std::string> notes;
};

// screenDepth: the X screen's depth (15, 16, 24, 32, ...).
OutputPlan PlanOutput(const TActionKey& action, int screenDepth);

// "JPEG, quality 75", "BMP, 8 bit with a palette", ...
std::string DescribeOutput(const OutputPlan& plan);
