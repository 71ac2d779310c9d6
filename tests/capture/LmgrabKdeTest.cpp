// lmgrab on KDE Plasma's compositor: a virtual kwin_wayland of the test's
// own on a private session bus (software OpenGL: KWin serves screenshots
// only when it composites with it). Keys cannot be typed into it (KWin
// has no virtual keyboard for clients); kglobalaccel's own invokeShortcut
// fires a shortcut as a press does. Skipped where KWin is not installed
// (scripts/install-kwin.sh installs it).
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "platform/AppIds.h"
#include "tests/capture/SessionBusFixture.h"
#include "tests/support/Processes.h"
#include "tests/support/TempStore.h"

namespace {

using namespace std::chrono_literals;
using testsupport::Bin;
using testsupport::FileText;
using testsupport::RunCapturing;
using testsupport::RunForOutput;
using testsupport::WaitFor;
using testsupport::WaitUntil;

constexpr const char* kKWin = "/usr/bin/kwin_wayland";
// kglobalaccel's object of lmgrab's shortcuts, named by its application id.
constexpr const char* kComponent = "/component/com_orvane_Lmgrab";

class LmgrabOnKde : public SessionBusTest {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(kKWin)) GTEST_SKIP() << "KWin is not installed";
        UseOwnFolders();
        std::filesystem::create_directories(dir.file("data/applications"));
        StartBus();
    }
    // Whether KWin can paint pictures here: KWin 6 composites with OpenGL
    // only on a GPU's render node, and without OpenGL offers no screenshots.
    static bool KWinPaints() {
        std::string version;
        RunForOutput(kKWin, {"--version"}, version);
        int major = 0;
        std::sscanf(version.c_str(), "kwin %d", &major);
        if (major < 6) return true;
        std::error_code none;  // no /dev/dri at all
        for (const auto& e : std::filesystem::directory_iterator("/dev/dri", none))
            if (e.path().filename().string().rfind("renderD", 0) == 0) return true;
        return false;
    }
    // A desktop of 640 x 480 logical pixels, each scale x scale of the
    // monitor's; with its screenshots where it paints and shots is true.
    void StartKWin(int scale = 1, bool shots = true) {
        // A copy: the installed one carries file capabilities this sandbox
        // will not grant. Its desktop entries and caches are the test's.
        std::filesystem::copy_file(kKWin, dir.file("kwin_wayland"));
        setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1);
        setenv("XDG_CACHE_HOME", dir.file("cache").c_str(), 1);
        setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        setenv("KWIN_COMPOSE", "O2", 1);
        started.push_back(
            testsupport::SpawnLogged(dir.file("kwin_wayland"),
                                     {"--virtual", "--width", "640", "--height", "480", "--scale",
                                      std::to_string(scale), "--socket", "wayland-lgkde"},
                                     dir.file("kwin.log"), dir.file("kwin.log")));
        for (const char* v : {"XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"}) unsetenv(v);
        const auto answers = [](const std::string& path, const std::string& method,
                                std::vector<std::string> args) {
            std::vector<std::string> all{"--session", "--print-reply", "--dest=org.kde.KWin", path,
                                         method};
            all.insert(all.end(), args.begin(), args.end());
            std::string out;
            return RunForOutput("dbus-send", all, out) == 0;
        };
        ASSERT_TRUE(WaitUntil([&] {
            return shots && KWinPaints()
                       ? answers("/org/kde/KWin/ScreenShot2", "org.freedesktop.DBus.Properties.Get",
                                 {"string:org.kde.KWin.ScreenShot2", "string:Version"})
                       : answers("/KWin", "org.freedesktop.DBus.Peer.Ping", {});
        })) << FileText(dir.file("kwin.log"));
        setenv("WAYLAND_DISPLAY", "wayland-lgkde", 1);
    }
    void Allow() {
        std::ofstream(
            dir.file(std::string("data/applications/") + platform::kToolAppId + ".desktop"))
            << "[Desktop Entry]\nType=Application\nName=Lumagrabber\nExec="
            << std::filesystem::canonical(Bin("lmgrab")).string()
            << " /start\nX-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2\n";
    }
    std::string Kglobalaccel(const std::string& path, const std::string& method,
                             std::vector<std::string> args = {}) {
        std::vector<std::string> all{"--session", "--print-reply", "--dest=org.kde.kglobalaccel",
                                     path, method};
        all.insert(all.end(), args.begin(), args.end());
        std::string out;
        RunForOutput("dbus-send", all, out);
        return out;
    }
    // Ends the tool started last; its shortcuts leave KDE with it.
    void EndToolAndItsShortcuts() {
        kill(started.back(), SIGTERM);
        EXPECT_EQ(WaitFor(started.back(), 10s), 0) << FileText(dir.file("tool.err"));
        started.pop_back();
        EXPECT_EQ(
            Kglobalaccel(kComponent, "org.kde.kglobalaccel.Component.shortcutNames").find("Action"),
            std::string::npos);
    }
    // KWin's configuration before it starts.
    void ConfigureKWin(const std::string& kwinrc) {
        std::filesystem::create_directories(dir.file("config"));
        std::ofstream(dir.file("config/kwinrc")) << kwinrc;
    }
    void Press(const std::string& name) {
        Kglobalaccel(kComponent, "org.kde.kglobalaccel.Component.invokeShortcut",
                     {"string:" + name});
    }
};

struct Picture {
    int width = 0, height = 0;
    std::string rgb;
    std::size_t Count(const std::string& colour) const {
        std::size_t n = 0;
        for (std::size_t i = 0; i + 3 <= rgb.size(); i += 3) n += rgb.compare(i, 3, colour) == 0;
        return n;
    }
};

Picture Read(const std::string& file) {
    Picture p;
    std::string size;
    RunForOutput("identify", {"-format", "%w %h", file}, size);
    std::sscanf(size.c_str(), "%d %d", &p.width, &p.height);
    RunForOutput("convert", {file, "rgb:-"}, p.rgb);
    return p;
}

class LmgrabOnScaledKde : public LmgrabOnKde, public ::testing::WithParamInterface<int> {};

// The keys are KDE's global shortcuts under "Lumagrabber"; a key KWin holds
// is named with its holder; a fired shortcut writes the whole screen, the
// active window alone and the rectangle at the pointer, all as KWin paints
// them and at the monitor's own resolution; the shortcuts leave with the
// tool. The rectangle-drawing overlay shows the frozen screen as it was, at
// its size (no pointer here to draw with: it is seen, then ended).
TEST_P(LmgrabOnScaledKde, ShortcutsOfKdeFireAndKWinsPicturesAreWritten) {
    if (!KWinPaints()) GTEST_SKIP() << "KWin 6 paints no pictures without a GPU's render node";
    const int scale = GetParam();
    Allow();
    ASSERT_NO_FATAL_FAILURE(StartKWin(scale));
    // A window of one colour (a sixth of the screen), active once shown.
    const std::string red("\xc8\x32\x14", 3);
    std::string out;
    ASSERT_EQ(RunForOutput("convert", {"-size", "200x150", "xc:#c83214", dir.file("red.png")}, out),
              0);
    const pid_t image = testsupport::SpawnLogged("weston-image", {dir.file("red.png")},
                                                 dir.file("image.log"), dir.file("image.log"));
    started.push_back(image);
    Configure({{"screen", 2, 116, 0},
               {"window", 2, 117, 1},
               {"taken", 2, 120, 0},
               {"pointer", 6, 118, 3, ".bmp", 6, 100, false, 1, 100, 80},
               {"draw", 6, 119, 4}});
    EXPECT_EQ(RunForOutput(Bin("lmgrab"), {"--check"}, out), 1);
    EXPECT_NE(out.find("problem: action 3 \"taken\": Ctrl+F9 is held by KWin (\"Toggle Present "
                       "Windows (Current desktop)\") in KDE; this action is not armed\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("problem: action 1"), std::string::npos) << out;

    started.push_back(testsupport::SpawnLogged(Bin("lmgrab"), {"/start"}, dir.file("tool.out"),
                                               dir.file("tool.err")));
    ASSERT_TRUE(WaitUntil([&] {
        return FileText(dir.file("tool.err")).find("actions read") != std::string::npos;
    })) << FileText(dir.file("tool.err"));
    const std::string listed =
        Kglobalaccel(kComponent, "org.kde.kglobalaccel.Component.allShortcutInfos");
    EXPECT_NE(listed.find("\"1: the whole screen as BMP, 24 bit into "), std::string::npos)
        << listed;
    EXPECT_NE(listed.find("\"Lumagrabber\""), std::string::npos) << listed;

    for (const char* name : {"Action1", "Action2", "Action4"}) {
        const std::size_t before = Shots().size();
        Press(name);
        ASSERT_TRUE(WaitUntil([&] { return Shots().size() == before + 1; }))
            << name << "\n"
            << FileText(dir.file("tool.err"));
    }
    const Picture screen = Read(Shots()[0]), window = Read(Shots()[1]), around = Read(Shots()[2]);
    EXPECT_EQ(screen.width, 640 * scale);
    EXPECT_EQ(screen.height, 480 * scale);
    EXPECT_GE(screen.Count(red), 200u * 150u * scale * scale * 9 / 10);
    // The window alone: every red pixel the screen shows, and far less than it.
    EXPECT_EQ(window.Count(red), screen.Count(red));
    EXPECT_LT(window.width * window.height, 640 * 480 * scale * scale / 2);
    EXPECT_EQ(around.width, 100);
    EXPECT_EQ(around.height, 80);

    EndToolAndItsShortcuts();

    started.push_back(testsupport::SpawnLogged(Bin("lmgrab"), {"/start"}, dir.file("tool.out"),
                                               dir.file("tool2.err")));
    ASSERT_TRUE(WaitUntil([&] {
        return FileText(dir.file("tool2.err")).find("actions read") != std::string::npos;
    })) << FileText(dir.file("tool2.err"));
    Press("Action5");
    std::this_thread::sleep_for(2s);  // the overlay up
    kill(image, SIGKILL);
    WaitFor(image, 5s);
    started.erase(std::find(started.begin(), started.end(), image));
    std::this_thread::sleep_for(500ms);  // the window gone from KWin's screen
    // The tool is busy: --capture takes the screen by itself.
    ASSERT_EQ(RunForOutput(Bin("lmgrab"), {"--capture", "1"}, out), 0) << out;
    const Picture overlaid = Read(Shots().back());
    EXPECT_EQ(overlaid.Count(red), screen.Count(red)) << "the overlay shows another picture";
    // Ended in the middle of drawing, it ends cleanly.
    kill(started.back(), SIGTERM);
    EXPECT_EQ(WaitFor(started.back(), 10s), 0) << FileText(dir.file("tool2.err"));
    started.pop_back();
}

INSTANTIATE_TEST_SUITE_P(AtScale, LmgrabOnScaledKde, ::testing::Values(1, 2));

// Without the desktop entry that KWin asks for, lmgrab says what to install
// instead of writing black or nothing.
TEST_F(LmgrabOnKde, WithoutItsDesktopEntryKWinsRefusalIsExplained) {
    if (!KWinPaints()) GTEST_SKIP() << "KWin 6 paints no pictures without a GPU's render node";
    ASSERT_NO_FATAL_FAILURE(StartKWin());
    Configure({{"screen", 2, 116, 0}});
    std::string out, err;
    EXPECT_EQ(RunForOutput(Bin("lmgrab"), {"--check"}, out), 1);
    EXPECT_NE(out.find("KWin takes screenshots only for programs whose installed desktop entry "
                       "allows it: install com.orvane.Lmgrab.desktop"),
              std::string::npos)
        << out;
    EXPECT_NE(RunCapturing(Bin("lmgrab"), {"--capture", "1"}, err), 0);
    EXPECT_NE(err.find("X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2"),
              std::string::npos)
        << err;
    EXPECT_TRUE(Shots().empty());
}

// Where KWin offers no screenshots (KWin 6 without a GPU's render node, or
// its screenshot effect turned off), the keys are KDE's shortcuts all the
// same, a press says why no picture came, and the shortcuts leave with the
// tool.
TEST_F(LmgrabOnKde, WithoutKWinsScreenshotsTheKeysFireAndSayWhy) {
    Allow();
    ConfigureKWin("[Plugins]\nscreenshotEnabled=false\n");
    ASSERT_NO_FATAL_FAILURE(StartKWin(1, false));
    Configure({{"screen", 2, 116, 0}});
    const std::string why =
        "KWin offers no screenshots here: it composites without OpenGL (no GPU render node for "
        "it) or its screenshot effect is off, so lmgrab cannot read the screen";
    std::string out;
    EXPECT_EQ(RunForOutput(Bin("lmgrab"), {"--check"}, out), 1);
    EXPECT_NE(out.find("problem: " + why + "\n"), std::string::npos) << out;

    started.push_back(testsupport::SpawnLogged(Bin("lmgrab"), {"/start"}, dir.file("tool.out"),
                                               dir.file("tool.err")));
    ASSERT_TRUE(WaitUntil([&] {
        return FileText(dir.file("tool.err")).find("actions read") != std::string::npos;
    })) << FileText(dir.file("tool.err"));
    EXPECT_NE(Kglobalaccel(kComponent, "org.kde.kglobalaccel.Component.allShortcutInfos")
                  .find("\"1: the whole screen as BMP, 24 bit into "),
              std::string::npos);
    Press("Action1");
    EXPECT_TRUE(WaitUntil([&] {
        return FileText(dir.file("tool.err")).find("action 1 \"screen\": " + why) !=
               std::string::npos;
    })) << FileText(dir.file("tool.err"));
    EXPECT_TRUE(Shots().empty());
    EndToolAndItsShortcuts();
}

}  // namespace
