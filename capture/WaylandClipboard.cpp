#include "capture/WaylandClipboard.h"

#include "capture/Encoders.h"
#include "capture/HelperProgram.h"
#include "capture/OutputPlan.h"

namespace {

constexpr const char* kWlCopy = "wl-copy";

}  // namespace

DesktopClipboard CopyToWaylandClipboard(const RgbImage& image, std::string& error) {
    if (!HelperInstalled(kWlCopy)) {
        error =
            "wl-copy is not installed: lmgrab puts pictures on a Wayland desktop's clipboard "
            "through it (apt install wl-clipboard)";
        return DesktopClipboard::Failed;
    }
    OutputPlan png;
    png.format = ImageFormat::Png;
    png.extension = ".png";
    std::string bytes, output;
    if (!EncodeImage(image, png, bytes, error)) return DesktopClipboard::Failed;
    if (!RunHelper({kWlCopy, "--type", "image/png"}, bytes, false, output, error)) {
        error = "the clipboard could not be taken (" + error + ")";
        return DesktopClipboard::Failed;
    }
    return DesktopClipboard::Done;
}
