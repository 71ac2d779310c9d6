// The capture tool on a 1920 x 1080 screen of its own (Xvfb): from a hot
// key to the complete file, for JPEG (quality 75) and 24-bit BMP (also at
// 3840 x 2160, beside writing a file of the same size), and the
// resident memory of the armed tool while it waits; reloads of large
// configurations (the tool's time, and whether a kept key was ever free)
// and memory after many reloads; a hot key on a screen of two monitors.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "model/ActionCodes.h"
#include "model/ActionKeys.h"
#include "model/Commit.h"
#include "platform/NamedObjects.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

using namespace std::chrono_literals;

pid_t Start(const std::vector<std::string>& argv, const std::string& log = "/dev/null") {
    const pid_t pid = fork();
    if (pid == 0) {
        freopen("/dev/null", "w", stdout);
        freopen(log.c_str(), "w", stderr);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// A private display, store and Pictures folder with the tool armed on it.
class CaptureDesktop {
public:
    // twoMonitors: a 3000 x 1080 screen shown by a 1920 x 1080 monitor and
    // a 1080 x 720 one beside it.
    explicit CaptureDesktop(bool twoMonitors = false, int width = 1920, int height = 1080)
        : width_(twoMonitors ? 3000 : width), height_(height) {
        std::string pattern = (std::filesystem::temp_directory_path() / "lgbench.XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
        pictures_ = dir_ + "/Pictures";
        setenv("LUMAGRABBER_REGISTRY", (dir_ + "/registry.db").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
        setenv("XDG_PICTURES_DIR", pictures_.c_str(), 1);
        StartX();
        if (twoMonitors) {
            std::system("xrandr --setmonitor L 1920/508x1080/286+0+0 screen >/dev/null 2>&1");
            std::system("xrandr --setmonitor R 1080/286x720/190+1920+0 none >/dev/null 2>&1");
        }
        Paint();
        TActionKeys list(kConfigurationKey);
        // F5: JPEG file, F6: BMP file, F7: the clipboard, F8: a drawn rectangle.
        const struct {
            const char* ext;
            std::uint8_t saveTo, grab;
        } actions[] = {{codes::kJpg, codes::kImageFile, codes::kFullScreen},
                       {codes::kBmp, codes::kImageFile, codes::kFullScreen},
                       {codes::kBmp, codes::kClipboard, codes::kFullScreen},
                       {codes::kBmp, codes::kImageFile, codes::kArbitraryRectangle}};
        for (const auto& action : actions) {
            auto a = std::make_unique<TActionKey>();
            a->Name = action.ext;
            a->Modifiers = codes::kCtrl;
            a->VirtualKey = 116 + list.Count();
            a->SaveTo = action.saveTo;
            a->GrabMethod = action.grab;
            a->Extension = action.ext;
            a->PixelFormat = codes::k24Bit;
            a->Quality = 75;
            list.Add(std::move(a));
        }
        Commit(list);
        const std::string log = dir_ + "/lmgrab.log";
        tool_ = Start({std::string(LG_BIN_DIR) + "/lmgrab", "/start"}, log);
        for (int i = 0; i < 200; ++i) {
            std::ifstream in(log);
            std::string text((std::istreambuf_iterator<char>(in)), {});
            if (text.find("actions read") != std::string::npos) break;
            std::this_thread::sleep_for(20ms);
        }
        std::filesystem::create_directories(pictures_);
    }
    ~CaptureDesktop() {
        kill(tool_, SIGTERM);
        waitpid(tool_, nullptr, 0);
        XCloseDisplay(display_);
        kill(x_, SIGTERM);
        waitpid(x_, nullptr, 0);
        std::filesystem::remove_all(dir_);
    }

    void Press(KeySym key, bool withCtrl = true) {
        const KeyCode ctrl = XKeysymToKeycode(display_, XK_Control_L);
        const KeyCode code = XKeysymToKeycode(display_, key);
        if (withCtrl) XTestFakeKeyEvent(display_, ctrl, True, 0);
        XTestFakeKeyEvent(display_, code, True, 0);
        XTestFakeKeyEvent(display_, code, False, 0);
        if (withCtrl) XTestFakeKeyEvent(display_, ctrl, False, 0);
        XFlush(display_);
    }

    // Presses Ctrl+key and waits for the file it writes; false after 5 s.
    bool PressAndWait(KeySym key) {
        const int watch = inotify_init1(IN_CLOEXEC);
        inotify_add_watch(watch, pictures_.c_str(), IN_CREATE | IN_MOVED_TO);
        Press(key);
        pollfd p{watch, POLLIN, 0};
        const bool ok = poll(&p, 1, 5000) == 1;
        close(watch);
        return ok;
    }
    // Takes the clipboard, presses Ctrl+key and waits until another owns it.
    bool PressForClipboard(KeySym key, benchmark::State& state) {
        state.PauseTiming();
        const Atom clipboard = XInternAtom(display_, "CLIPBOARD", False);
        if (!own_)
            own_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
        XSetSelectionOwner(display_, clipboard, own_, CurrentTime);
        XSync(display_, False);
        state.ResumeTiming();
        Press(key);
        for (int i = 0; i < 50000; ++i) {
            if (XGetSelectionOwner(display_, clipboard) != own_) return true;
            std::this_thread::sleep_for(100us);
        }
        return false;
    }

    // Presses Ctrl+key and waits for a window mapped over the screen.
    bool PressForOverlay(KeySym key) {
        XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
        XSync(display_, False);
        Press(key);
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (std::chrono::steady_clock::now() < deadline) {
            while (XPending(display_)) {
                XEvent e;
                XNextEvent(display_, &e);
                if (e.type == MapNotify && e.xmap.override_redirect) return true;
            }
            std::this_thread::sleep_for(100us);
        }
        return false;
    }
    void CancelOverlay() {
        std::this_thread::sleep_for(150ms);  // its keyboard grab follows the first frame
        Press(XK_Escape, false);
        std::this_thread::sleep_for(150ms);
        XSelectInput(display_, DefaultRootWindow(display_), NoEventMask);
        while (XPending(display_)) {
            XEvent e;
            XNextEvent(display_, &e);
        }
    }

    // Commits list to this desktop's store, which the tool then re-reads.
    void Commit(TActionKeys& list) {
        setenv("LUMAGRABBER_REGISTRY", (dir_ + "/registry.db").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
        std::string cause;
        CommitConfiguration(list, cause);
    }
    // Waits until the tool has said text count times in all; false after 30 s.
    bool WaitForLog(const std::string& text, std::size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (std::chrono::steady_clock::now() < deadline) {
            std::ifstream in(dir_ + "/lmgrab.log");
            in.seekg(static_cast<std::streamoff>(logRead_));
            std::string chunk((std::istreambuf_iterator<char>(in)), {});
            // Only whole lines count; the rest is read again next time.
            const auto end = chunk.rfind('\n');
            if (end != std::string::npos) {
                for (auto at = chunk.find(text); at != std::string::npos && at < end;
                     at = chunk.find(text, at + 1))
                    ++seen_[text];
                logRead_ += end + 1;
            }
            if (seen_[text] >= count) return true;
            std::this_thread::sleep_for(200us);
        }
        return false;
    }
    // Forgets what was seen in the log so far.
    void SkipLog() {
        std::ifstream in(dir_ + "/lmgrab.log", std::ios::ate);
        logRead_ = static_cast<std::size_t>(in.tellg());
        seen_.clear();
    }
    // User and system time the tool has used, in milliseconds.
    double ToolCpuMs() const {
        std::ifstream in("/proc/" + std::to_string(tool_) + "/stat");
        std::string all((std::istreambuf_iterator<char>(in)), {});
        std::istringstream fields(all.substr(all.rfind(')') + 2));
        std::string skip;
        for (int i = 0; i < 11; ++i) fields >> skip;
        long user = 0, system = 0;
        fields >> user >> system;
        return 1000.0 * static_cast<double>(user + system) /
               static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    Display* display() const { return display_; }

    const std::string& Pictures() const { return pictures_; }
    void Clear() {
        for (const auto& e : std::filesystem::directory_iterator(pictures_))
            std::filesystem::remove(e.path());
    }
    std::string Log() const {
        std::ifstream in(dir_ + "/lmgrab.log");
        return std::string((std::istreambuf_iterator<char>(in)), {});
    }
    long ToolRssKiB() const {
        std::ifstream in("/proc/" + std::to_string(tool_) + "/status");
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
        }
        return -1;
    }

private:
    void StartX() {
        int fds[2];
        if (pipe(fds) != 0) return;
        x_ = fork();
        if (x_ == 0) {
            close(fds[0]);
            freopen("/dev/null", "w", stderr);
            const std::string fd = std::to_string(fds[1]);
            const std::string screen =
                std::to_string(width_) + "x" + std::to_string(height_) + "x24";
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
                   "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        setenv("DISPLAY", (":" + number).c_str(), 1);
        display_ = XOpenDisplay(nullptr);
    }
    // Something like a desktop to compress: gradients with noise.
    void Paint() {
        const int w = width_, h = height_;
        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(w) * h);
        std::mt19937 random(7);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int n = static_cast<int>(random() % 24);
                pixels[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint32_t>(
                    ((x * 255 / w + n) & 0xFF) << 16 | ((y * 255 / h + n) & 0xFF) << 8 |
                    (((x + y) / 12 + n) & 0xFF));
            }
        const int s = DefaultScreen(display_);
        XImage* image = XCreateImage(display_, DefaultVisual(display_, s), 24, ZPixmap, 0,
                                     reinterpret_cast<char*>(pixels.data()), w, h, 32, 0);
        const Pixmap pixmap = XCreatePixmap(display_, RootWindow(display_, s), w, h, 24);
        XPutImage(display_, pixmap, DefaultGC(display_, s), image, 0, 0, 0, 0, w, h);
        XSetWindowBackgroundPixmap(display_, RootWindow(display_, s), pixmap);
        XClearWindow(display_, RootWindow(display_, s));
        XSync(display_, False);
        image->data = nullptr;  // the pixels are ours
        XDestroyImage(image);
    }

    int width_, height_;
    std::string dir_, pictures_;
    std::size_t logRead_ = 0;
    std::map<std::string, std::size_t> seen_;
    pid_t x_ = -1, tool_ = -1;
    Display* display_ = nullptr;
    Window own_ = 0;
};

CaptureDesktop& Desktop() {
    static CaptureDesktop desktop;
    return desktop;
}

void HotKeyToFile(benchmark::State& state, KeySym key, CaptureDesktop& desktop = Desktop()) {
    for (auto _ : state) {
        if (!desktop.PressAndWait(key)) {
            state.SkipWithError("no file appeared");
            break;
        }
        state.PauseTiming();
        std::this_thread::sleep_for(100ms);  // the file is complete once named; let the tool settle
        desktop.Clear();
        state.ResumeTiming();
    }
}

void BM_HotKeyToJpegFile(benchmark::State& state) {
    HotKeyToFile(state, XK_F5);
}
void BM_HotKeyToBmpFile(benchmark::State& state) {
    HotKeyToFile(state, XK_F6);
}

// At 3840 x 2160, beside the floor: the same number of bytes written to a
// new file in the same folder.
CaptureDesktop& Desktop4K() {
    static CaptureDesktop desktop(false, 3840, 2160);
    return desktop;
}
void BM_HotKeyToJpegFile4K(benchmark::State& state) {
    HotKeyToFile(state, XK_F5, Desktop4K());
}
void BM_HotKeyToBmpFile4K(benchmark::State& state) {
    HotKeyToFile(state, XK_F6, Desktop4K());
}
void BM_WriteBytesOfA4KBmp(benchmark::State& state) {
    const std::string bytes(3840u * 2160u * 3u + 54u, 'x');
    const std::string path = Desktop4K().Pictures() + "/floor.bmp";
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        for (std::size_t done = 0; fd >= 0 && done < bytes.size();) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);
        state.PauseTiming();
        ::unlink(path.c_str());
        state.ResumeTiming();
    }
}

void BM_HotKeyToClipboard(benchmark::State& state) {
    CaptureDesktop& desktop = Desktop();
    for (auto _ : state) {
        if (!desktop.PressForClipboard(XK_F7, state)) {
            state.SkipWithError(
                ("the clipboard was not taken; the tool said: " + desktop.Log()).c_str());
            break;
        }
    }
}

// From the hot key to the frozen screen shown over everything.
void BM_HotKeyToOverlay(benchmark::State& state) {
    CaptureDesktop& desktop = Desktop();
    for (auto _ : state) {
        if (!desktop.PressForOverlay(XK_F8)) {
            state.SkipWithError("no overlay appeared");
            break;
        }
        state.PauseTiming();
        desktop.CancelOverlay();
        state.ResumeTiming();
    }
}

void BM_ArmedToolIdleMemory(benchmark::State& state) {
    CaptureDesktop& desktop = Desktop();
    std::this_thread::sleep_for(300ms);
    for (auto _ : state) benchmark::DoNotOptimize(desktop.ToolRssKiB());
    state.counters["rss_KiB"] = static_cast<double>(desktop.ToolRssKiB());
}

// A configuration of count actions on Ctrl and Ctrl+Shift with every key
// offered; Ctrl+F5 is action 1 in each. quality tells two apart.
std::unique_ptr<TActionKeys> ManyActions(int count, int quality) {
    auto list = std::make_unique<TActionKeys>(kConfigurationKey);
    for (int i = 0; i < count; ++i) {
        auto a = std::make_unique<TActionKey>();
        a->Name = "action " + std::to_string(i);
        a->Modifiers = i % 2 ? codes::kCtrl | codes::kShift : codes::kCtrl;
        a->VirtualKey = i == 0 ? 116 : 65 + (i / 2) % 26;
        a->SaveTo = codes::kImageFile;
        a->Extension = codes::kJpg;
        a->Quality = quality;
        list->Add(std::move(a));
    }
    return list;
}

// From a commit of 1,000 actions to the tool's word that it has armed them:
// wall time, the tool's own processor time, and the longest moment a key
// both configurations keep was free for another program to take.
void BM_Reload1000Actions(benchmark::State& state) {
    CaptureDesktop& desktop = Desktop();
    auto first = ManyActions(1000, 75), second = ManyActions(1000, 80);
    desktop.SkipLog();
    desktop.Commit(*first);
    desktop.WaitForLog("1000 actions read", 1);
    Display* other = XOpenDisplay(nullptr);
    static std::atomic<bool> refused{false};
    XSetErrorHandler([](Display*, XErrorEvent*) {
        refused = true;
        return 0;
    });
    const KeyCode f5 = XKeysymToKeycode(other, XK_F5);
    std::atomic<bool> stop{false};
    std::atomic<long> longestFreeUs{0};
    std::thread watcher([&] {
        // Tries to take the key again and again, timing each stretch in
        // which it could: the tool let go of it then.
        std::chrono::steady_clock::time_point freeSince{};
        bool free = false;
        while (!stop) {
            refused = false;
            XGrabKey(other, f5, ControlMask, DefaultRootWindow(other), True, GrabModeAsync,
                     GrabModeAsync);
            XSync(other, False);
            const auto now = std::chrono::steady_clock::now();
            if (!refused) {
                XUngrabKey(other, f5, ControlMask, DefaultRootWindow(other));
                XSync(other, False);
                if (!free) freeSince = now;
                free = true;
                const long us = static_cast<long>(
                    std::chrono::duration_cast<std::chrono::microseconds>(now - freeSince).count());
                longestFreeUs = std::max(longestFreeUs.load(), std::max(us, 1L));
            } else {
                free = false;
            }
        }
    });
    std::size_t reads = 1;
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double before = desktop.ToolCpuMs();
        const auto start = std::chrono::steady_clock::now();
        desktop.Commit(reads % 2 ? *second : *first);
        if (!desktop.WaitForLog("1000 actions read", ++reads)) {
            state.SkipWithError("the tool did not read the configuration");
            break;
        }
        wall += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
        cpu += desktop.ToolCpuMs() - before;
    }
    stop = true;
    watcher.join();
    XCloseDisplay(other);
    const double n = static_cast<double>(state.iterations());
    state.counters["wall_ms"] = wall / n;
    state.counters["tool_cpu_ms"] = cpu / n;
    state.counters["longest_free_ms"] = static_cast<double>(longestFreeUs) / 1000.0;
}

// Resident memory before and after 10,000 reloads of a configuration of 50.
void BM_MemoryAfter10000Reloads(benchmark::State& state) {
    CaptureDesktop& desktop = Desktop();
    auto list = ManyActions(50, 75);
    desktop.SkipLog();
    desktop.Commit(*list);
    desktop.WaitForLog("50 actions read", 1);
    std::string error;
    auto event = platform::NamedEvent::Open(kChangeEventName, error);
    const long before = desktop.ToolRssKiB();
    for (auto _ : state) {
        for (std::size_t i = 2; i <= 10001; ++i) {
            event->Set();
            if (!desktop.WaitForLog("50 actions read", i)) {
                state.SkipWithError("the tool did not read the configuration");
                break;
            }
        }
    }
    state.counters["rss_before_KiB"] = static_cast<double>(before);
    state.counters["rss_after_KiB"] = static_cast<double>(desktop.ToolRssKiB());
}

// Hot key to file on a screen of two monitors of different sizes.
void BM_HotKeyToJpegFileTwoMonitors(benchmark::State& state) {
    static CaptureDesktop twoMonitors(true);
    for (auto _ : state) {
        if (!twoMonitors.PressAndWait(XK_F5)) {
            state.SkipWithError("no file appeared");
            break;
        }
        state.PauseTiming();
        std::this_thread::sleep_for(100ms);
        twoMonitors.Clear();
        state.ResumeTiming();
    }
}

// Idle first: before any capture, as the tool waits after logon.
BENCHMARK(BM_ArmedToolIdleMemory)->Iterations(1);
BENCHMARK(BM_HotKeyToJpegFile)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5)
    ->Repetitions(8)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_HotKeyToClipboard)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5)
    ->Repetitions(8)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_HotKeyToOverlay)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5)
    ->Repetitions(4)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_HotKeyToBmpFile)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5)
    ->Repetitions(8)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_WriteBytesOfA4KBmp)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5)
    ->Repetitions(8)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_HotKeyToBmpFile4K)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5)
    ->Repetitions(8)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_HotKeyToJpegFile4K)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5)
    ->Repetitions(8)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Reload1000Actions)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_MemoryAfter10000Reloads)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_HotKeyToJpegFileTwoMonitors)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5)
    ->Repetitions(8)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
