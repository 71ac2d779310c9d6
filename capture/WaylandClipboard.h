// The clipboard of a Wayland desktop: a client may set it only while it
// has the keyboard focus, which a hot key never gives. wl-copy (from
// wl-clipboard) sets it through the compositor's data-control protocol
// where there is one, and serves it after lmgrab has moved on.
#pragma once

#include <string>

#include "capture/Desktop.h"

// The picture as PNG, the type Wayland programs take.
DesktopClipboard CopyToWaylandClipboard(const RgbImage& image, std::string& error);
