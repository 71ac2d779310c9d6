// Reduces a picture to a palette of its own colours: exact when it has no
// more colours than allowed (as most screens of windows and text have),
// else by median cut.
#pragma once

#include "capture/Image.h"

// maxColours: 2, 16 or 256. The palette holds at most that many entries.
IndexedImage Quantize(const RgbImage& image, int maxColours);
