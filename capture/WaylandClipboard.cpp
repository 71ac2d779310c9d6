#include "capture/WaylandClipboard.h"

#include <thread>

#include "capture/Encoders.h"
#include "capture/HelperProgram.h"
#include "capture/OutputPlan.h"
#include "platform/Deadline.h"

namespace {

constexpr const char* kWlCopy = "wl-copy";
constexpr const char* kPng = "image/png";
// wl-copy has set the clipboard when it ends; a moment more covers a
// clipboard manager that takes the picture over.
constexpr int kOfferMs = 1000;

// Whether the clipboard offers a picture now. wl-copy succeeds also where
// the desktop ignores it: GNOME lets only the window with the focus set the
// clipboard, and has no protocol for anything else.
bool ClipboardOffersPicture() {
    const auto deadline = platform::DeadlineIn(kOfferMs);
    for (;;) {
        std::string types, error;
        if (RunHelper({"wl-paste", "--list-types"}, "", true, types, error) &&
            ("\n" + types).find(std::string("\n") + kPng + "\n") != std::string::npos)
            return true;
        if (platform::MillisecondsLeft(deadline) == 0) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

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
    const bool copied = RunHelper({kWlCopy, "--type", kPng}, bytes, false, output, error);
    if (!copied || !ClipboardOffersPicture()) {
        error = "the picture did not reach the clipboard: " +
                (copied ? std::string("the desktop took nothing from wl-copy") : error) +
                ". A desktop without a clipboard protocol for programs (GNOME) takes it only from "
                "the window with the keyboard focus: save this action to a file instead";
        return DesktopClipboard::Failed;
    }
    return DesktopClipboard::Done;
}
