#include "capture/Capture.h"

#include <algorithm>
#include <filesystem>

#include "capture/CapturePlan.h"
#include "capture/CaptureUi.h"
#include "capture/Encoders.h"
#include "capture/OutputPlan.h"
#include "capture/TargetFile.h"
#include "model/ActionCodes.h"
#include "platform/SafeFile.h"

namespace {

// Places length centred on centre within [0, limit), shrinking it to fit.
void Centre(int centre, int limit, int& start, int& length) {
    length = std::min(length, limit);
    start = std::clamp(centre - length / 2, 0, limit - length);
}

}  // namespace

std::string CannotGrabHere(int grabMethod, Desktop& desktop) {
    const DesktopCapabilities can = desktop.Capabilities();
    const bool window = grabMethod == codes::kTopWindow || grabMethod == codes::kClientArea;
    if ((window && !can.activeWindow) || (grabMethod == codes::kFixedRectangle && !can.pointer)) {
        return "this desktop (" + desktop.Name() + ") does not tell lmgrab " +
               (window ? "its active window" : "where the mouse pointer is");
    }
    return "";
}

std::vector<std::string> DesktopProblems(const TActionKeys& list, Desktop& desktop) {
    std::vector<std::string> problems;
    for (int i = 0; i < list.Count(); ++i) {
        const TActionKey& a = list.Get(i);
        if (const std::string why = CannotGrabHere(a.GrabMethod, desktop); !why.empty())
            problems.push_back(ActionLabel(i + 1, a.Name) + ": " + why + ", so it cannot run here");
    }
    return problems;
}

bool AreaOf(const TActionKey& a, Desktop& desktop, Rect& area, std::string& error) {
    error = CannotGrabHere(a.GrabMethod, desktop);
    if (!error.empty()) return false;
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
            // Inside the monitor under the pointer: no pixels no monitor shows.
            Rect monitor = screen;
            for (const Rect& m : desktop.Monitors())
                if (m.Contains(px, py)) monitor = m;
            area.width = a.RecWidth;
            area.height = a.RecHeight;
            Centre(px - monitor.x, monitor.width, area.x, area.width);
            Centre(py - monitor.y, monitor.height, area.y, area.height);
            area.x += monitor.x;
            area.y += monitor.y;
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

RgbImage Cut(const RgbImage& image, const Rect& area) {
    RgbImage out(area.width, area.height);
    const Rect inside = Intersect(area, {0, 0, image.width, image.height});
    for (int y = inside.y; y < inside.y + inside.height; ++y)
        for (int x = inside.x; x < inside.x + inside.width; ++x)
            out.At(x - area.x, y - area.y) = image.At(x, y) & 0xFFFFFF;
    return out;
}

namespace {

// Pixels of area that no monitor shows are undefined on X11: black.
void BlankUnshown(RgbImage& image, const Rect& area, const std::vector<Rect>& monitors) {
    for (const Rect& m : monitors)
        if (Intersect(m, area) == area) return;
    if (image.borrowed) image = Cut(image, {0, 0, image.width, image.height});
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const int sx = area.x + x, sy = area.y + y;
            bool shown = false;
            for (const Rect& m : monitors) shown = shown || m.Contains(sx, sy);
            if (!shown) image.At(x, y) = 0;
        }
    }
}

}  // namespace

CaptureOutcome RunCapture(const TActionKey& a, const TActionKeys& list, Desktop& desktop,
                          std::time_t now, CaptureUi* ui) {
    CaptureOutcome out;
    std::string sound = a.Sound.empty() ? list.DefaultSound : a.Sound;
    if (IsOtherDesktopPath(sound)) sound.clear();  // the plan has said so already
    if (a.SaveTo == codes::kNoOutput) {
        if (ui && !sound.empty()) ui->PlaySound(sound);
        out.ok = true;
        return out;
    }
    // Destinations the editor does not know it shows as a file: so be it.
    const bool toClipboard = a.SaveTo == codes::kClipboard;
    if (toClipboard && !ui && !desktop.Capabilities().clipboard) {
        out.error = "saving to the clipboard needs the desktop's clipboard";
        return out;
    }
    if (out.error = desktop.Unreadable(); !out.error.empty()) return out;
    Rect area;
    RgbImage image;
    if (a.GrabMethod == codes::kArbitraryRectangle) {
        if (!ui) {
            out.error = "the rectangle drawn with the mouse needs a desktop to draw on";
            return out;
        }
        // The screen first: a desktop that learns its size from a picture
        // (the portal's) then has one picture for all three.
        RgbImage screen;
        const Rect whole = desktop.Screen();
        const std::vector<Rect> monitors = desktop.Monitors();
        if (!desktop.Grab(whole, screen, out.error)) return out;
        BlankUnshown(screen, whole, monitors);
        if (!ui->ChooseRectangle(screen, monitors, desktop.PictureScale(), area)) {
            out.ok = out.cancelled = true;
            return out;
        }
        image = Cut(screen, area);
    } else if (!AreaOf(a, desktop, area, out.error) || !desktop.Grab(area, image, out.error)) {
        return out;
    } else {
        BlankUnshown(image, area, desktop.Monitors());
    }
    if (ui && !sound.empty()) ui->PlaySound(sound);
    OutputPlan plan = PlanOutput(a, desktop.Depth());
    if (toClipboard) {
        const DesktopClipboard by = desktop.PutOnClipboard(image, out.error);
        if (by == DesktopClipboard::ByTheUi && ui) {
            out.ok = out.onClipboard = ui->PutOnClipboard(image, plan, out.error);
        } else {
            out.ok = out.onClipboard = by == DesktopClipboard::Done;
        }
        return out;
    }
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
        // The name's own format where the tool writes it: a person who
        // typed "shot.png" wants PNG bytes in it.
        if (const FormatInfo* named = FormatOfFileName(chosen);
            named && named->format != plan.format) {
            TActionKey asNamed = a;
            asNamed.Extension = named->extension;
            plan = PlanOutput(asNamed, desktop.Depth());
        }
        std::string bytes;
        if (!EncodeImage(image, plan, bytes, out.error)) return out;
        // The dialog asked before replacing a file; this is the person's choice.
        platform::AtomicFileWriter writer(chosen);
        out.ok = writer.Commit(bytes, out.error);
        if (out.ok) out.path = chosen;
        return out;
    }
    std::string bytes;
    if (!EncodeImage(image, plan, bytes, out.error)) return out;
    out.ok = WriteNewFile(folder.path, base, plan.extension, bytes, out.path, out.error);
    return out;
}
