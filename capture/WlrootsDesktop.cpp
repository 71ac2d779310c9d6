#include "capture/WlrootsDesktop.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "capture/SwayHotKeys.h"

extern char** environ;

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

// Everything a program writes on fd until it closes it.
std::string ReadAll(int fd) {
    std::string bytes;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return bytes;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

// Runs grim with args; its picture, or false with what it said.
bool RunGrim(const std::vector<std::string>& args, std::string& out, std::string& error) {
    int picture[2], said[2];
    if (::pipe2(picture, O_CLOEXEC) != 0) return error = "cannot run grim", false;
    if (::pipe2(said, O_CLOEXEC) != 0) {
        ::close(picture[0]), ::close(picture[1]);
        return error = "cannot run grim", false;
    }
    std::vector<char*> argv{const_cast<char*>(kGrim)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, picture[1], 1);
    posix_spawn_file_actions_adddup2(&actions, said[1], 2);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, kGrim, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(picture[1]), ::close(said[1]);
    if (spawned != 0) {
        ::close(picture[0]), ::close(said[0]);
        error = "grim cannot be run (" + std::string(std::strerror(spawned)) + ")";
        return false;
    }
    out = ReadAll(picture[0]);  // a picture fills any pipe long before grim's few words
    std::string words = ReadAll(said[0]);
    ::close(picture[0]), ::close(said[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    while (!words.empty() && (words.back() == '\n' || words.back() == ' ')) words.pop_back();
    error = "grim could not read the screen" + (words.empty() ? "" : ": " + words);
    return false;
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
    return SwayHotKeys::Open(socket_, error);
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
    const std::vector<Rect> monitors = Monitors();
    if (monitors.empty()) return {};
    int left = monitors[0].x, top = monitors[0].y, right = left, bottom = top;
    for (const Rect& m : monitors) {
        left = std::min(left, m.x), top = std::min(top, m.y);
        right = std::max(right, m.x + m.width), bottom = std::max(bottom, m.y + m.height);
    }
    return {left, top, right - left, bottom - top};
}

std::string WlrootsDesktop::Unreadable() {
    // posix_spawnp's own search, asked without running anything.
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= folders.size();) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::string file = folders.substr(start, end - start) + "/" + kGrim;
        if (::access(file.c_str(), X_OK) == 0) return "";
        start = end + 1;
    }
    return "grim is not installed: lmgrab reads sway's screen through it (apt install grim)";
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
    if (!RunGrim({"-s", "1", "-t", "ppm", "-g", region, "-"}, ppm, error)) return false;
    if (!ReadPpm(ppm, image) || image.width != area.width || image.height != area.height) {
        error = "grim gave a picture lmgrab cannot read";
        return false;
    }
    return true;
}
