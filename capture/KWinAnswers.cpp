#include "capture/KWinAnswers.h"

#include <bit>
#include <cmath>
#include <cstdint>

#include "platform/AppIds.h"

namespace {

// QImage's formats KWin sends: 32-bit words 0xAARRGGBB in native order,
// or bytes R, G, B(, A). Premultiplied alpha is kept as it is: the picture
// composed over black.
enum class Layout { Word, Rgba, Rgb };
struct Format {
    unsigned qimage;
    Layout layout;
};
constexpr Format kFormats[] = {
    {4, Layout::Word},   // RGB32
    {5, Layout::Word},   // ARGB32
    {6, Layout::Word},   // ARGB32_Premultiplied
    {13, Layout::Rgb},   // RGB888
    {16, Layout::Rgba},  // RGBX8888
    {17, Layout::Rgba},  // RGBA8888
    {18, Layout::Rgba},  // RGBA8888_Premultiplied
};
constexpr long kMaxSide = 32768;
constexpr std::size_t kMaxBytes = std::size_t{1} << 30;

// A whole number in [0, limit]; -1 where the value is none.
long Count(const JsonValue& v, long limit) {
    if (v.type != JsonValue::Type::Number || !(v.number >= 0) || v.number > limit ||
        v.number != std::floor(v.number))
        return -1;
    return static_cast<long>(v.number);
}

int Coordinate(const JsonValue& v) {
    if (v.type != JsonValue::Type::Number || !std::isfinite(v.number)) return 0;
    return static_cast<int>(std::lround(std::fmax(-1e8, std::fmin(1e8, v.number))));
}

bool ReadRect(const JsonValue& v, Rect& r) {
    if (v.type != JsonValue::Type::Array || v.items.size() != 4) return false;
    r = {Coordinate(v.items[0]), Coordinate(v.items[1]), Coordinate(v.items[2]),
         Coordinate(v.items[3])};
    return r.width > 0 && r.height > 0;
}

const Format* FormatOf(const JsonValue& results) {
    const long format = Count(results["format"], 1000);
    for (const Format& f : kFormats)
        if (static_cast<long>(f.qimage) == format) return &f;
    return nullptr;
}

int BytesPerPixel(Layout layout) {
    return layout == Layout::Rgb ? 3 : 4;
}

}  // namespace

std::size_t KWinPictureBytes(const JsonValue& results) {
    const Format* format = FormatOf(results);
    const long width = Count(results["width"], kMaxSide),
               height = Count(results["height"], kMaxSide);
    const long stride = Count(results["stride"], kMaxSide * 4 + 64);
    if (!format || width <= 0 || height <= 0 || stride < width * BytesPerPixel(format->layout) ||
        results["type"].string != "raw")
        return 0;
    const auto bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(height);
    return bytes > kMaxBytes ? 0 : bytes;
}

bool ReadKWinPicture(const JsonValue& results, const std::string& bytes, RgbImage& image,
                     std::string& error) {
    const std::size_t size = KWinPictureBytes(results);
    if (size == 0) {
        error = "KWin's picture is of a kind lmgrab does not read (type \"" +
                results["type"].string + "\", format " +
                std::to_string(Count(results["format"], 1000)) + ")";
        return false;
    }
    if (bytes.size() < size) {
        error = "KWin's picture was cut short (" + std::to_string(bytes.size()) + " of " +
                std::to_string(size) + " bytes)";
        return false;
    }
    const Layout layout = FormatOf(results)->layout;
    const int width = static_cast<int>(Count(results["width"], kMaxSide));
    const int height = static_cast<int>(Count(results["height"], kMaxSide));
    const auto stride = static_cast<std::size_t>(Count(results["stride"], kMaxSide * 4 + 64));
    image = RgbImage(width, height);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    for (int y = 0; y < height; ++y) {
        const unsigned char* row = data + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < width; ++x) {
            std::uint32_t c = 0;
            if (layout == Layout::Word) {
                const unsigned char* p = row + 4 * x;
                c = static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16);
                if constexpr (std::endian::native == std::endian::big)
                    c = static_cast<std::uint32_t>(p[3] | p[2] << 8 | p[1] << 16);
            } else {
                const unsigned char* p = row + BytesPerPixel(layout) * x;
                c = static_cast<std::uint32_t>(p[0] << 16 | p[1] << 8 | p[2]);
            }
            image.At(x, y) = c;
        }
    }
    return true;
}

Rect ToPhysical(const Rect& logical, double scale) {
    const auto at = [scale](int v) { return static_cast<int>(std::lround(v * scale)); };
    const int x = at(logical.x), y = at(logical.y);
    return {x, y, at(logical.x + logical.width) - x, at(logical.y + logical.height) - y};
}

Rect ToLogicalCover(const Rect& physical, double scale) {
    const auto down = [scale](int v) { return static_cast<int>(std::floor(v / scale + 1e-9)); };
    const auto up = [scale](int v) { return static_cast<int>(std::ceil(v / scale - 1e-9)); };
    const int x = down(physical.x), y = down(physical.y);
    return {x, y, up(physical.x + physical.width) - x, up(physical.y + physical.height) - y};
}

void ScaleFacts(KWinFacts& facts, double scale) {
    if (scale == 1) return;
    for (Rect& s : facts.screens) s = ToPhysical(s, scale);
    facts.pointerX = static_cast<int>(std::floor(facts.pointerX * scale));
    facts.pointerY = static_cast<int>(std::floor(facts.pointerY * scale));
    for (Rect* r : {&facts.activeFrame, &facts.activeClient, &facts.activeBuffer})
        *r = ToPhysical(*r, scale);
}

std::string KWinFactsScript(const std::string& to, const std::string& token) {
    // Names and token are ours: a bus name and a number, nothing to escape.
    return R"js((function () {
var screens = [];
if (workspace.screens !== undefined) {
    for (var i = 0; i < workspace.screens.length; ++i) {
        var g = workspace.screens[i].geometry;
        screens.push([g.x, g.y, g.width, g.height]);
    }
} else {
    for (var n = 0; n < workspace.numScreens; ++n) {
        var r = workspace.clientArea(KWin.ScreenArea, n, 0);
        screens.push([r.x, r.y, r.width, r.height]);
    }
}
var w = workspace.activeWindow !== undefined ? workspace.activeWindow : workspace.activeClient;
var active = null;
if (w && !w.desktopWindow && !w.dock) {
    var f = w.frameGeometry;
    var c = w.clientGeometry !== undefined ? w.clientGeometry : w.bufferGeometry;
    var b = w.bufferGeometry;
    active = {id: String(w.internalId), frame: [f.x, f.y, f.width, f.height],
              client: [c.x, c.y, c.width, c.height], buffer: [b.x, b.y, b.width, b.height]};
}
var p = workspace.cursorPos;
callDBus(")js" +
           to + R"js(", "/lmgrab", ")js" + platform::kToolAppId + R"js(.KWinFacts", "Facts",
         JSON.stringify({token: ")js" +
           token + R"js(", screens: screens,
                         pointer: [p.x, p.y], active: active}));
})();
)js";
}

bool ReadKWinFacts(const std::string& text, KWinFacts& facts, std::string& error) {
    JsonValue v;
    if (!ParseJson(text, v, error)) return false;
    facts = {};
    facts.token = v["token"].string;
    for (const JsonValue& s : v["screens"].items) {
        Rect r;
        if (ReadRect(s, r)) facts.screens.push_back(r);
    }
    if (facts.screens.empty()) {
        error = "KWin tells no monitor";
        return false;
    }
    const JsonValue& pointer = v["pointer"];
    if (pointer.items.size() == 2) {
        facts.pointerX = Coordinate(pointer.items[0]);
        facts.pointerY = Coordinate(pointer.items[1]);
    }
    const JsonValue& active = v["active"];
    facts.activeId = active["id"].string;
    facts.hasActive = !facts.activeId.empty() && ReadRect(active["frame"], facts.activeFrame);
    // A client-side decorated window's buffer reaches beyond its frame
    // (shadows): its client area lies within the frame.
    if (facts.hasActive &&
        (!ReadRect(active["client"], facts.activeClient) ||
         (facts.activeClient = Intersect(facts.activeClient, facts.activeFrame)).width == 0))
        facts.activeClient = facts.activeFrame;
    if (facts.hasActive && !ReadRect(active["buffer"], facts.activeBuffer))
        facts.activeBuffer = facts.activeFrame;
    return true;
}
