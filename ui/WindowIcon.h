// The editor's window icon: 32 x 32 pixels in 16 colours.
#pragma once

#include <QIcon>

QIcon LumagrabberIcon();
