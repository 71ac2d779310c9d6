#include "capture/KdeDesktop.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fstream>
#include <utility>

#include "capture/Capture.h"
#include "capture/KdeHotKeys.h"
#include "capture/WaylandClipboard.h"
#include "platform/AppIds.h"
#include "platform/Deadline.h"
#include "platform/NamedObjects.h"

namespace {

constexpr const char* kKWin = "org.kde.KWin";
constexpr const char* kShotPath = "/org/kde/KWin/ScreenShot2";
constexpr const char* kShot = "org.kde.KWin.ScreenShot2";
constexpr const char* kNotAuthorized = "org.kde.KWin.ScreenShot2.Error.NoAuthorized";
constexpr int kAnswerMs = 3000;
// KWin paints a frame for a picture, and a busy desktop may take a while.
constexpr int kPictureMs = 10000;
// The facts a Screen() asked for serve the rest of that action.
constexpr auto kFresh = std::chrono::seconds(2);

// Reads exactly size bytes from fd, or until it ends or the time is up.
std::string ReadPipe(int fd, std::size_t size, int timeoutMs) {
    std::string bytes(size, '\0');
    std::size_t got = 0;
    const auto deadline = platform::DeadlineIn(timeoutMs);
    while (got < size) {
        const int left = platform::MillisecondsLeft(deadline);
        pollfd p{fd, POLLIN, 0};
        if (left == 0 || ::poll(&p, 1, left) <= 0) break;
        const ssize_t n = ::read(fd, bytes.data() + got, size - got);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) break;
        if (n > 0) got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

std::string ExecutablePath() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : "lmgrab";
}

}  // namespace

std::unique_ptr<KdeDesktop> KdeDesktop::Open(const std::shared_ptr<BusConnection>& bus,
                                             std::string& error) {
    JsonValue answer;
    if (!bus->CallService(kKWin, kShotPath, "org.freedesktop.DBus.Properties", "Get",
                          {BusArg::String(kShot), BusArg::String("Version")}, kAnswerMs, answer,
                          error)) {
        std::string why;
        if (!bus->CallService(kKWin, "/KWin", "org.freedesktop.DBus.Peer", "Ping", {}, kAnswerMs,
                              answer, why)) {
            error = "no KWin on the session bus (" + error + ")";
            return nullptr;
        }
        // Its shortcuts and facts still serve; every picture fails with this.
        std::unique_ptr<KdeDesktop> desktop(new KdeDesktop(bus));
        desktop->refused_ =
            "KWin offers no screenshots here: it composites without OpenGL (no GPU render node "
            "for it) or its screenshot effect is off, so lmgrab cannot read the screen";
        return desktop;
    }
    std::unique_ptr<KdeDesktop> desktop(new KdeDesktop(bus));
    // One pixel tells at once whether KWin serves us at all.
    RgbImage probe;
    std::string why;
    if (!desktop->Capture(
            "CaptureArea",
            {BusArg::Int32(0), BusArg::Int32(0), BusArg::UInt32(1), BusArg::UInt32(1)}, false,
            probe, why) &&
        bus->LastErrorName() == kNotAuthorized) {
        desktop->refused_ =
            "KWin takes screenshots only for programs whose installed desktop entry allows it: "
            "install " +
            std::string(platform::kToolAppId) + ".desktop with the lines Exec=" + ExecutablePath() +
            " and X-KDE-DBUS-Restricted-Interfaces=" + kShot +
            " (the package installs it), then log in again";
    }
    return desktop;
}

KdeDesktop::~KdeDesktop() = default;

void KdeDesktop::Prepare() {
    if (!refused_.empty()) return;
    std::string error;
    AskFacts(error);
}

std::unique_ptr<HotKeys> KdeDesktop::MakeHotKeys() {
    std::string error;
    return KdeHotKeys::Open(bus_, error);
}

DesktopClipboard KdeDesktop::PutOnClipboard(const RgbImage& image, std::string& error) {
    return CopyToWaylandClipboard(image, error);
}

bool KdeDesktop::AskFacts(std::string& error) {
    std::string folder;
    if (!platform::NamedObjectDirectory(folder, error)) return false;
    const std::string token = std::to_string(::getpid()) + "-" + std::to_string(++questions_);
    const std::string path = folder + "/lmgrab-kwin-" + token + ".js";
    const std::string plugin = "lmgrab-" + token;
    {
        std::ofstream script(path, std::ios::trunc);
        script << KWinFactsScript(bus_->UniqueName(), token);
        if (!script.flush()) {
            ::unlink(path.c_str());
            error = "cannot write KWin's script in " + folder;
            return false;
        }
    }
    JsonValue answer;
    bool ran =
        bus_->CallService(kKWin, "/Scripting", "org.kde.kwin.Scripting", "loadScript",
                          {BusArg::String(path), BusArg::String(plugin)}, kAnswerMs, answer, error);
    if (ran) {
        const std::string id = answer.items.empty() ? "" : std::to_string(answer.items[0].Int());
        // Plasma 6 keeps a script under /Scripting, 5.27 at the top.
        ran = bus_->CallService(kKWin, "/Scripting/Script" + id, "org.kde.kwin.Script", "run", {},
                                kAnswerMs, answer, error) ||
              bus_->CallService(kKWin, "/" + id, "org.kde.kwin.Script", "run", {}, kAnswerMs,
                                answer, error);
    }
    bool told = false;
    const auto deadline = platform::DeadlineIn(kAnswerMs);
    const auto facts = [](const BusMessage& b) { return b.call && b.member == "Facts"; };
    for (BusMessage m; ran && !told;) {
        if (!bus_->WaitFor(facts, platform::MillisecondsLeft(deadline), m)) {
            error = "KWin did not run lmgrab's script in time";
            break;
        }
        KWinFacts said;
        if (!ReadKWinFacts(m.args.items.empty() ? "" : m.args.items[0].string, said, error)) break;
        // An earlier question's late answer is passed over.
        told = said.token == token;
        if (told) facts_ = std::move(said);
    }
    std::string ignored;
    bus_->CallService(kKWin, "/Scripting", "org.kde.kwin.Scripting", "unloadScript",
                      {BusArg::String(plugin)}, kAnswerMs, answer, ignored);
    ::unlink(path.c_str());
    if (!told) {
        if (error.empty()) error = "KWin refused lmgrab's script";
        error = "KWin does not tell lmgrab its monitors and windows: " + error;
        return false;
    }
    if (facts_.screens != scaledFor_) MeasureScale();
    ScaleFacts(facts_, scale_);
    asked_ = std::chrono::steady_clock::now();
    return true;
}

void KdeDesktop::MeasureScale() {
    scaledFor_ = facts_.screens;
    scale_ = 1;
    // One pixel of each monitor at its own resolution tells its scale.
    for (const Rect& s : facts_.screens) {
        RgbImage probe;
        JsonValue results;
        std::string error;
        if (!Capture("CaptureArea",
                     {BusArg::Int32(s.x), BusArg::Int32(s.y), BusArg::UInt32(1), BusArg::UInt32(1)},
                     false, probe, error, &results))
            continue;
        const double scale = results["scale"].number > 0 ? results["scale"].number : probe.width;
        if (scale <= 8) scale_ = std::max(scale_, scale);
    }
}

bool KdeDesktop::Facts(std::string& error) {
    if (factsError_.empty() && std::chrono::steady_clock::now() - asked_ < kFresh) return true;
    factsError_.clear();
    if (AskFacts(factsError_)) return true;
    error = factsError_;
    return false;
}

Rect KdeDesktop::Screen() {
    asked_ = {};
    windowId_.clear();
    std::string error;
    if (!Facts(error)) return {};
    return BoundingBox(facts_.screens);
}

std::vector<Rect> KdeDesktop::Monitors() {
    std::string error;
    if (!Facts(error)) return {Rect{}};
    return facts_.screens;
}

bool KdeDesktop::Pointer(int& x, int& y) {
    std::string error;
    if (!Facts(error)) return false;
    x = facts_.pointerX;
    y = facts_.pointerY;
    return true;
}

bool KdeDesktop::ActiveWindow(bool withFrame, Rect& area, std::string& error) {
    if (!Facts(error)) return false;
    if (!facts_.hasActive) {
        error = "KDE has no active window";
        return false;
    }
    area = withFrame ? facts_.activeFrame : facts_.activeClient;
    windowId_ = facts_.activeId;
    windowFrame_ = withFrame;
    window_ = area;
    windowBuffer_ = facts_.activeBuffer;
    return true;
}

bool KdeDesktop::Capture(const std::string& method, std::vector<BusArg> args, bool withFrame,
                         RgbImage& image, std::string& error, JsonValue* results) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error = "no pipe for KWin's picture";
        return false;
    }
    // KWin 6.7 and later leave our own windows (the overlay) out when told.
    args.push_back(BusArg::Options(
        {{"include-decoration", withFrame ? "true" : "false"},
         {"include-cursor", "false"},
         {"native-resolution", "true"},
         {"hide-caller-windows", "true"}},
        {"include-decoration", "include-cursor", "native-resolution", "hide-caller-windows"}));
    args.push_back(BusArg::Fd(fds[1]));
    JsonValue answer;
    const bool called =
        bus_->CallService(kKWin, kShotPath, kShot, method, args, kPictureMs, answer, error);
    // The message that carried our end has gone: KWin holds the only writer.
    ::close(fds[1]);
    if (!called) {
        ::close(fds[0]);
        error = "KWin gave no picture: " + error;
        return false;
    }
    const JsonValue described = answer.items.empty() ? JsonValue{} : answer.items[0];
    const std::string bytes = ReadPipe(fds[0], KWinPictureBytes(described), kPictureMs);
    ::close(fds[0]);
    if (results) *results = described;
    return ReadKWinPicture(described, bytes, image, error);
}

bool KdeDesktop::Grab(const Rect& area, RgbImage& image, std::string& error) {
    if (!refused_.empty()) return error = refused_, false;
    RgbImage picture;
    if (!windowId_.empty() && Intersect(area, window_) == area) {
        // The window alone, as KWin paints it: nothing that covers it.
        const std::string id = std::exchange(windowId_, "");
        JsonValue results;
        if (!Capture("CaptureWindow", {BusArg::String(id)}, windowFrame_, picture, error, &results))
            return false;
        // A window on a monitor of another scale comes at that one: it is
        // taken from the screen instead, at the desktop's.
        const double scale = results["scale"].number;
        if (scale <= 0 || std::abs(scale - scale_) < 1e-6) {
            // A picture larger than the window holds all its surface (a
            // client-drawn frame's shadow); else it is centred on the window.
            Rect at = window_;
            if (picture.width != at.width || picture.height != at.height) {
                at = {window_.x - (picture.width - window_.width) / 2,
                      window_.y - (picture.height - window_.height) / 2, picture.width,
                      picture.height};
                if (picture.width == windowBuffer_.width && picture.height == windowBuffer_.height)
                    at = windowBuffer_;
            }
            image = Cut(picture, {area.x - at.x, area.y - at.y, area.width, area.height});
            return true;
        }
    }
    const Rect logical = ToLogicalCover(area, scale_);
    if (!Capture("CaptureArea",
                 {BusArg::Int32(logical.x), BusArg::Int32(logical.y),
                  BusArg::UInt32(static_cast<unsigned>(logical.width)),
                  BusArg::UInt32(static_cast<unsigned>(logical.height))},
                 false, picture, error))
        return false;
    const Rect at = ToPhysical(logical, scale_);
    image = Cut(picture, {area.x - at.x, area.y - at.y, area.width, area.height});
    return true;
}
