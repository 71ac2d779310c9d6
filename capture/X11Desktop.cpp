#include "capture/X11Desktop.h"

#include "capture/X11HotKeys.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrandr.h>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstring>

#include <bit>
#include <string_view>
#include <vector>

namespace {

int g_firstError = 0;

int RecordError(Display*, XErrorEvent* event) {
    if (!g_firstError) g_firstError = event->error_code;
    return 0;
}

// Reads a property of 32-bit items (CARDINAL or WINDOW).
bool LongProperty(Display* d, Window w, const char* name, Atom type, std::vector<long>& items) {
    const Atom atom = XInternAtom(d, name, True);
    if (atom == None) return false;
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, atom, 0, 16, False, type, &actual, &format, &count, &after,
                           &data) != Success)
        return false;
    const bool ok = data && actual == type && format == 32 && count > 0;
    if (ok) items.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
    if (data) XFree(data);
    return ok;
}

// A channel of the visual: where it sits and how wide it is.
struct Channel {
    int shift = 0, width = 0;
    explicit Channel(unsigned long mask) {
        if (!mask) return;
        shift = std::countr_zero(mask);
        width = std::popcount(mask);
    }
    int Eight(unsigned long pixel) const {
        if (width == 0) return 0;
        unsigned v = static_cast<unsigned>((pixel >> shift) & ((1ul << width) - 1));
        if (width >= 8) return static_cast<int>(v >> (width - 8));
        // Repeats the high bits below, so 5 and 6 bits come back exactly.
        unsigned out = 0;
        for (int filled = 0; filled < 8; filled += width)
            out |= filled + width <= 8 ? v << (8 - filled - width) : v >> (filled + width - 8);
        return static_cast<int>(out);
    }
};

}  // namespace

std::unique_ptr<X11Desktop> X11Desktop::Open(std::string& error) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        const char* name = XDisplayName(nullptr);
        error = "cannot open the X display '" + std::string(name ? name : "") + "'";
        return nullptr;
    }
    XSetErrorHandler(RecordError);
    return std::unique_ptr<X11Desktop>(new X11Desktop(display));
}

X11Desktop::X11Desktop(Display* display) : display_(display) {
    int error = 0, opcode = 0, first = 0;
    if (XRRQueryExtension(display_, &randrEvent_, &error)) {
        XRRSelectInput(
            display_, DefaultRootWindow(display_),
            RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    } else {
        randrEvent_ = -1;
    }
    // XWayland serves X11 windows on a Wayland desktop; its root window
    // shows none of the desktop's pixels. Newer servers say so by an
    // extension; all of them name their outputs XWAYLAND0, XWAYLAND1, ...
    xwayland_ = XQueryExtension(display_, "XWAYLAND", &opcode, &first, &error);
    if (randrEvent_ >= 0) {
        XRRScreenResources* resources =
            XRRGetScreenResourcesCurrent(display_, DefaultRootWindow(display_));
        for (int i = 0; resources && i < resources->noutput && !xwayland_; ++i) {
            if (XRROutputInfo* output =
                    XRRGetOutputInfo(display_, resources, resources->outputs[i])) {
                xwayland_ =
                    std::string_view(output->name, static_cast<std::size_t>(output->nameLen))
                        .starts_with("XWAYLAND");
                XRRFreeOutputInfo(output);
            }
        }
        if (resources) XRRFreeScreenResources(resources);
    }
    ReadScreen();
}

// The screen's size and its monitors as the server has them now.
void X11Desktop::ReadScreen() {
    Window root;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    XGetGeometry(display_, DefaultRootWindow(display_), &root, &x, &y, &width, &height, &border,
                 &depth);
    screen_ = {0, 0, static_cast<int>(width), static_cast<int>(height)};
    monitors_.clear();
    int count = 0;
    XRRMonitorInfo* list = randrEvent_ >= 0
                               ? XRRGetMonitors(display_, DefaultRootWindow(display_), True, &count)
                               : nullptr;
    for (int i = 0; i < count; ++i) {
        const Rect m = Intersect({list[i].x, list[i].y, list[i].width, list[i].height}, screen_);
        if (m.width <= 0 || m.height <= 0) continue;
        // The primary monitor first: where a drawn rectangle's help shows.
        monitors_.insert(list[i].primary ? monitors_.begin() : monitors_.end(), m);
    }
    if (list) XRRFreeMonitors(list);
    if (monitors_.empty()) monitors_.push_back(screen_);
}

bool X11Desktop::HandleEvent(void* data) {
    auto* event = static_cast<XEvent*>(data);
    if (randrEvent_ < 0 || event->type < randrEvent_ || event->type > randrEvent_ + RRNotify)
        return false;
    XRRUpdateConfiguration(event);
    ReadScreen();
    // A segment sized for the old screen would be too small or wasteful.
    ReleaseShared();
    return true;
}

DesktopCapabilities X11Desktop::Capabilities() {
    // XWayland sees X11 windows only (its pixels: Unreadable).
    return {!xwayland_, true, false};
}

std::unique_ptr<HotKeys> X11Desktop::MakeHotKeys() {
    return std::make_unique<X11HotKeys>(*this);
}

std::vector<Rect> X11Desktop::Monitors() {
    // Monitors set by hand (xrandr --setmonitor) send no event: ask each time.
    ReadScreen();
    return monitors_;
}

std::string X11Desktop::Unreadable() {
    if (!xwayland_) return "";
    return "this X server is XWayland, which cannot show lmgrab the Wayland desktop's pixels (a "
           "capture would be black); nothing is captured";
}

X11Desktop::~X11Desktop() {
    ReleaseShared();
    XCloseDisplay(display_);
}

int X11Desktop::TakeError() {
    // Qt sets its own handler when it opens its display; errors of ours are
    // handled as they are read, during this sync, so ours must be in place.
    XSetErrorHandler(RecordError);
    XSync(display_, False);
    const int code = g_firstError;
    g_firstError = 0;
    return code;
}

Rect X11Desktop::Screen() {
    return screen_;
}

int X11Desktop::Depth() {
    return DefaultDepth(display_, DefaultScreen(display_));
}

bool X11Desktop::Pointer(int& x, int& y) {
    Window root, child;
    int wx, wy;
    unsigned mask;
    return XQueryPointer(display_, DefaultRootWindow(display_), &root, &child, &x, &y, &wx, &wy,
                         &mask);
}

bool X11Desktop::ActiveWindow(bool withFrame, Rect& area, std::string& error) {
    const Window root = DefaultRootWindow(display_);
    TakeError();
    Window window = None;
    std::vector<long> items;
    if (LongProperty(display_, root, "_NET_ACTIVE_WINDOW", XA_WINDOW, items))
        window = static_cast<Window>(items[0]);
    if (window == None) {
        int revert;
        XGetInputFocus(display_, &window, &revert);
        if (window == PointerRoot) window = None;
    }
    XWindowAttributes attributes;
    Window child;
    int x = 0, y = 0;
    if (window == None || window == root || !XGetWindowAttributes(display_, window, &attributes) ||
        !XTranslateCoordinates(display_, window, root, 0, 0, &x, &y, &child) || TakeError()) {
        error = "there is no active window";
        return false;
    }
    area = {x, y, attributes.width, attributes.height};
    // Windows that draw their own frame and shadow say how wide it is.
    if (LongProperty(display_, window, "_GTK_FRAME_EXTENTS", XA_CARDINAL, items) &&
        items.size() == 4) {
        area = {area.x + static_cast<int>(items[0]), area.y + static_cast<int>(items[2]),
                area.width - static_cast<int>(items[0] + items[1]),
                area.height - static_cast<int>(items[2] + items[3])};
    }
    if (!withFrame) return true;
    if (LongProperty(display_, window, "_NET_FRAME_EXTENTS", XA_CARDINAL, items) &&
        items.size() == 4) {
        area = {area.x - static_cast<int>(items[0]), area.y - static_cast<int>(items[2]),
                area.width + static_cast<int>(items[0] + items[1]),
                area.height + static_cast<int>(items[2] + items[3])};
        return true;
    }
    // Without the hint, the frame is the window's ancestor just below the root.
    Window current = window, parent = None, rootReturn;
    Window* children = nullptr;
    unsigned count = 0;
    while (XQueryTree(display_, current, &rootReturn, &parent, &children, &count)) {
        if (children) XFree(children);
        if (parent == root || parent == None) break;
        current = parent;
    }
    if (current != window && XGetWindowAttributes(display_, current, &attributes)) {
        area = {attributes.x, attributes.y, attributes.width + 2 * attributes.border_width,
                attributes.height + 2 * attributes.border_width};
    }
    TakeError();
    return true;
}

namespace {

// Rows of 0x??RRGGBB words, as an image may borrow them.
bool IsDirect(const XImage* x) {
    return x->bits_per_pixel == 32 && x->red_mask == 0xFF0000 && x->green_mask == 0xFF00 &&
           x->blue_mask == 0xFF && x->byte_order == LSBFirst && x->bytes_per_line == 4 * x->width;
}

// Colours of a screen whose pixels are indexes into a colour map (8-bit
// PseudoColor and kin); empty for screens of true colour.
std::vector<std::uint32_t> ColourMap(Display* d) {
    const int screen = DefaultScreen(d);
    const Visual* visual = DefaultVisual(d, screen);
    if (visual->c_class == TrueColor || visual->c_class == DirectColor) return {};
    const int entries = std::min(visual->map_entries, 4096);
    std::vector<XColor> colours(static_cast<std::size_t>(entries));
    for (int i = 0; i < entries; ++i) colours[i].pixel = static_cast<unsigned long>(i);
    XQueryColors(d, DefaultColormap(d, screen), colours.data(), entries);
    std::vector<std::uint32_t> out;
    out.reserve(colours.size());
    for (const XColor& c : colours) out.push_back(Rgb(c.red >> 8, c.green >> 8, c.blue >> 8));
    return out;
}

void Convert(XImage* x, RgbImage& image, const std::vector<std::uint32_t>& map) {
    const Channel red(x->red_mask), green(x->green_mask), blue(x->blue_mask);
    const bool direct = IsDirect(x);
    if (!map.empty()) {
        for (int row = 0; row < image.height; ++row)
            for (int col = 0; col < image.width; ++col) {
                const unsigned long p = XGetPixel(x, col, row);
                image.At(col, row) = p < map.size() ? map[p] : 0;
            }
        return;
    }
    for (int row = 0; row < image.height; ++row) {
        std::uint32_t* out = &image.pixels[static_cast<std::size_t>(row) * image.width];
        const char* in = x->data + static_cast<std::size_t>(row) * x->bytes_per_line;
        if (direct) {
            for (int col = 0; col < image.width; ++col) {
                std::uint32_t p;
                std::memcpy(&p, in + 4 * col, 4);
                out[col] = p & 0xFFFFFF;
            }
        } else if (x->bits_per_pixel == 16 && x->byte_order == LSBFirst) {
            for (int col = 0; col < image.width; ++col) {
                const unsigned long p =
                    static_cast<unsigned char>(in[2 * col]) |
                    static_cast<unsigned>(static_cast<unsigned char>(in[2 * col + 1])) << 8;
                out[col] = Rgb(red.Eight(p), green.Eight(p), blue.Eight(p));
            }
        } else {
            for (int col = 0; col < image.width; ++col) {
                const unsigned long p = XGetPixel(x, col, row);
                out[col] = Rgb(red.Eight(p), green.Eight(p), blue.Eight(p));
            }
        }
    }
}

}  // namespace

// A shared memory segment the server copies screen pixels into: they need
// not travel the connection, and kept between grabs it costs nothing more.
struct X11Desktop::SharedSegment {
    XShmSegmentInfo info{};
    std::size_t size = 0;
};

void X11Desktop::ReleaseShared() {
    if (!shared_) return;
    XShmDetach(display_, &shared_->info);
    XSync(display_, False);
    shmdt(shared_->info.shmaddr);
    shared_.reset();
}

bool X11Desktop::GrabShared(const Rect& area, RgbImage& image) {
    if (sharedRefused_) return false;
    const int screen = DefaultScreen(display_);
    XImage* x = XShmCreateImage(
        display_, DefaultVisual(display_, screen), static_cast<unsigned>(Depth()), ZPixmap, nullptr,
        nullptr, static_cast<unsigned>(area.width), static_cast<unsigned>(area.height));
    if (!x) return false;
    const std::size_t size = static_cast<std::size_t>(x->bytes_per_line) * x->height;
    if (!shared_ || shared_->size < size) {
        ReleaseShared();
        // Room for the whole screen, so that later grabs fit.
        const Rect whole = Screen();
        const std::size_t want =
            std::max(size, static_cast<std::size_t>(whole.width) * whole.height * 4);
        auto segment = std::make_unique<SharedSegment>();
        segment->info.shmid = shmget(IPC_PRIVATE, want, IPC_CREAT | 0600);
        void* address = segment->info.shmid < 0 ? reinterpret_cast<void*>(-1)
                                                : shmat(segment->info.shmid, nullptr, 0);
        bool ok = address != reinterpret_cast<void*>(-1);
        if (ok) {
            segment->info.shmaddr = static_cast<char*>(address);
            segment->info.readOnly = False;
            segment->size = want;
            TakeError();
            ok = XShmQueryExtension(display_) && XShmAttach(display_, &segment->info) &&
                 !TakeError();
            if (!ok) shmdt(address);
        }
        if (segment->info.shmid >= 0)
            shmctl(segment->info.shmid, IPC_RMID, nullptr);  // gone once both let go
        if (!ok) {
            sharedRefused_ = true;  // a remote display, or no extension: the plain way from now on
            XDestroyImage(x);
            return false;
        }
        shared_ = std::move(segment);
    }
    x->data = shared_->info.shmaddr;
    x->obdata = reinterpret_cast<char*>(&shared_->info);
    TakeError();
    const bool ok =
        XShmGetImage(display_, DefaultRootWindow(display_), x, area.x, area.y, AllPlanes) &&
        !TakeError();
    if (ok) {
        // One call maps every page the server filled, instead of a fault each.
        madvise(shared_->info.shmaddr, size, MADV_POPULATE_READ);
    }
    if (ok && IsDirect(x)) {
        image = RgbImage();
        image.width = area.width;
        image.height = area.height;
        image.borrowed = reinterpret_cast<const std::uint32_t*>(shared_->info.shmaddr);
    } else if (ok) {
        image = RgbImage(area.width, area.height);
        Convert(x, image, ColourMap(display_));
    }
    x->data = nullptr;
    XDestroyImage(x);
    return ok;
}

void X11Desktop::StampWindow(unsigned long window) {
    const Atom stamp = XInternAtom(display_, "_LUMAGRABBER_TIME", False);
    XChangeProperty(display_, window, stamp, XA_STRING, 8, PropModeReplace, nullptr, 0);
    TakeError();
}

bool X11Desktop::ClipboardManagerRuns() {
    const Atom manager = XInternAtom(display_, "CLIPBOARD_MANAGER", False);
    return XGetSelectionOwner(display_, manager) != None;
}

void X11Desktop::Prepare() {
    RgbImage whole;
    GrabShared(Screen(), whole);
}

bool X11Desktop::Grab(const Rect& area, RgbImage& image, std::string& error) {
    if (GrabShared(area, image)) return true;
    TakeError();
    XImage* x = XGetImage(display_, DefaultRootWindow(display_), area.x, area.y,
                          static_cast<unsigned>(area.width), static_cast<unsigned>(area.height),
                          AllPlanes, ZPixmap);
    if (!x || TakeError()) {
        if (x) XDestroyImage(x);
        error = "the screen could not be read";
        return false;
    }
    image = RgbImage(area.width, area.height);
    Convert(x, image, ColourMap(display_));
    XDestroyImage(x);
    return true;
}
