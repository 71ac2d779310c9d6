// An image file's bytes in the format and depth an action's plan names.
#pragma once

#include <string>

#include "capture/Image.h"
#include "capture/OutputPlan.h"

bool EncodeImage(const RgbImage& image, const OutputPlan& plan, std::string& bytes,
                 std::string& error);
