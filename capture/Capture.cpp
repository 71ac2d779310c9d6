#include "capture/Capture.h"

#include <algorithm>

#include "capture/Encoders.h"
#include "capture/OutputPlan.h"
#include "capture/TargetFile.h"
#include "model/ActionCodes.h"

namespace {

Rect Intersect(const Rect& a, const Rect& b) {
    const int left = std::max(a.x, b.x), top = std::max(a.y, b.y);
    const int right = std::min(a.x + a.width, b.x + b.width),
              bottom = std::min(a.y + a.height, b.y + b.height);
    return right > left && bottom > top ? Rect{left, top, right - left, bottom - top} : Rect{};
}

// Places length centred on centre within [0, limit), shrinking it to fit.
void Centre(int centre, int limit, int& start, int& length) {
    length = std::min(length, limit);
    start = std::clamp(centre - length / 2, 0, limit - length);
}

}  // namespace

bool AreaOf(const TActionKey& a, Desktop& desktop, Rect& area, std::string& error) {
    const Rect screen = desktop.Screen();
    switch (a.GrabMethod) {
        case codes::kFullScreen:
            area = screen;
            return true;
        case codes::kTopWindow:
        case codes::kClientArea: {
            Rect window;
            if (!desktop.ActiveWindow(a.GrabMethod == codes::kTopWindow, window, error))
                return false;
            area = Intersect(window, screen);
            if (area.width == 0) error = "the active window lies outside the screen";
            return area.width > 0;
        }
        case codes::kFixedRectangle: {
            if (a.RecWidth <= 0 || a.RecHeight <= 0) {
                error = "the rectangle's size is not positive";
                return false;
            }
            int px = 0, py = 0;
            if (!desktop.Pointer(px, py)) {
                error = "cannot find the mouse pointer";
                return false;
            }
            area.width = a.RecWidth;
            area.height = a.RecHeight;
            Centre(px, screen.width, area.x, area.width);
            Centre(py, screen.height, area.y, area.height);
            return true;
        }
        case codes::kArbitraryRectangle:
            error = "the rectangle drawn with the mouse is not supported yet";
            return false;
        default:
            error = "grab method " + std::to_string(a.GrabMethod) + " is unknown";
            return false;
    }
}

CaptureOutcome RunCapture(const TActionKey& a, const TActionKeys& list, Desktop& desktop,
                          std::time_t now) {
    CaptureOutcome out;
    if (a.SaveTo == codes::kNoOutput) {
        out.ok = true;
        return out;
    }
    if (a.SaveTo != codes::kImageFile) {
        out.error = a.SaveTo == codes::kClipboard
                        ? "saving to the clipboard is not supported yet"
                        : "destination code " + std::to_string(a.SaveTo) + " is unknown";
        return out;
    }
    Rect area;
    RgbImage image;
    if (!AreaOf(a, desktop, area, out.error) || !desktop.Grab(area, image, out.error)) return out;
    const OutputPlan plan = PlanOutput(a, desktop.Depth());
    std::string bytes;
    if (!EncodeImage(image, plan, bytes, out.error)) return out;
    const TargetFolder folder = ResolveTargetFolder(a.TargetDir, list.TargetDir);
    out.ok =
        WriteNewFile(folder.path, CaptureBaseName(now), plan.extension, bytes, out.path, out.error);
    return out;
}
