// lmgrab on GNOME 48 or later: a headless GNOME Shell of the test's own on a
// private session bus, with the real portal, GNOME's portal back end and
// GNOME Settings' shortcut provider. What a person does there (adding the
// shortcuts, pressing keys) goes through Mutter's remote-desktop interface
// (tests/capture/gnome/person.py).
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/AppIds.h"
#include "tests/capture/SessionBusFixture.h"
#include "tests/support/Processes.h"

namespace {

using testsupport::Bin;
using testsupport::FileText;
using testsupport::RunCapturing;
using testsupport::RunForOutput;
using testsupport::WaitUntil;

constexpr const char* kShell = "/usr/bin/gnome-shell";

class LmgrabOnGnome : public SessionBusTest {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(kShell)) GTEST_SKIP() << "GNOME Shell is not installed";
        std::string version;
        RunForOutput(kShell, {"--version"}, version);
        int major = 0;
        std::sscanf(version.c_str(), "GNOME Shell %d", &major);
        if (major < 48) GTEST_SKIP() << "GNOME Shell before 48 binds no shortcuts for programs";
        // With a seat manager running, the headless shell would ask it for a seat.
        if (std::filesystem::exists("/run/systemd/seats"))
            GTEST_SKIP() << "systemd-logind runs here; the headless shell needs a machine without";
        UseOwnFolders();
        // The portal finds lmgrab's entry by its id, and takes it only where
        // its Exec names a program that exists.
        std::filesystem::create_directories(dir.file(".local/share/applications"));
        std::ofstream(
            dir.file(std::string(".local/share/applications/") + platform::kToolAppId + ".desktop"))
            << "[Desktop Entry]\nType=Application\nName=Lumagrabber\nExec="
            << std::filesystem::canonical(Bin("lmgrab")).string() << " /start\n";
        setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
        setenv("XDG_SESSION_TYPE", "wayland", 1);
        setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
        setenv("GTK_A11Y", "none", 1);
        // The shell wants a system bus too: one of the test's own, so that
        // nothing of the machine's is touched.
        started.push_back(testsupport::SpawnLogged(
            "dbus-daemon",
            {"--session", "--nofork", "--address=unix:path=" + dir.file("system-bus"),
             "--print-address=1"},
            dir.file("system-bus.address"), dir.file("system-bus.log")));
        ASSERT_TRUE(WaitUntil([&] {
            return FileText(dir.file("system-bus.address")).find('\n') != std::string::npos;
        }));
        setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + dir.file("system-bus")).c_str(), 1);
        StartBus();
        if (HasFatalFailure()) return;
        started.push_back(testsupport::SpawnLogged(
            kShell, {"--headless", "--virtual-monitor", "1280x800", "--wayland", "--no-x11"},
            dir.file("shell.log"), dir.file("shell.log")));
        bool up = false;
        for (int tries = 0; tries < 6 && !up; ++tries) {
            up = WaitUntil([&] { return std::filesystem::exists(dir.file("wayland-0")); });
        }
        ASSERT_TRUE(up) << FileText(dir.file("shell.log"));
        setenv("WAYLAND_DISPLAY", "wayland-0", 1);
        std::string out;
        ASSERT_EQ(RunForOutput("dbus-update-activation-environment",
                               {"WAYLAND_DISPLAY=wayland-0", "XDG_CURRENT_DESKTOP=GNOME"}, out),
                  0)
            << out;
        // The shell opens its overview once started; a person leaves it.
        ASSERT_TRUE(WaitUntil([&] { return Person({"leave-overview"}); }))
            << FileText(dir.file("shell.log"));
    }
    void TearDown() override {
        SessionBusTest::TearDown();
        for (const char* v :
             {"XDG_CURRENT_DESKTOP", "XDG_SESSION_TYPE", "LIBGL_ALWAYS_SOFTWARE", "GTK_A11Y"})
            unsetenv(v);
    }
    bool Person(std::vector<std::string> args) {
        args.insert(args.begin(), std::string(LG_SOURCE_DIR) + "/tests/capture/gnome/person.py");
        std::string out;
        return RunForOutput("/usr/bin/python3", args, out) == 0;
    }
    bool Said(const std::string& text) {
        return FileText(dir.file("tool.err")).find(text) != std::string::npos;
    }
};

// The tool's shortcuts reach GNOME's "Add Keyboard Shortcuts" (lmgrab's
// reverse-DNS id passes GNOME's check), the person adds them, and a press
// writes the screen through the portal, whose permission lmgrab
// --allow-screenshots gave; the clipboard, which GNOME lets only the focused
// window set, is read back and its failure said.
TEST_F(LmgrabOnGnome, ShortcutsThePersonAddsFireAndAClipboardNotTakenIsSaid) {
    lmgrabtest::Action clip{"clip", 2, 117, 0};
    clip.saveTo = 2;
    Configure({{"screen", 2, 116, 0}, clip});
    std::string out;
    ASSERT_EQ(RunForOutput(Bin("lmgrab"), {"--allow-screenshots"}, out), 0) << out;
    started.push_back(testsupport::SpawnLogged(Bin("lmgrab"), {"/start"}, dir.file("tool.out"),
                                               dir.file("tool.err")));
    // GNOME shows its dialog, which takes a click to focus and one on Add.
    for (int clicks = 0; clicks < 5 && !Said("actions read"); ++clicks) {
        ASSERT_TRUE(WaitUntil([&] { return Person({"press-suggested"}); }))
            << FileText(dir.file("tool.err"));
        WaitUntil([&] { return Said("actions read"); });
    }
    ASSERT_TRUE(Said("actions read")) << FileText(dir.file("tool.err"));
    EXPECT_FALSE(Said("not armed")) << FileText(dir.file("tool.err"));

    ASSERT_TRUE(Person({"keys", "ffe3+ffc2"}));  // Ctrl+F5
    ASSERT_TRUE(WaitUntil([&] { return Shots().size() == 1; })) << FileText(dir.file("tool.err"));
    std::string size;
    RunForOutput("identify", {"-format", "%w %h", Shots()[0]}, size);
    EXPECT_EQ(size, "1280 800");

    ASSERT_TRUE(Person({"keys", "ffe3+ffc3"}));  // Ctrl+F6
    EXPECT_TRUE(WaitUntil([&] {
        return Said("action 2 \"clip\": the picture did not reach the clipboard");
    })) << FileText(dir.file("tool.err"));
}

}  // namespace
