// Reads the PNG pictures desktops hand over (the screenshot portal's):
// 8 bits a channel, RGB or RGBA, not interlaced. Anything else is refused
// with its reason, never half read.
#pragma once

#include <string>

#include "capture/Image.h"

bool ReadPng(const std::string& bytes, RgbImage& image, std::string& error);
