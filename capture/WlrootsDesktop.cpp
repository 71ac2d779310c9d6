#include "capture/WlrootsDesktop.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "capture/HelperProgram.h"
#include "capture/SwayHotKeys.h"
#include "capture/WaylandClipboard.h"

namespace {

constexpr const char* kGrim = "grim";

Rect RectOf(const JsonValue& rect) {
    return {rect["x"].Int(), rect["y"].Int(), rect["width"].Int(), rect["height"].Int()};
}

// The focused window of the tree: a node with a window of its own (not a
// workspace or an output) that sway marks focused.
const JsonValue* Focused(const JsonValue& node) {
    const std::string& type = node["type"].string;
    if (node["focused"].boolean && (type == "con" || type == "floating_con")) return &node;
    for (const char* children : {"nodes", "floating_nodes"}) {
        for (const JsonValue& child : node[children].items) {
            if (const JsonValue* found = Focused(child)) return found;
        }
    }
    return nullptr;
}

}  // namespace

bool ReadPpm(const std::string& bytes, RgbImage& image) {
    // "P6", width, height, 255, each after white space, then one white byte.
    std::size_t at = 0;
    long fields[3] = {};
    if (bytes.compare(0, 2, "P6") != 0) return false;
    at = 2;
    for (long& field : fields) {
        while (at < bytes.size() && std::strchr(" \t\r\n", bytes[at])) ++at;
        if (at < bytes.size() && bytes[at] == '#') return false;
        const std::size_t start = at;
        while (at < bytes.size() && bytes[at] >= '0' && bytes[at] <= '9' && at - start < 6)
            field = field * 10 + (bytes[at++] - '0');
        if (at == start) return false;
    }
    if (fields[2] != 255 || fields[0] < 1 || fields[1] < 1 || at >= bytes.size() ||
        !std::strchr(" \t\r\n", bytes[at]))
        return false;
    ++at;
    const auto count = static_cast<std::size_t>(fields[0]) * static_cast<std::size_t>(fields[1]);
    if (bytes.size() - at != count * 3) return false;
    image = RgbImage(static_cast<int>(fields[0]), static_cast<int>(fields[1]));
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + at);
    for (std::size_t i = 0; i < count; ++i, p += 3) image.pixels[i] = Rgb(p[0], p[1], p[2]);
    return true;
}

std::unique_ptr<WlrootsDesktop> WlrootsDesktop::Open(std::string& error) {
    const char* socket = std::getenv("SWAYSOCK");
    auto ipc = SwayIpc::Connect(socket ? socket : "", error);
    if (!ipc) return nullptr;
    return std::unique_ptr<WlrootsDesktop>(new WlrootsDesktop(socket, std::move(ipc)));
}

std::unique_ptr<HotKeys> WlrootsDesktop::MakeHotKeys() {
    std::string error;
    return SwayHotKeys::Open(ipc_, socket_, error);
}

std::vector<Rect> WlrootsDesktop::Monitors() {
    JsonValue outputs;
    std::string error;
    std::vector<Rect> monitors;
    if (ipc_->Ask(SwayIpc::kGetOutputs, "", outputs, error)) {
        for (const JsonValue& output : outputs.items) {
            if (output["active"].boolean) monitors.push_back(RectOf(output["rect"]));
        }
    }
    return monitors;
}

Rect WlrootsDesktop::Screen() {
    return BoundingBox(Monitors());
}

std::string WlrootsDesktop::Unreadable() {
    if (HelperInstalled(kGrim)) return "";
    return "grim is not installed: lmgrab reads sway's screen through it (apt install grim)";
}

DesktopClipboard WlrootsDesktop::PutOnClipboard(const RgbImage& image, std::string& error) {
    return CopyToWaylandClipboard(image, error);
}

bool WlrootsDesktop::ActiveWindow(bool withFrame, Rect& area, std::string& error) {
    JsonValue tree;
    if (!ipc_->Ask(SwayIpc::kGetTree, "", tree, error)) return false;
    const JsonValue* window = Focused(tree);
    if (!window) {
        error = "no window has the focus";
        return false;
    }
    area = RectOf((*window)["rect"]);
    // sway leaves the title bar out of the rectangle; it sits right above,
    // unless the window is a tab among others.
    if (const Rect title = RectOf((*window)["deco_rect"]);
        withFrame && title.height > 0 && title.width == area.width) {
        area.y -= title.height;
        area.height += title.height;
    }
    if (!withFrame) {
        const Rect inner = RectOf((*window)["window_rect"]);
        area = {area.x + inner.x, area.y + inner.y, inner.width, inner.height};
    }
    return true;
}

bool WlrootsDesktop::Grab(const Rect& area, RgbImage& image, std::string& error) {
    const std::string region = std::to_string(area.x) + "," + std::to_string(area.y) + " " +
                               std::to_string(area.width) + "x" + std::to_string(area.height);
    std::string ppm;
    if (!RunHelper({kGrim, "-s", "1", "-t", "ppm", "-g", region, "-"}, "", true, ppm, error)) {
        error = "grim could not read the screen (" + error + ")";
        return false;
    }
    if (!ReadPpm(ppm, image) || image.width != area.width || image.height != area.height) {
        error = "grim gave a picture lmgrab cannot read";
        return false;
    }
    return true;
}
