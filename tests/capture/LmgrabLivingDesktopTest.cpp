// The capture tool on a desktop that changes under it: reloads that keep
// the keys held, a busy store, screens that grow and shrink, keyboard
// layouts and modifier maps, keys the server keeps, a keyboard another
// client holds, several monitors and scaling, and the files, dialogs,
// clipboard and session bus of a long working day.
#include <signal.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/capture/LmgrabFixture.h"

// Last: Xlib's macros (None, Status) would spoil the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

using namespace lmgrabtest;

// Resident memory of a process, in KiB.
long ResidentKiB(pid_t pid) {
    const std::string status = FileText("/proc/" + std::to_string(pid) + "/status");
    const auto at = status.find("VmRSS:");
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 6);
}

int g_xError = 0;
int RecordXError(Display*, XErrorEvent* e) {
    g_xError = e->error_code;
    return 0;
}

// A second X client that asks, again and again, whether a key combination
// is free to grab: it never is while the tool holds it.
class KeyWatcher {
public:
    KeyWatcher(KeySym key, unsigned modifiers) : display_(XOpenDisplay(nullptr)) {
        XSetErrorHandler(RecordXError);
        code_ = XKeysymToKeycode(display_, key);
        modifiers_ = modifiers;
    }
    ~KeyWatcher() {
        Stop();
        XCloseDisplay(display_);
    }
    bool Free() {
        g_xError = 0;
        XGrabKey(display_, code_, modifiers_, DefaultRootWindow(display_), True, GrabModeAsync,
                 GrabModeAsync);
        XSync(display_, False);
        if (g_xError) return false;
        XUngrabKey(display_, code_, modifiers_, DefaultRootWindow(display_));
        XSync(display_, False);
        return true;
    }
    void Start() {
        thread_ = std::thread([this] {
            while (!stop_) {
                if (Free()) ++freeSeen_;
                ++asked_;
            }
        });
    }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    int freeSeen() const { return freeSeen_; }
    int asked() const { return asked_; }

private:
    Display* display_;
    KeyCode code_ = 0;
    unsigned modifiers_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> freeSeen_{0}, asked_{0};
};

// Fifty actions on Ctrl and Ctrl+Shift with letters, digits and F-keys;
// tag changes their names so that a commit really changes the store.
std::vector<Action> ManyActions(const std::string& tag) {
    std::vector<Action> actions;
    const std::string keys = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int i = 0; i < 50; ++i) {
        Action a{tag + std::to_string(i), i % 2 ? 6 : 2, keys[i % keys.size()], 0};
        actions.push_back(a);
    }
    actions[0].key = 116;  // Ctrl+F5 stays in every configuration
    return actions;
}

// Reloads keep every key the new configuration keeps grabbed the whole
// time, arm new ones, let go of the ones that went, and cost no memory.
TEST_F(Lmgrab, ReloadsKeepKeptKeysGrabbedAndMemoryStaysFlat) {
    Configure(ManyActions("a"));
    // Freed memory straight back to the allocator, so that only what the
    // tool keeps shows in its resident size.
    setenv("ASAN_OPTIONS", "quarantine_size_mb=0:thread_local_quarantine_size_kb=0", 1);
    const pid_t tool = Start();
    unsetenv("ASAN_OPTIONS");
    KeyWatcher kept(XK_F5, ControlMask);
    ASSERT_FALSE(kept.Free());
    kept.Start();
    for (int i = 1; i <= 20; ++i) {
        Configure(ManyActions(i % 2 ? "b" : "a"));
        ASSERT_TRUE(WaitForSaying("actions read", static_cast<std::size_t>(i + 1)));
    }
    kept.Stop();
    EXPECT_EQ(kept.freeSeen(), 0) << "Ctrl+F5 was free " << kept.freeSeen() << " times of "
                                  << kept.asked();
    EXPECT_GT(kept.asked(), 20);

    // A key that goes is let go; a new one works.
    std::vector<Action> fewer = {{"kept", 2, 116, 0}, {"new", 2, 117, 0}};
    Configure(fewer);
    ASSERT_TRUE(WaitForSaying("2 actions read"));
    EXPECT_TRUE(KeyWatcher(XK_b, ControlMask | ShiftMask).Free());
    EXPECT_FALSE(Press("ctrl+F6", 1).empty());

    // Many more reloads and pause/arm turns: resident memory stays flat.
    Configure(ManyActions("a"));
    ASSERT_TRUE(WaitForSaying("50 actions read", 2));
    const long before = ResidentKiB(tool);
    const std::size_t reads = Said("50 actions read");
    for (std::size_t i = 1; i <= 150; ++i) {
        std::string err;
        ASSERT_EQ(RunCapturing(Bin("lgevent"), {"set", "Lumagrabber configuration changed."}, err),
                  0);
        ASSERT_TRUE(WaitForSaying("50 actions read", reads + i));
        kill(tool, SIGUSR1);
        ASSERT_TRUE(WaitForSaying("lmgrab: hot keys paused", i));
        kill(tool, SIGUSR1);
        ASSERT_TRUE(WaitForSaying("lmgrab: hot keys armed", i));
    }
    const long after = ResidentKiB(tool);
    EXPECT_LT(after - before, 4 * 1024) << before << " KiB before, " << after << " KiB after";
}

// While another process holds the store, the armed keys keep working, the
// tool says "busy" once, and reads the new configuration once it can.
TEST_F(Lmgrab, ABusyStoreNeverStopsTheArmedKeys) {
    Configure({{"screen", 2, 116, 0}});
    Start();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(store.path().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; "
                           "CREATE TABLE IF NOT EXISTS held(x); INSERT INTO held VALUES (1);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(db);
    std::string err;
    ASSERT_EQ(RunCapturing(Bin("lgevent"), {"set", "Lumagrabber configuration changed."}, err), 0);
    // A press while the read waits is served at once, and once.
    const auto pressed = std::chrono::steady_clock::now();
    ASSERT_FALSE(Press("ctrl+F5", 1).empty());
    EXPECT_LT(std::chrono::steady_clock::now() - pressed, 2s);
    ASSERT_TRUE(WaitForSaying("busy"));
    std::this_thread::sleep_for(2500ms);  // several tries meanwhile
    EXPECT_EQ(Said("busy"), 1u) << FileText(home.file("err.txt"));
    EXPECT_EQ(Files().size(), 1u);
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_TRUE(WaitForSaying("actions read", 2));
    EXPECT_FALSE(Press("ctrl+F5", 2).empty());
}

// The screen grows and shrinks (a monitor plugged in or out): whole-screen
// captures follow at once.
TEST_F(Lmgrab, WholeScreenFollowsTheScreenSize) {
    Configure({{"screen", 2, 116, 0}});
    Start();
    std::string out;
    const struct {
        const char* fb;
        const char* size;
    } sizes[] = {{"800x600", "800 600"}, {"1280x1024", "1280 1024"}, {"1024x768", "1024 768"}};
    std::size_t count = 0;
    for (const auto& s : sizes) {
        // Xvfb's single output keeps its mode, so xrandr complains, but the
        // screen does change size.
        RunX("xrandr", {"--fb", s.fb}, out);
        const std::string file = Press("ctrl+F5", ++count);
        ASSERT_FALSE(file.empty()) << s.fb << ": " << FileText(home.file("err.txt"));
        EXPECT_EQ(Size(file), s.size);
    }
}

// Hot keys by their letters in any layout, whatever happens to NumLock's
// modifier; a key the server keeps for itself is named as such.
TEST_F(Lmgrab, KeysFollowLayoutsAndModifierMapsAndServerKeysAreNamed) {
    Configure({{"y", 2, 'Y', 0, ".bmp"}, {"z", 2, 'Z', 0, ".tga"}, {"vt", 3, 112, 0}});
    std::string out;
    ASSERT_NE(RunForOutput(Bin("lmgrab"), {"--check"}, out), 0);
    EXPECT_NE(out.find("problem: action 3 \"vt\": the X server keeps Ctrl+Alt+F1 for itself (it "
                       "switches to virtual terminal 1), so this action can never fire"),
              std::string::npos)
        << out;
    Start();
    EXPECT_TRUE(WaitForSaying("the X server keeps Ctrl+Alt+F1"));
    std::size_t count = 0;
    const auto pressBoth = [&](const std::string& when) {
        const std::string y = Press("ctrl+y", ++count);
        EXPECT_EQ(y.substr(y.size() - 4), ".bmp") << when;
        const std::string z = Press("ctrl+z", ++count);
        EXPECT_EQ(z.substr(z.size() - 4), ".tga") << when;
    };
    const std::vector<std::vector<std::string>> changes = {
        {"setxkbmap", "de"},
        {"setxkbmap", "us"},
        {"setxkbmap", "fr"},
        {"setxkbmap", "us"},
        {"xmodmap", "-e", "clear mod2"},
        {"xmodmap", "-e", "add mod2 = Num_Lock"},
    };
    for (const auto& change : changes) {
        ASSERT_TRUE(RunX(change[0], {change.begin() + 1, change.end()}, out)) << change[1];
        // The tool holds both keys where the new map puts them.
        ASSERT_TRUE(WaitUntil([] {
            return !KeyWatcher(XK_y, ControlMask).Free() && !KeyWatcher(XK_z, ControlMask).Free();
        })) << change.back();
        pressBoth(change.back());
        RunX("xdotool", {"key", "Num_Lock"}, out);
        pressBoth(change.back() + ", NumLock toggled");
    }
}

// An open menu holds the whole keyboard; the hot key still takes its picture.
TEST_F(Lmgrab, AHotKeyWorksWhileAnotherClientHoldsTheKeyboard) {
    Configure({{"screen", 2, 116, 0}});
    Start();
    Display* menu = XOpenDisplay(nullptr);
    const ::Window w =
        XCreateSimpleWindow(menu, DefaultRootWindow(menu), 10, 10, 100, 100, 0, 0, 0);
    XMapRaised(menu, w);
    XSync(menu, False);
    ASSERT_TRUE(WaitUntil([&] {
        return XGrabKeyboard(menu, w, False, GrabModeAsync, GrabModeAsync, CurrentTime) ==
               GrabSuccess;
    }));
    ASSERT_FALSE(Press("ctrl+F5", 1).empty()) << FileText(home.file("err.txt"));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(Files().size(), 1u) << "one press, one file";
    XUngrabKeyboard(menu, CurrentTime);
    XCloseDisplay(menu);
    EXPECT_FALSE(Press("ctrl+F5", 2).empty());
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(Files().size(), 2u) << "one press, one file";
}

// Two monitors of different sizes on one 3000 x 1080 screen: the left one
// 1920 x 1080, the right one 1080 x 720 at the top.
class LmgrabTwoMonitors : public Lmgrab {
protected:
    LmgrabTwoMonitors() : Lmgrab("3000x1080x24") {}
    void SetUp() override {
        Lmgrab::SetUp();
        std::string out;
        ASSERT_TRUE(RunX("xrandr", {"--setmonitor", "L", "1920/508x1080/286+0+0", "screen"}, out));
        ASSERT_TRUE(RunX("xrandr", {"--setmonitor", "R", "1080/286x720/190+1920+0", "none"}, out));
        RunX("xsetroot", {"-solid", "#336699"}, out);
    }
    // The pixels of the file against the same rectangle of a whole screen.
    void ExpectPixels(const std::string& file, const std::string& screen, const std::string& crop) {
        std::string a, b;
        RunForOutput("convert", {file, "rgb:-"}, a);
        RunForOutput("convert", {screen, "-crop", crop, "rgb:-"}, b);
        EXPECT_TRUE(!a.empty() && a == b) << file << " against " << crop;
    }
    std::string Pixel(const std::string& file, int x, int y) {
        std::string out;
        RunForOutput("convert",
                     {file, "-format",
                      "%[pixel:p{" + std::to_string(x) + "," + std::to_string(y) + "}]", "info:"},
                     out);
        return out;
    }
    void Drag(int x1, int y1, int x2, int y2) {
        std::string out;
        RunX("xdotool",
             {"mousemove", std::to_string(x1), std::to_string(y1), "mousedown", "1", "mousemove",
              std::to_string((x1 + x2) / 2), std::to_string((y1 + y2) / 2), "mousemove",
              std::to_string(x2), std::to_string(y2), "mouseup", "1"},
             out);
    }
};

TEST_F(LmgrabTwoMonitors, EveryGrabKeepsToTheMonitorsAndTheirPixels) {
    Action rect{"rect", 2, 'R', 3};
    rect.width = 250, rect.height = 200;
    Configure({{"screen", 2, 'S', 0}, rect, {"draw", 2, 'D', 4}});
    Start();
    const std::string screen = Press("ctrl+s", 1);
    ASSERT_EQ(Size(screen), "3000 1080");
    // No monitor shows the right part below 720 rows: black.
    EXPECT_EQ(Pixel(screen, 2500, 900), "srgb(0,0,0)");
    EXPECT_EQ(Pixel(screen, 2500, 300), "srgb(51,102,153)");

    // Around the pointer, inside the smaller monitor's last rows.
    std::string out;
    RunX("xdotool", {"mousemove", "2400", "700"}, out);
    const std::string around = Press("ctrl+r", 2);
    ASSERT_EQ(Size(around), "250 200");
    ExpectPixels(around, screen, "250x200+2275+520");

    // A rectangle drawn on the right monitor, both corners included.
    RunX("xdotool", {"key", "ctrl+d"}, out);
    ASSERT_TRUE(HasTheKeyboard("Draw a rectangle"));
    Drag(2000, 100, 2199, 299);
    ASSERT_TRUE(WaitUntil([&] { return Files().size() == 3; })) << FileText(home.file("err.txt"));
    const std::string drawn = Newest();
    EXPECT_EQ(Size(drawn), "200 200");
    ExpectPixels(drawn, screen, "200x200+2000+100");
}

TEST_F(LmgrabTwoMonitors, ScaledDesktopsDrawInScreenPixelsAndEnterTakesTheDrag) {
    Configure({{"draw", 2, 'D', 4}, {"screen", 2, 'S', 0}});
    setenv("QT_SCALE_FACTOR", "1.5", 1);
    Start();
    unsetenv("QT_SCALE_FACTOR");
    std::string out;
    // The whole left monitor, corner to corner.
    RunX("xdotool", {"key", "ctrl+d"}, out);
    ASSERT_TRUE(HasTheKeyboard("Draw a rectangle"));
    Drag(0, 0, 1919, 1079);
    ASSERT_TRUE(WaitUntil([&] { return Files().size() == 1; })) << FileText(home.file("err.txt"));
    EXPECT_EQ(Size(Files().front()), "1920 1080");

    // A line has no area: nothing is taken, by release or Enter; Enter
    // takes a rectangle as drawn so far; Esc still cancels after all that.
    RunX("xdotool", {"key", "ctrl+d"}, out);
    ASSERT_TRUE(HasTheKeyboard("Draw a rectangle"));
    Drag(10, 10, 60, 10);
    RunX("xdotool", {"key", "Return"}, out);
    RunX("xdotool",
         {"mousemove", "100", "100", "mousedown", "1", "mousemove", "150", "130", "mousemove",
          "199", "149"},
         out);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(Files().size(), 1u);
    RunX("xdotool", {"key", "Return"}, out);
    ASSERT_TRUE(WaitUntil([&] { return Files().size() == 2; })) << FileText(home.file("err.txt"));
    RunX("xdotool", {"mouseup", "1"}, out);
    const std::string screen = Press("ctrl+s", 3);
    std::string drawn;
    for (const std::string& f : Files())
        if (f != screen && Size(f) == "100 50") drawn = f;
    ASSERT_FALSE(drawn.empty());
    ExpectPixels(drawn, screen, "100x50+100+100");
}

// A screen of 256 colours whose pixels index a colour map.
class LmgrabPseudoColour : public Lmgrab {
protected:
    LmgrabPseudoColour() : Lmgrab("800x600x8") {}
};

TEST_F(LmgrabPseudoColour, AnEightBitScreenIsReadThroughItsColourMap) {
    Configure({{"screen", 2, 116, 0, ".bmp", 6}});
    std::string out;
    RunX("xsetroot", {"-solid", "red"}, out);
    ASSERT_EQ(RunForOutput(Bin("lmgrab"), {"--capture", "1"}, out), 0);
    out.pop_back();
    std::string pixel;
    RunForOutput("convert", {out, "-format", "%[pixel:p{400,500}]", "info:"}, pixel);
    EXPECT_EQ(pixel, "srgb(255,0,0)");
}

// A local socket that takes connections and never says a word.
class SilentBus {
public:
    explicit SilentBus(const std::string& path) : path_(path) {
        fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un where{};
        where.sun_family = AF_UNIX;
        std::snprintf(where.sun_path, sizeof where.sun_path, "%s", path.c_str());
        bind(fd_, reinterpret_cast<sockaddr*>(&where), sizeof where);
        listen(fd_, 16);
    }
    ~SilentBus() {
        close(fd_);
        unlink(path_.c_str());
    }

private:
    std::string path_;
    int fd_;
};

// Answers a program that ends with the clipboard's content, as a clipboard
// manager does: "saved".
class ClipboardManager {
public:
    ClipboardManager() : display_(XOpenDisplay(nullptr)) {
        window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
        XSetSelectionOwner(display_, XInternAtom(display_, "CLIPBOARD_MANAGER", False), window_,
                           CurrentTime);
        XSync(display_, False);
        thread_ = std::thread([this] {
            while (!stop_) {
                while (XPending(display_)) {
                    XEvent e;
                    XNextEvent(display_, &e);
                    if (e.type != SelectionRequest) continue;
                    XSelectionEvent reply{};
                    reply.type = SelectionNotify;
                    reply.requestor = e.xselectionrequest.requestor;
                    reply.selection = e.xselectionrequest.selection;
                    reply.target = e.xselectionrequest.target;
                    reply.property = e.xselectionrequest.property;
                    reply.time = e.xselectionrequest.time;
                    XChangeProperty(display_, reply.requestor, reply.property, XA_ATOM, 32,
                                    PropModeReplace, nullptr, 0);
                    XSendEvent(display_, reply.requestor, False, 0,
                               reinterpret_cast<XEvent*>(&reply));
                    XFlush(display_);
                    ++asked_;
                }
                std::this_thread::sleep_for(10ms);
            }
        });
    }
    ~ClipboardManager() {
        stop_ = true;
        thread_.join();
        XCloseDisplay(display_);
    }
    int asked() const { return asked_; }

private:
    Display* display_;
    ::Window window_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> asked_{0};
};

// Files, the save dialog, the clipboard and the session bus as a working
// day meets them.
TEST_F(Lmgrab, CaptureFromTheCommandLineEndsOnceAClipboardManagerHasTheImage) {
    Configure({{"clip", 2, 116, 0, ".bmp", 6, 100, false, 2},
               {"odd", 2, 117, 0, ".bmp", 6, 100, false, 5}});
    ClipboardManager manager;
    const pid_t capture = testsupport::Spawn(Bin("lmgrab"), {"--capture", "1"});
    EXPECT_EQ(WaitFor(capture, 10s), 0);
    EXPECT_GE(manager.asked(), 1);
    // A destination code the editor shows as a file writes a file.
    std::string out;
    ASSERT_EQ(RunForOutput(Bin("lmgrab"), {"--capture", "2"}, out), 0);
    EXPECT_EQ(Files().size(), 1u);
}

TEST_F(Lmgrab, ASessionBusThatNeverAnswersDelaysNothing) {
    Configure({{"screen", 2, 116, 0}});
    SilentBus bus(home.file("bus"));
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + home.file("bus")).c_str(), 1);
    const auto started = std::chrono::steady_clock::now();
    const pid_t tool = Start();
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    EXPECT_FALSE(Press("ctrl+F5", 1).empty());
    kill(tool, SIGTERM);
    EXPECT_EQ(WaitFor(tool, 3s), 0);
    EXPECT_TRUE(WaitForSaying("the session bus does not answer"));
}

TEST_F(Lmgrab, TheSaveDialogAsksBeforeReplacingAndWritesTheFormatTyped) {
    Action ask{"ask", 2, 116, 0, ".jpg", 6, 80};
    ask.ask = true;
    Configure({ask});
    std::filesystem::create_directories(pictures);
    std::ofstream(pictures + "/keep.jpg") << "old";
    Start();
    std::string out;
    const auto type = [&](const std::string& name) {
        RunX("xdotool", {"key", "ctrl+F5"}, out);
        ASSERT_TRUE(HasTheKeyboard("Save Capture As"));
        RunX("xdotool", {"key", "ctrl+a"}, out);
        RunX("xdotool", {"type", name}, out);
        RunX("xdotool", {"key", "Return"}, out);
    };
    // "keep" means keep.jpg: asked, and No (the default) keeps it.
    const auto gone = [&](const std::string& name) {
        return WaitUntil([&] { return !RunX("xdotool", {"search", "--name", name}, out); });
    };
    type("keep");
    ASSERT_TRUE(HasTheKeyboard("Confirm Save As"));
    RunX("xdotool", {"key", "Return"}, out);  // the question's default: No
    ASSERT_TRUE(HasTheKeyboard("Save Capture As"));
    RunX("xdotool", {"key", "Escape"}, out);
    ASSERT_TRUE(gone("Save Capture As"));
    EXPECT_EQ(FileText(pictures + "/keep.jpg"), "old");
    // A folder that is not there is refused in the dialog.
    type("nowhere/shot");
    ASSERT_TRUE(HasTheKeyboard("Folder Not Found"));
    RunX("xdotool", {"key", "Return"}, out);
    ASSERT_TRUE(HasTheKeyboard("Save Capture As"));
    RunX("xdotool", {"key", "Escape"}, out);
    ASSERT_TRUE(gone("Save Capture As"));
    EXPECT_EQ(Files().size(), 1u);
    // The name's own format.
    type("shot.png");
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(pictures + "/shot.png"); }));
    std::string format;
    RunForOutput("identify", {"-format", "%m", pictures + "/shot.png"}, format);
    EXPECT_EQ(format, "PNG");
}

// What the tray shows, --check shows: a folder no file can be written to,
// and a sound that is not there.
TEST_F(Lmgrab, CheckNamesFoldersThatCannotBeWrittenAndMissingSounds) {
    std::ofstream(home.file("plain")) << "x";
    Action under{"under", 2, 116, 0};
    Action silent{"silent", 2, 117, 0};
    silent.sound = home.file("gone.wav");
    Configure({under, silent});
    // The folder is the action's own: a folder below a regular file.
    store.SetString("Software\\Orvane\\Lmgrab\\Action1", "TargetDir",
                    home.file("plain") + "/shots");
    std::string out;
    EXPECT_EQ(RunForOutput(Bin("lmgrab"), {"--check"}, out), 1);
    const std::string folder = "problem: action 1 \"under\": folder " + home.file("plain") +
                               "/shots cannot be written: " + home.file("plain") +
                               " is not a folder\n";
    const std::string sound =
        "problem: action 2 \"silent\": sound '" + home.file("gone.wav") + "' does not exist";
    EXPECT_NE(out.find(folder), std::string::npos) << out;
    EXPECT_NE(out.find(sound), std::string::npos) << out;
    Start();
    EXPECT_TRUE(WaitForSaying(folder.substr(9, folder.size() - 10)));
    EXPECT_TRUE(WaitForSaying(sound.substr(9)));
}

}  // namespace

namespace {

// A Wayland desktop (weston, headless) with XWayland: X11 programs run, but
// the X server never sees the desktop's pixels.
class WestonWithXWayland {
public:
    explicit WestonWithXWayland(const std::string& runtime) {
        const std::string log = runtime + "/weston.log";
        pid_ = testsupport::SpawnLogged("weston",
                                        {"--backend=headless-backend.so", "--xwayland",
                                         "--socket=wl-lmgrab", "--width=800", "--height=600"},
                                        log, log);
        WaitUntil([&] {
            const std::string said = FileText(log);
            const auto at = said.find("xserver listening on display ");
            if (at == std::string::npos) return false;
            display_ = said.substr(at + 29, said.find('\n', at) - at - 29);
            return true;
        });
    }
    ~WestonWithXWayland() {
        kill(pid_, SIGTERM);
        WaitFor(pid_, 5s);
    }
    const std::string& display() const { return display_; }

private:
    pid_t pid_;
    std::string display_;
};

TEST(LmgrabOnXWayland, RefusesToWriteABlackPictureAndSaysWhy) {
    testsupport::TempRuntimeDir runtime;
    testsupport::TempStore store;
    testsupport::TempDir home;
    setenv("XDG_PICTURES_DIR", home.path().c_str(), 1);
    std::ofstream(home.file("one.lgp"), std::ios::binary) << ProfileOf({{"screen", 2, 116, 0}});
    std::string out;
    ASSERT_EQ(RunCapturing(Bin("lgprofile"), {"load", home.file("one.lgp")}, out), 0) << out;
    WestonWithXWayland weston(runtime.path());
    ASSERT_FALSE(weston.display().empty()) << "weston did not start XWayland";
    setenv("DISPLAY", weston.display().c_str(), 1);
    setenv("WAYLAND_DISPLAY", "wl-lmgrab", 1);
    const std::string why =
        "this X server is XWayland, which cannot show lmgrab the Wayland "
        "desktop's pixels (a capture would be black); nothing is captured";
    EXPECT_EQ(RunCapturing(Bin("lmgrab"), {"--capture", "1"}, out), 1);
    EXPECT_EQ(out, "lmgrab: " + why + "\n");
    EXPECT_EQ(RunForOutput(Bin("lmgrab"), {"--check"}, out), 1);
    EXPECT_NE(out.find("problem: " + why), std::string::npos) << out;
    for (const auto& e : std::filesystem::directory_iterator(home.path()))
        EXPECT_NE(e.path().extension(), ".bmp") << "a black picture was written";
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("DISPLAY");
}

}  // namespace

namespace {

// Half a second of quiet, as a WAV file.
void WriteWav(const std::string& path) {
    const std::uint32_t rate = 8000, samples = 4000, bytes = samples * 2;
    std::string wav = "RIFF";
    const auto put = [&wav](std::uint32_t v, int size) {
        for (int i = 0; i < size; ++i) wav += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    put(36 + bytes, 4);
    wav += "WAVEfmt ";
    put(16, 4), put(1, 2), put(1, 2), put(rate, 4), put(rate * 2, 4), put(2, 2), put(16, 2);
    wav += "data";
    put(bytes, 4);
    wav += std::string(bytes, '\0');
    std::ofstream(path, std::ios::binary) << wav;
}

// Without a sound device: said once, without the sound library's own
// complaints; a sound of the other desktop is said once, by the plan.
TEST_F(Lmgrab, SoundProblemsAreSaidOnceEach) {
    WriteWav(home.file("quiet.wav"));
    Action played{"played", 2, 116, 0};
    played.sound = home.file("quiet.wav");
    Action foreign{"foreign", 2, 117, 0};
    foreign.sound = "C:\\Windows\\Media\\chimes.wav";
    Configure({played, foreign});
    Start();
    ASSERT_FALSE(Press("ctrl+F5", 1).empty());
    ASSERT_FALSE(Press("ctrl+F5", 2).empty());
    ASSERT_FALSE(Press("ctrl+F6", 3).empty());
    ASSERT_FALSE(Press("ctrl+F6", 4).empty());
    EXPECT_EQ(Said("ALSA lib"), 0u) << FileText(home.file("err.txt"));
    EXPECT_LE(Said("cannot be played"), 1u);
    EXPECT_EQ(Said("is a path of another desktop"), 1u) << FileText(home.file("err.txt"));
}

}  // namespace

namespace {

// A stored name with a line break cannot forge a line of --check's report.
TEST(LmgrabCheck, AStoredNameCannotForgeALineOfTheReport) {
    testsupport::TempRuntimeDir runtime;
    testsupport::TempStore store;
    testsupport::TempDir home;
    std::ofstream(home.file("one.lgp"), std::ios::binary) << ProfileOf({{"one", 2, 116, 0}});
    std::string out;
    ASSERT_EQ(RunCapturing(Bin("lgprofile"), {"load", home.file("one.lgp")}, out), 0) << out;
    store.SetString("Software\\Orvane\\Lmgrab\\Action1", "Name",
                    "shot\nproblem: action 9 \"forged\": run /tmp/evil");
    const std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    unsetenv("DISPLAY");
    RunForOutput(Bin("lmgrab"), {"--check"}, out);
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
    EXPECT_EQ(out.find("\nproblem: action 9"), std::string::npos) << out;
    EXPECT_NE(out.find("1 \"shot\\nproblem: action 9 \"forged\": run /tmp/evil\" Ctrl+F5"),
              std::string::npos)
        << out;
}

// A store deleted, or replaced by another file, under the running tool is
// named with its cause; the old keys stay armed until a configuration is
// really committed, and the tool never makes an empty store in its place.
TEST_F(Lmgrab, AStoreGoneOrGarbledKeepsTheOldKeysUntilACommit) {
    Configure({{"screen", 2, 116, 0}});
    Start();
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(store.path() + suffix);
    std::string err;
    ASSERT_EQ(RunCapturing(Bin("lgevent"), {"set", "Lumagrabber configuration changed."}, err), 0);
    EXPECT_TRUE(WaitForSaying("the settings store '" + store.path() +
                              "' does not exist; the previous configuration stays armed"))
        << FileText(home.file("err.txt"));
    EXPECT_FALSE(std::filesystem::exists(store.path()));
    EXPECT_FALSE(Press("ctrl+F5", 1).empty());

    std::ofstream(store.path(), std::ios::binary) << std::string(8192, 'g');
    ASSERT_EQ(RunCapturing(Bin("lgevent"), {"set", "Lumagrabber configuration changed."}, err), 0);
    EXPECT_TRUE(WaitForSaying("'" + store.path() + "' is not a Lumagrabber settings store"))
        << FileText(home.file("err.txt"));
    EXPECT_FALSE(Press("ctrl+F5", 2).empty());

    std::filesystem::remove(store.path());
    Configure({{"other", 2, 117, 0}});
    ASSERT_TRUE(WaitForSaying("actions read", 2));
    EXPECT_FALSE(Press("ctrl+F6", 3).empty());
}

}  // namespace

namespace {

// A file capture from the command line loads no Qt library; one that asks
// the desktop something loads the desktop part.
TEST_F(Lmgrab, AFileCaptureLoadsNoQtLibrary) {
    Action clip{"clip", 2, 117, 0};
    clip.saveTo = 2;
    Configure({{"file", 2, 116, 0, ".jpg"}, clip});
    setenv("LD_DEBUG", "libs", 1);
    std::string loaded;
    const int rc = RunCapturing(Bin("lmgrab"), {"--capture", "1"}, loaded);
    unsetenv("LD_DEBUG");
    EXPECT_EQ(rc, 0) << loaded;
    EXPECT_NE(loaded.find("libjpeg"), std::string::npos) << "LD_DEBUG said nothing";
    EXPECT_EQ(loaded.find("libQt6"), std::string::npos) << "a file capture loaded Qt";
    ClipboardManager manager;  // so that the clipboard capture ends at once
    setenv("LD_DEBUG", "libs", 1);
    RunCapturing(Bin("lmgrab"), {"--capture", "2"}, loaded);
    unsetenv("LD_DEBUG");
    EXPECT_NE(loaded.find("lmgrab-desktop.so"), std::string::npos);
}

}  // namespace

namespace {

// --capture asks the running tool, which answers from the configuration it
// holds (the store is gone, so nobody else could); an asker the tool
// declines (another store) or a tool killed mid-life leaves the asker to
// capture by itself.
TEST_F(Lmgrab, CaptureAsksTheRunningToolAndFallsBackWhenItCannot) {
    Configure({{"screen", 2, 116, 0, ".jpg"}});
    const pid_t tool = Start({});  // paused: a request is not a hot key
    const std::string kept = home.file("kept.db");
    std::filesystem::rename(store.path(), kept);
    std::string out, err;
    ASSERT_EQ(RunForOutput(Bin("lmgrab"), {"--capture", "1"}, out), 0) << out;
    EXPECT_EQ(out, Newest() + "\n");
    EXPECT_EQ(Size(Newest()), "1280 1024");
    EXPECT_EQ(RunCapturing(Bin("lmgrab"), {"--capture", "2"}, err), 1);
    EXPECT_EQ(err, "lmgrab: there is no action 2; actions 1 to 1 are stored\n");

    setenv("LUMAGRABBER_REGISTRY", kept.c_str(), 1);  // the same store, named otherwise
    EXPECT_EQ(RunForOutput(Bin("lmgrab"), {"--capture", "1"}, out), 0) << out;
    EXPECT_EQ(Files().size(), 2u);
    setenv("LUMAGRABBER_REGISTRY", store.path().c_str(), 1);

    kill(tool, SIGKILL);
    WaitFor(tool, 3s);
    std::filesystem::rename(kept, store.path());
    EXPECT_EQ(RunForOutput(Bin("lmgrab"), {"--capture", "1"}, out), 0) << out;
    EXPECT_EQ(Files().size(), 3u);
    EXPECT_EQ(Said("actions read"), 1u);  // the tool never read the store again
}

}  // namespace
