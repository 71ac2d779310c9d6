// lmgrab on a Wayland desktop reached through the desktop portal: the real
// xdg-desktop-portal frontend on a private session bus, a back end of the
// tests' own (tests/capture/portal) that logs what it is asked to bind,
// fires shortcuts when told and hands out a painted screenshot, and a
// headless weston for the tool's Qt.
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

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

class LmgrabOnPortal : public SessionBusTest {
protected:
    void SetUp() override {
        UseOwnFolders();
        // The entry a frontend with a registry of apps looks the id up in;
        // it takes the entry only where Exec names a program that exists.
        std::filesystem::create_directories(dir.file(".local/share/applications"));
        std::ofstream(dir.file(".local/share/applications/com.orvane.Lmgrab.desktop"))
            << "[Desktop Entry]\nType=Application\nName=Lumagrabber\nExec="
            << std::filesystem::canonical(Bin("lmgrab")).string() << " /start\n";
        // The portal's settings before the bus: a portal the bus starts on
        // demand, should it, then serves the same back end.
        const std::string portal = std::string(LG_SOURCE_DIR) + "/tests/capture/portal";
        setenv("XDG_DESKTOP_PORTAL_DIR", portal.c_str(), 1);
        setenv("XDG_CURRENT_DESKTOP", "lgtest", 1);
        StartBus();
        if (HasFatalFailure()) return;
        started.push_back(testsupport::SpawnLogged(
            "/usr/bin/python3", {portal + "/fake-backend.py", Log(), dir.path()},
            dir.file("backend.err"), dir.file("backend.err")));
        ASSERT_TRUE(WaitUntil([&] { return FileText(Log()).find("ready") != std::string::npos; }));
        started.push_back(testsupport::SpawnLogged("/usr/libexec/xdg-desktop-portal", {"--replace"},
                                                   dir.file("portal.log"), dir.file("portal.log")));
        // Until it owns its name, a call would start another.
        ASSERT_TRUE(WaitUntil([] {
            std::string out;
            RunForOutput("dbus-send",
                         {"--session", "--print-reply", "--dest=org.freedesktop.DBus",
                          "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                          "string:org.freedesktop.portal.Desktop"},
                         out);
            return out.find("boolean true") != std::string::npos;
        })) << FileText(dir.file("portal.log"));
        started.push_back(testsupport::SpawnLogged(
            "weston", {"--backend=headless-backend.so", "--socket=wayland-lgtest", "--idle-time=0"},
            dir.file("weston.log"), dir.file("weston.log")));
        ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(dir.file("wayland-lgtest")); }));
        setenv("WAYLAND_DISPLAY", "wayland-lgtest", 1);
    }
    std::string Log() const { return dir.file("backend.log"); }
    void Press(const std::string& id) {
        std::string out;
        RunForOutput(
            "dbus-send",
            {"--session", "--dest=org.freedesktop.impl.portal.desktop.lgtest", "--type=method_call",
             "/org/freedesktop/portal/desktop", "org.lgtest.Control.Press", "string:" + id},
            out);
    }
};

// The back end's painted screen: pixel (x, y) is (x, y, x + y), each mod 256.
std::string PaintedPixels() {
    std::string rgb;
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            rgb += static_cast<char>(x % 256);
            rgb += static_cast<char>(y % 256);
            rgb += static_cast<char>((x + y) % 256);
        }
    }
    return rgb;
}

// Each hot key is one shortcut under the action's stored name, its key the
// preferred trigger; --check says which keys the desktop really gave; a
// shortcut fired by the desktop writes the portal's screenshot exactly (and
// leaves no copy of it behind); a new configuration is a new session;
// --capture asks the running tool; what the portal cannot tell is named.
TEST_F(LmgrabOnPortal, ShortcutsBoundByNameFireAndWriteThePortalsScreenshot) {
    Configure({{"screen", 2, 116, 0}, {"twelve", 3, 123, 0}, {"pointer", 2, 117, 3}});
    std::string out;
    EXPECT_EQ(RunForOutput(Bin("lmgrab"), {"--check"}, out), 1);
    EXPECT_NE(out.find("action 2 \"twelve\": the desktop fires it with CTRL+ALT+F11 (stored: "
                       "Ctrl+Alt+F12)\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("problem: action 3 \"pointer\": this desktop (the desktop portal) does not "
                       "tell lmgrab where the mouse pointer is, so it cannot run here\n"),
              std::string::npos)
        << out;
    EXPECT_NE(FileText(Log()).find("bind Action1 [CTRL+F5] 1: the whole screen as BMP, 24 bit"),
              std::string::npos)
        << FileText(Log());
    // A frontend with the registry (1.19 and later) knows lmgrab by its id;
    // older ones only inside a systemd scope of its name, which a test has not.
    RunForOutput(
        "dbus-send",
        {"--session", "--print-reply", "--dest=org.freedesktop.portal.Desktop",
         "/org/freedesktop/portal/desktop", "org.freedesktop.DBus.Introspectable.Introspect"},
        out);
    if (out.find("org.freedesktop.host.portal.Registry") != std::string::npos) {
        EXPECT_NE(FileText(Log()).find("session 1 for 'com.orvane.Lmgrab'"), std::string::npos)
            << FileText(Log());
    }

    started.push_back(testsupport::SpawnLogged(Bin("lmgrab"), {"/start"}, dir.file("tool.out"),
                                               dir.file("tool.err")));
    ASSERT_TRUE(WaitUntil([&] {
        return FileText(dir.file("tool.err")).find("actions read") != std::string::npos;
    })) << FileText(dir.file("tool.err"));
    EXPECT_NE(FileText(dir.file("tool.err")).find("the desktop fires it with CTRL+ALT+F11"),
              std::string::npos);
    Press("Action1");
    ASSERT_TRUE(WaitUntil([&] { return Shots().size() == 1; })) << FileText(dir.file("tool.err"));
    RunForOutput("convert", {Shots()[0], "rgb:-"}, out);
    EXPECT_TRUE(out == PaintedPixels()) << "the picture differs from the portal's";
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename().string().rfind("portal-shot-", 0), std::string::npos);

    Configure({{"screen", 2, 116, 0}, {"again", 4, 'Q', 0}, {"draw", 2, 118, 4}});
    std::string err;
    ASSERT_EQ(RunCapturing(Bin("lgevent"), {"set", "Lumagrabber configuration changed."}, err), 0);
    ASSERT_TRUE(WaitUntil([&] {
        return FileText(Log()).find("bind Action2 [SHIFT+q]") != std::string::npos;
    })) << FileText(Log());
    ASSERT_EQ(RunForOutput(Bin("lmgrab"), {"--capture", "2"}, out), 0) << out;
    EXPECT_EQ(Shots().size(), 2u);
    EXPECT_EQ(FileText(dir.file("tool.out")),
              Shots()[0] + "\n");  // only the press was the tool's own

    // A rectangle is drawn on one screenshot, the only one it takes.
    const auto screenshots = [&] {
        const std::string log = FileText(Log());
        std::size_t n = 0;
        for (auto at = log.find("screenshot"); at != std::string::npos;
             at = log.find("screenshot", at + 1))
            ++n;
        return n;
    };
    const std::size_t before = screenshots();
    Press("Action3");
    ASSERT_TRUE(WaitUntil([&] { return screenshots() > before; }));
    std::this_thread::sleep_for(1s);  // time enough for a second one
    EXPECT_EQ(screenshots(), before + 1);
}

// The person's answer to the desktop's question is read before a picture is
// asked for: a no, and on GNOME no answer yet (GNOME asks only while a
// window of lmgrab's has the focus), fail at once with the command that
// allows screenshots, and that command stores the yes the portal reads.
TEST_F(LmgrabOnPortal, ScreenshotsNotAllowedAreExplainedAtOnceWithTheCommand) {
    Configure({{"screen", 2, 116, 0}});
    const auto store = [](const std::string& method, std::vector<std::string> args) {
        std::vector<std::string> all{"--session", "--print-reply",
                                     "--dest=org.freedesktop.impl.portal.PermissionStore",
                                     "/org/freedesktop/impl/portal/PermissionStore",
                                     "org.freedesktop.impl.portal.PermissionStore." + method};
        all.insert(all.end(), args.begin(), args.end());
        std::string out;
        EXPECT_EQ(RunForOutput("dbus-send", all, out), 0) << method << out;
    };
    const std::string allow = "; to allow them, run: lmgrab --allow-screenshots\n";
    store("SetPermission", {"string:screenshot", "boolean:true", "string:screenshot",
                            "string:com.orvane.Lmgrab", "array:string:no"});
    std::string err;
    EXPECT_EQ(RunCapturing(Bin("lmgrab"), {"--capture", "1"}, err), 1);
    EXPECT_EQ(err,
              "lmgrab: the desktop refuses lmgrab's screenshots (the answer to its earlier "
              "question)" +
                  allow);

    store("DeletePermission",
          {"string:screenshot", "string:screenshot", "string:com.orvane.Lmgrab"});
    setenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME", 1);
    EXPECT_EQ(RunCapturing(Bin("lmgrab"), {"--capture", "1"}, err), 1);
    EXPECT_EQ(err,
              "lmgrab: the desktop has not been asked yet whether lmgrab may take screenshots, "
              "and GNOME asks only while a window of lmgrab's has the focus" +
                  allow);
    EXPECT_TRUE(Shots().empty());

    std::string out;
    ASSERT_EQ(RunForOutput(Bin("lmgrab"), {"--allow-screenshots"}, out), 0) << out;
    ASSERT_EQ(RunForOutput(Bin("lmgrab"), {"--capture", "1"}, out), 0) << out;
    EXPECT_EQ(Shots().size(), 1u);
    EXPECT_EQ(FileText(Log()).find("access asked"), std::string::npos) << FileText(Log());
    setenv("XDG_CURRENT_DESKTOP", "lgtest", 1);
}

}  // namespace
