// What file an action writes: the format its Extension names, the depth its
// PixelFormat and prevent flags choose on a screen of a given depth, and
// the JPEG quality. Anything the action asks that a format cannot do is
// turned into the nearest thing it can, with a note saying so.
#pragma once

#include <string>
#include <vector>

#include "model/ActionKey.h"

enum class ImageFormat { Bmp, Jpg, Tga, Tif, Pcx, Png };

// What the tool knows of each format it writes: the editor's five, then
// PNG, which a person may ask for by the name given in the save dialog.
struct FormatInfo {
    ImageFormat format;
    const char* extension;
    const char* name;
    const char* mime;  // as the clipboard offers it; nullptr where none is common
};
const FormatInfo& InfoOf(ImageFormat format);
// The format a file name's extension names (any case), or nullptr.
const FormatInfo* FormatOfFileName(const std::string& name);

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

// The name a capture is saved under when a person typed name: as typed
// where its extension names a format the tool writes, else with extension
// (the action's own) added.
std::string SaveAsName(const std::string& name, const std::string& extension);
