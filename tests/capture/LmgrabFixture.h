// The capture tool's desktop tests share this: a private X server with a
// window manager, store, runtime folder and Pictures folder; configurations
// written as profiles and loaded with lgprofile; lmgrab started, keys pressed
// with xdotool, and the files it writes found and measured.
#pragma once

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/Processes.h"
#include "tests/support/TempStore.h"
#include "tests/support/Xvfb.h"

namespace lmgrabtest {

using namespace std::chrono_literals;
using testsupport::Bin;
using testsupport::FileText;
using testsupport::RunCapturing;
using testsupport::RunForOutput;
using testsupport::RunX;
using testsupport::WaitFor;
using testsupport::WaitUntil;

// One action of a profile: "Name=...\r\nModifiers=2\r\n...".
struct Action {
    std::string name;
    int modifiers = 2;  // Ctrl
    int key = 116;      // F5
    int grab = 0;
    std::string extension = ".bmp";
    int depth = 6;
    int quality = 100;
    bool quit = false;
    int saveTo = 1;
    int width = 250, height = 200;
    bool prevent = false;
    bool ask = false;  // "Show SaveAs Dialog"
    std::string sound{};
};

inline std::string ProfileOf(const std::vector<Action>& actions) {
    std::string text = "[Software\\Orvane\\Lmgrab]\r\nCount=" + std::to_string(actions.size()) +
                       "\r\nTargetDir=.\\\r\n";
    for (std::size_t i = 0; i < actions.size(); ++i) {
        const Action& a = actions[i];
        const auto n = [](int v) { return std::to_string(v); };
        text += "[Software\\Orvane\\Lmgrab\\Action" + n(static_cast<int>(i + 1)) +
                "]\r\nName=" + a.name + "\r\nModifiers=" + n(a.modifiers) +
                "\r\nVirtualKey=" + n(a.key) + "\r\nSaveTo=" + n(a.saveTo) +
                "\r\nQuit=" + n(a.quit) + "\r\nGrabMethod=" + n(a.grab) +
                "\r\nRecHeight=" + n(a.height) + "\r\nRecWidth=" + n(a.width) +
                "\r\nExtension=" + a.extension + "\r\nQuality=" + n(a.quality) +
                "\r\nPixelFormat=" + n(a.depth) + "\r\nPrevent15bit=" + n(a.prevent) +
                "\r\nPrevent16bit=" + n(a.prevent) + "\r\nPrevent32bit=" + n(a.prevent) +
                "\r\nQuerryFName=" + n(a.ask) + "\r\nSound=" + a.sound + "\r\n";
    }
    return text;
}

// The depth an image file declares in its own header.
inline int HeaderBits(const std::string& path) {
    const std::string bytes = FileText(path);
    const auto u = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (bytes.size() < 30) return -1;
    if (bytes[0] == 'B' && bytes[1] == 'M') {
        const int bits = u(28);
        return bits == 16 && u(30) == 0 ? 15 : bits;  // 16 bits without masks are 5-5-5
    }
    if (u(0) == 10) return u(3) * u(65);  // PCX: bits a plane times planes
    return u(16);                         // TGA
}

class Lmgrab : public ::testing::Test {
protected:
    explicit Lmgrab(const std::string& screen = "1280x1024x24") : x(screen) {}
    void SetUp() override {
        ASSERT_TRUE(x.Running()) << "Xvfb could not be started";
        setenv("HOME", home.path().c_str(), 1);
        setenv("XDG_PICTURES_DIR", pictures.c_str(), 1);
        windowManager = testsupport::Spawn("openbox");
        // Keys pressed while it starts up are lost: it holds the keyboard.
        ASSERT_TRUE(WaitUntil([] {
            std::string out;
            RunX("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}, out);
            return out.find("window id") != std::string::npos;
        }));
    }
    void TearDown() override {
        started.push_back(windowManager);
        for (pid_t pid : started) {
            kill(pid, SIGTERM);
            // Some helpers (trayer) do not end on SIGTERM.
            if (WaitFor(pid, 3s) == -1) {
                kill(pid, SIGKILL);
                WaitFor(pid, 3s);
            }
        }
    }
    void Configure(const std::vector<Action>& actions) {
        const std::string file = home.file("config.lgp");
        std::ofstream(file, std::ios::binary) << ProfileOf(actions);
        std::string err;
        ASSERT_EQ(RunCapturing(Bin("lgprofile"), {"load", file}, err), 0) << err;
    }
    // lmgrab with its output kept, once it has read the configuration.
    pid_t Start(std::vector<std::string> args = {"/start"}) {
        const pid_t pid = testsupport::SpawnLogged(Bin("lmgrab"), args, home.file("out.txt"),
                                                   home.file("err.txt"));
        started.push_back(pid);
        WaitForSaying("actions read");
        return pid;
    }
    // How often the tool has said text on its error output.
    std::size_t Said(const std::string& text) {
        const std::string said = FileText(home.file("err.txt"));
        std::size_t found = 0;
        for (auto at = said.find(text); at != std::string::npos; at = said.find(text, at + 1))
            ++found;
        return found;
    }
    bool WaitForSaying(const std::string& text, std::size_t times = 1) {
        return WaitUntil([&] { return Said(text) >= times; });
    }
    std::vector<std::string> Files() {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(pictures, ec))
            names.push_back(e.path().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // The file written last; "" when there is none.
    std::string Newest() {
        std::filesystem::file_time_type newest{};
        std::string path;
        for (const auto& f : Files()) {
            const auto t = std::filesystem::last_write_time(f);
            if (path.empty() || t >= newest) newest = t, path = f;
        }
        return path;
    }
    // Presses keys and waits for the count'th file; "" when none came.
    std::string Press(const std::string& keys, std::size_t count) {
        std::string out;
        RunX("xdotool", {"key", keys}, out);
        if (!WaitUntil([&] { return Files().size() >= count; })) return "";
        return Newest();
    }
    // "width height" as ImageMagick reads the file.
    static std::string Size(const std::string& path) {
        std::string out;
        RunForOutput("identify", {"-format", "%w %h", path}, out);
        return out;
    }
    void Window(const std::string& geometry) {
        started.push_back(testsupport::Spawn("xlogo", {"-geometry", geometry}));
        std::string out;
        RunX("xdotool", {"search", "--sync", "--class", "xlogo", "windowactivate", "--sync"}, out);
        // Framed by the window manager and active: what the grabs measure.
        WaitUntil([] {
            std::string window, active, extents;
            RunX("xdotool", {"search", "--class", "xlogo"}, window);
            RunX("xdotool", {"getactivewindow"}, active);
            RunX("xprop", {"-id", active.substr(0, active.find('\n')), "_NET_FRAME_EXTENTS"},
                 extents);
            return !active.empty() && window.find(active) != std::string::npos &&
                   extents.find(" = ") != std::string::npos;
        });
    }

    // A BMP of the screen's own depth, and one forced to 24 bit: both hold
    // the same picture, the screen's own colours widened or not.
    void ScreenDepthCase(int depth) {
        Window("300x200+10+10");
        Action own{"own", 2, 'A', 0, ".bmp", 0};
        Action forced = own;
        forced.key = 'B';
        forced.prevent = true;
        Configure({own, forced});
        std::string ownPath, forcedPath;
        ASSERT_EQ(RunForOutput(Bin("lmgrab"), {"--capture", "1"}, ownPath), 0);
        ASSERT_EQ(RunForOutput(Bin("lmgrab"), {"--capture", "2"}, forcedPath), 0);
        ownPath.pop_back(), forcedPath.pop_back();
        EXPECT_EQ(HeaderBits(ownPath), depth);
        EXPECT_EQ(HeaderBits(forcedPath), 24);
        std::string a, b;
        RunForOutput("convert", {ownPath, "rgb:-"}, a);
        RunForOutput("convert", {forcedPath, "rgb:-"}, b);
        ASSERT_EQ(a.size(), 1024u * 768 * 3);
        ASSERT_EQ(a.size(), b.size());
        int worst = 0;
        for (std::size_t i = 0; i < a.size(); ++i) {
            worst = std::max(worst, std::abs(static_cast<unsigned char>(a[i]) -
                                             static_cast<unsigned char>(b[i])));
        }
        EXPECT_LE(worst, 8);
    }

    testsupport::XvfbServer x;
    testsupport::TempRuntimeDir runtime;
    testsupport::TempStore store;
    testsupport::TempDir home;
    const std::string pictures = home.path() + "/Pictures";
    pid_t windowManager = -1;
    std::vector<pid_t> started;
};

// A window of the tool is up and has the keyboard's focus.
inline bool HasTheKeyboard(const std::string& name) {
    return WaitUntil([&] {
        std::string overlay, focus;
        if (!RunX("xdotool", {"search", "--name", name}, overlay)) return false;
        RunX("xdotool", {"getwindowfocus"}, focus);
        return !focus.empty() && overlay.find(focus) != std::string::npos;
    });
}

}  // namespace lmgrabtest
