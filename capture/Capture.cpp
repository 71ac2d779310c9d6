#include "capture/Capture.h"

#include <algorithm>
#include <filesystem>

#include "capture/CaptureUi.h"
#include "capture/Encoders.h"
#include "capture/OutputPlan.h"
#include "capture/TargetFile.h"
#include "model/ActionCodes.h"
#include "platform/SafeFile.h"

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
            error = "the rectangle is drawn with the mouse when the action runs";
            return false;
        default:
            error = "grab method " + std::to_string(a.GrabMethod) + " is unknown";
            return false;
    }
}

namespace {

RgbImage Crop(const RgbImage& image, const Rect& r) {
    RgbImage out(r.width, r.height);
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x) out.At(x, y) = image.At(r.x + x, r.y + y) & 0xFFFFFF;
    return out;
}

bool HasExtension(const std::string& path) {
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

}  // namespace

CaptureOutcome RunCapture(const TActionKey& a, const TActionKeys& list, Desktop& desktop,
                          std::time_t now, CaptureUi* ui) {
    CaptureOutcome out;
    const std::string sound = a.Sound.empty() ? list.DefaultSound : a.Sound;
    if (a.SaveTo == codes::kNoOutput) {
        if (ui && !sound.empty()) ui->PlaySound(sound);
        out.ok = true;
        return out;
    }
    if (a.SaveTo != codes::kImageFile && a.SaveTo != codes::kClipboard) {
        out.error = "destination code " + std::to_string(a.SaveTo) + " is unknown";
        return out;
    }
    if (a.SaveTo == codes::kClipboard && !ui) {
        out.error = "saving to the clipboard needs the desktop's clipboard";
        return out;
    }
    Rect area;
    RgbImage image;
    if (a.GrabMethod == codes::kArbitraryRectangle) {
        if (!ui) {
            out.error = "the rectangle drawn with the mouse needs a desktop to draw on";
            return out;
        }
        RgbImage screen;
        if (!desktop.Grab(desktop.Screen(), screen, out.error)) return out;
        if (!ui->ChooseRectangle(screen, area)) {
            out.ok = out.cancelled = true;
            return out;
        }
        image = Crop(screen, area);
    } else if (!AreaOf(a, desktop, area, out.error) || !desktop.Grab(area, image, out.error)) {
        return out;
    }
    if (ui && !sound.empty()) ui->PlaySound(sound);
    const OutputPlan plan = PlanOutput(a, desktop.Depth());
    if (a.SaveTo == codes::kClipboard) {
        out.ok = out.onClipboard = ui->PutOnClipboard(image, plan, out.error);
        return out;
    }
    std::string bytes;
    if (!EncodeImage(image, plan, bytes, out.error)) return out;
    const TargetFolder folder = ResolveTargetFolder(a.TargetDir, list.TargetDir);
    const std::string base = CaptureBaseName(now);
    if (a.QuerryFName && ui) {
        std::error_code ec;
        std::filesystem::create_directories(folder.path, ec);  // so the dialog opens in it
        std::string chosen;
        if (!ui->AskFileName(folder.path + "/" + base + plan.extension, plan.extension, chosen)) {
            out.ok = out.cancelled = true;
            return out;
        }
        if (!HasExtension(chosen)) chosen += plan.extension;
        // The dialog asked before replacing a file; this is the person's choice.
        platform::AtomicFileWriter writer(chosen);
        out.ok = writer.Commit(bytes, out.error);
        if (out.ok) out.path = chosen;
        return out;
    }
    out.ok = WriteNewFile(folder.path, base, plan.extension, bytes, out.path, out.error);
    return out;
}
