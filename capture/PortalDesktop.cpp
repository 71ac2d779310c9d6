#include "capture/PortalDesktop.h"

#include <dbus/dbus.h>
#include <unistd.h>

#include <cstdlib>

#include <fstream>
#include <sstream>

#include "capture/Capture.h"
#include "capture/PngReader.h"
#include "capture/PortalHotKeys.h"
#include "capture/WaylandClipboard.h"
#include "platform/AppIds.h"
#include "platform/Numbers.h"

namespace {

constexpr const char* kScreenshot = "org.freedesktop.portal.Screenshot";
constexpr int kFindPortalMs = 3000;
// A first screenshot may ask the person's permission.
constexpr int kPictureMs = 60000;
// A picture this young serves the grab of the same action.
constexpr auto kFresh = std::chrono::seconds(2);

constexpr const char* kStore = "org.freedesktop.impl.portal.PermissionStore";
constexpr const char* kStorePath = "/org/freedesktop/impl/portal/PermissionStore";
constexpr int kStoreMs = 2000;
constexpr const char* kAllowCommand = "lmgrab --allow-screenshots";

// "file:///a%20b.png" -> "/a b.png"; "" for any other kind of address.
std::string FilePath(const std::string& uri) {
    const std::string scheme = "file://";
    if (uri.compare(0, scheme.size(), scheme) != 0) return "";
    std::string path;
    if (!platform::PercentDecoded(std::string_view(uri).substr(scheme.size()), path)) return "";
    return path.empty() || path[0] != '/' ? "" : path;
}

bool OnGnome() {
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    return desktop &&
           std::string(":").append(desktop).append(":").find(":GNOME:") != std::string::npos;
}

}  // namespace

// The portal keeps the answer in the table "screenshot", under the id
// "screenshot", as a list of one word per application id.
ScreenshotPermission LookUpScreenshotPermission(BusConnection& bus) {
    JsonValue answer;
    std::string error;
    if (!bus.CallService(kStore, kStorePath, kStore, "Lookup",
                         {BusArg::String("screenshot"), BusArg::String("screenshot")}, kStoreMs,
                         answer, error)) {
        return bus.LastErrorName() == "org.freedesktop.portal.Error.NotFound"
                   ? ScreenshotPermission::NotAsked
                   : ScreenshotPermission::Unknown;
    }
    if (answer.items.empty()) return ScreenshotPermission::Unknown;
    const JsonValue& words = answer.items[0][platform::kToolAppId];
    if (words.items.empty()) return ScreenshotPermission::NotAsked;
    if (words.items[0].string == "yes") return ScreenshotPermission::Allowed;
    if (words.items[0].string == "no") return ScreenshotPermission::Refused;
    return ScreenshotPermission::NotAsked;  // "ask": asked each time
}

bool AllowScreenshots(BusConnection& bus, std::string& error) {
    const auto create = BusArg::Raw([](DBusMessageIter* it) {
        const dbus_bool_t yes = TRUE;
        dbus_message_iter_append_basic(it, DBUS_TYPE_BOOLEAN, &yes);
    });
    JsonValue answer;
    if (!bus.CallService(kStore, kStorePath, kStore, "SetPermission",
                         {BusArg::String("screenshot"), create, BusArg::String("screenshot"),
                          BusArg::String(platform::kToolAppId), BusArg::Strings({"yes"})},
                         kStoreMs, answer, error)) {
        error = "the desktop's permission store did not take the permission (" + error + ")";
        return false;
    }
    return true;
}

std::unique_ptr<PortalDesktop> PortalDesktop::Open(std::shared_ptr<BusConnection> bus,
                                                   std::string& error) {
    if (!bus->ReachPortal(kFindPortalMs, error)) return nullptr;
    if (bus->Version(kScreenshot) == 0) {
        error = "the desktop portal offers no screenshots";
        return nullptr;
    }
    return std::unique_ptr<PortalDesktop>(new PortalDesktop(std::move(bus)));
}

std::unique_ptr<HotKeys> PortalDesktop::MakeHotKeys() {
    std::string error;
    return PortalHotKeys::Open(bus_, error);
}

bool PortalDesktop::TakePicture(std::string& error) {
    JsonValue results;
    if (!bus_->Call(
            kScreenshot, "Screenshot",
            {BusArg::String(""), BusArg::Options({{"interactive", "false"}}, {"interactive"})},
            kPictureMs, results, error)) {
        error = "the desktop gave no screenshot: " + error;
        return false;
    }
    const std::string path = FilePath(results["uri"].string);
    std::ifstream file(path, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    if (path.empty() || !file) {
        error = "the desktop's screenshot '" + results["uri"].string + "' cannot be read";
        return false;
    }
    // The picture was made for us alone: it is not left behind.
    ::unlink(path.c_str());
    if (!ReadPng(bytes.str(), picture_, error)) {
        error = "the desktop's screenshot is " + error;
        return false;
    }
    taken_ = std::chrono::steady_clock::now();
    return true;
}

DesktopClipboard PortalDesktop::PutOnClipboard(const RgbImage& image, std::string& error) {
    return CopyToWaylandClipboard(image, error);
}

Rect PortalDesktop::Screen() {
    error_.clear();
    if (!TakePicture(error_)) picture_ = {};
    return {0, 0, picture_.width, picture_.height};
}

std::string PortalDesktop::Unreadable() {
    // A yes is kept: no capture after it asks the store again.
    if (allowed_) return "";
    const ScreenshotPermission permission = LookUpScreenshotPermission(*bus_);
    allowed_ = permission == ScreenshotPermission::Allowed;
    switch (permission) {
        case ScreenshotPermission::Refused:
            return std::string(
                       "the desktop refuses lmgrab's screenshots (the answer to its earlier "
                       "question); to allow them, run: ") +
                   kAllowCommand;
        case ScreenshotPermission::NotAsked:
            if (OnGnome()) {
                return std::string(
                           "the desktop has not been asked yet whether lmgrab may take "
                           "screenshots, and GNOME asks only while a window of lmgrab's has "
                           "the focus; to allow them, run: ") +
                       kAllowCommand;
            }
            return "";
        default:
            return "";
    }
}

bool PortalDesktop::ActiveWindow(bool, Rect&, std::string& error) {
    error = "the desktop portal does not tell the active window";
    return false;
}

bool PortalDesktop::Grab(const Rect& area, RgbImage& image, std::string& error) {
    if (std::chrono::steady_clock::now() - taken_ > kFresh && !TakePicture(error)) return false;
    if (!error_.empty() && picture_.width == 0) return error = error_, false;
    if (area.width <= 0 || Intersect(area, {0, 0, picture_.width, picture_.height}) != area) {
        error = "the area lies outside the desktop's screenshot";
        return false;
    }
    image = Cut(picture_, area);
    return true;
}
