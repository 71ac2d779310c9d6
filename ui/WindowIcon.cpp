#include "ui/WindowIcon.h"

#include <QPixmap>

namespace {

// A monitor showing a landscape with a capture frame drawn over it, in the
// 16 colours of the classic palette.
// clang-format off
const char* const kIcon[] = {
    "32 32 12 1",
    "  c None",
    ". c #000000",
    "b c #000080",
    "B c #0000FF",
    "c c #00FFFF",
    "t c #008080",
    "G c #808080",
    "g c #C0C0C0",
    "w c #FFFFFF",
    "r c #FF0000",
    "R c #800000",
    "y c #FFFF00",
    "                                ",
    "                                ",
    " .............................. ",
    " .GGGGGGGGGGGGGGGGGGGGGGGGGGGG. ",
    " .G..........................G. ",
    " .G.BBBBBBBBBBBBBBBBBBBBBBBB.G. ",
    " .G.BBBBBBBBBBBBBBBBBByBBBBB.G. ",
    " .G.BBBBBBBBBBBBBBBBByyyBBBB.G. ",
    " .G.BBBrrBrBrBrBrBrBrryyyBBB.G. ",
    " .G.BBBBBBBBBBBBBBBBByyyBBBB.G. ",
    " .G.BBBrBBBBBBBBBBBBBrBBBBBB.G. ",
    " .G.BBBBBBBBBBBBBBBBBBBBBBBB.G. ",
    " .G.BBBrBBBBBBBBBBBBBrBBBBBB.G. ",
    " .G.ttttcttttttcttttttcttttt.G. ",
    " .G.tttrttttttcttttttrtttttt.G. ",
    " .G.ttcttttttcttttttcttttttc.G. ",
    " .G.tctrttttcttttttctrttttct.G. ",
    " .G.cttrrtrcrtrtrtrtrrtttctt.G. ",
    " .G.ttttttcttttttcttttttcttt.G. ",
    " .G.tttttcttttttcttttttctttt.G. ",
    " .G.ttttcttttttcttttttcttttt.G. ",
    " .G..........................G. ",
    " .GGGGGGGGGGGGGGGGGGGGGGGGRGGG. ",
    " .............................. ",
    "             GGGGGG             ",
    "             GGGGGG             ",
    "             GGGGGG             ",
    "         GGGGGGGGGGGGGG         ",
    "         GGGGGGGGGGGGGG         ",
    "         ..............         ",
    "                                ",
    "                                "
};
// clang-format on

}  // namespace

QIcon LumagrabberIcon() {
    return QIcon(QPixmap(kIcon));
}
