// lmgrab on a headless sway: its own compositor per test, run as an
// unprivileged user when the tests run as root (sway refuses root), keys
// typed with wtype, pictures compared with what grim reads.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "tests/capture/LmgrabFixture.h"
#include "tests/support/Processes.h"

namespace {

using namespace std::chrono_literals;
using testsupport::Bin;
using testsupport::FileText;
using testsupport::RunForOutput;
using testsupport::WaitFor;
using testsupport::WaitUntil;

constexpr uid_t kNobody = 65534;

class LmgrabOnSway : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/lmgrab-sway-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        work = name;
        ::chmod(work.c_str(), 0755);
        for (const char* dir : {"run", "shots", "bin"}) std::filesystem::create_directory(At(dir));
        ::chmod(At("run").c_str(), 0700);
        // The build tree may lie where the user cannot reach: the programs
        // come along.
        for (const char* program :
             {"lmgrab", "lmgrab-desktop.so", "lgprofile", "lumagrabber-config"}) {
            std::filesystem::copy_file(Bin(program), At("bin/") + program);
        }
        std::ofstream(At("sway.conf")) << "output HEADLESS-1 resolution 1280x720 bg #336699 "
                                          "solid_color\nbindsym Ctrl+F9 exec true\n";
        for (const auto& e : std::filesystem::recursive_directory_iterator(work))
            GiveToUser(e.path());
        GiveToUser(work);
        setenv("HOME", work.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", At("run").c_str(), 1);
        setenv("LUMAGRABBER_REGISTRY", At("store.db").c_str(), 1);
        setenv("XDG_PICTURES_DIR", At("shots").c_str(), 1);
        setenv("WLR_BACKENDS", "headless", 1);
        setenv("WLR_RENDERER", "pixman", 1);
        setenv("WLR_LIBINPUT_NO_DEVICES", "1", 1);
        for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "SWAYSOCK", "XDG_CONFIG_HOME"})
            unsetenv(v);
        started.push_back(Start("sway", {"-c", At("sway.conf")}, "sway.log"));
        std::string socket, display;
        ASSERT_TRUE(WaitUntil([&] {
            for (const auto& e : std::filesystem::directory_iterator(At("run"))) {
                const std::string file = e.path().filename();
                if (file.rfind("sway-ipc.", 0) == 0) socket = e.path();
                if (file.rfind("wayland-", 0) == 0 && file.find('.') == std::string::npos)
                    display = file;
            }
            return !socket.empty() && !display.empty();
        })) << FileText(At("sway.log"));
        setenv("SWAYSOCK", socket.c_str(), 1);
        setenv("WAYLAND_DISPLAY", display.c_str(), 1);
    }
    void TearDown() override {
        for (auto it = started.rbegin(); it != started.rend(); ++it) {
            kill(*it, SIGTERM);
            if (WaitFor(*it, 5s) == -1) kill(*it, SIGKILL), WaitFor(*it, 3s);
        }
        std::filesystem::remove_all(work);
    }
    std::string At(const std::string& name) const { return work + "/" + name; }
    // A file the unprivileged user must own when the tests run as root.
    static void GiveToUser(const std::string& path) {
        if (::geteuid() == 0 && ::chown(path.c_str(), kNobody, kNobody) != 0) ADD_FAILURE() << path;
    }
    // The program with its arguments, as the unprivileged user under root.
    std::vector<std::string> AsUser(const std::string& program, std::vector<std::string> args) {
        std::string path = program;
        if (std::filesystem::exists(At("bin/" + program))) path = At("bin/" + program);
        args.insert(args.begin(), path);
        if (::geteuid() == 0) {
            args.insert(args.begin(), {"--reuid=" + std::to_string(kNobody),
                                       "--regid=" + std::to_string(kNobody), "--clear-groups"});
        }
        return args;
    }
    pid_t Start(const std::string& program, std::vector<std::string> args, const std::string& log) {
        auto full = AsUser(program, std::move(args));
        if (::geteuid() == 0) return testsupport::SpawnLogged("setpriv", full, At(log), At(log));
        const std::string first = full.front();
        full.erase(full.begin());
        return testsupport::SpawnLogged(first, full, At(log), At(log));
    }
    int Run(const std::string& program, std::vector<std::string> args, std::string& out) {
        auto full = AsUser(program, std::move(args));
        if (::geteuid() == 0) return RunForOutput("setpriv", full, out);
        const std::string first = full.front();
        full.erase(full.begin());
        return RunForOutput(first, full, out);
    }
    // The picture's pixels as ImageMagick reads them.
    std::string Pixels(const std::string& file) {
        std::string out;
        RunForOutput("convert", {file, "rgb:-"}, out);
        return out;
    }
    // What grim reads of region ("" for the whole screen), as pixels.
    std::string GrimPixels(const std::string& region) {
        std::vector<std::string> args{"-t", "ppm"};
        if (!region.empty()) args.insert(args.end(), {"-g", region});
        args.push_back(At("grim.ppm"));
        std::string out;
        Run("grim", args, out);
        return Pixels(At("grim.ppm"));
    }
    std::vector<std::string> Shots() {
        std::vector<std::string> files;
        for (const auto& e : std::filesystem::directory_iterator(At("shots")))
            files.push_back(e.path());
        return files;
    }
    // Types keys with wtype and waits for the picture they write.
    std::string Press(std::vector<std::string> wtype) {
        std::string out;
        Run("wtype", std::move(wtype), out);
        if (!WaitUntil([&] { return !Shots().empty(); })) return "";
        return Shots().front();
    }
    void Configure(const std::vector<lmgrabtest::Action>& actions) {
        std::ofstream(At("config.lgp"), std::ios::binary) << lmgrabtest::ProfileOf(actions);
        std::string out;
        ASSERT_EQ(Run("lgprofile", {"load", At("config.lgp")}, out), 0) << out;
    }
    // The focused window's area, with or without its title bar and frame,
    // as grim's region; "" while none has the focus.
    std::string FocusedRegion(bool frame) {
        std::string tree, region;
        Run("swaymsg", {"-t", "get_tree"}, tree);
        std::ofstream(At("tree.json")) << tree;
        const char* withFrame =
            "\\(.rect.x),\\(.rect.y - .deco_rect.height) "
            "\\(.rect.width)x\\(.rect.height + .deco_rect.height)";
        const char* clientArea =
            "\\(.rect.x + .window_rect.x),\\(.rect.y + .window_rect.y) "
            "\\(.window_rect.width)x\\(.window_rect.height)";
        RunForOutput("jq",
                     {"-r",
                      std::string(".. | select(.focused? == true and .pid? != null) | \"") +
                          (frame ? withFrame : clientArea) + "\"",
                      At("tree.json")},
                     region);
        if (!region.empty()) region.pop_back();
        return region;
    }

    std::string work;
    std::vector<pid_t> started;
};

// Keys bound at run time fire their actions, also after sway reloads its
// configuration; each grab sway can tell writes exactly what grim reads, to
// a file or the clipboard;
// what it cannot tell, and keys the person's own configuration binds, are
// named; --capture asks the tool; the keys are gone from sway when the tool
// ends, the person's own binding stays.
TEST_F(LmgrabOnSway, HotKeysFireAndEveryGrabWritesWhatGrimReads) {
    lmgrabtest::Action clip{"clip", 2, 119, 0};
    clip.saveTo = 2;
    Configure({{"screen", 2, 116, 0},
               {"taken", 2, 120, 0},
               {"client", 5, 'A', 2},
               {"pointer", 2, 117, 3},
               {"framed", 2, 118, 1},
               clip});
    std::string out;
    EXPECT_EQ(Run("lmgrab", {"--check"}, out), 1);
    EXPECT_NE(out.find("problem: action 2 \"taken\": Ctrl+F9 is bound in sway's own "
                       "configuration; this action is not armed\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("problem: action 4 \"pointer\": this desktop (sway) does not tell lmgrab "
                       "where the mouse pointer is, so it cannot run here\n"),
              std::string::npos)
        << out;

    // A window to grab: the editor, on Wayland.
    setenv("QT_QPA_PLATFORM", "wayland", 1);
    started.push_back(Start("lumagrabber-config", {}, "editor.log"));
    unsetenv("QT_QPA_PLATFORM");
    ASSERT_TRUE(WaitUntil([&] { return !FocusedRegion(false).empty(); }));
    started.push_back(Start("lmgrab", {"/start"}, "tool.log"));
    ASSERT_TRUE(WaitUntil([&] {
        return FileText(At("tool.log")).find("actions read") != std::string::npos;
    })) << FileText(At("tool.log"));

    const std::string screen = Press({"-M", "ctrl", "-k", "F5", "-m", "ctrl"});
    ASSERT_FALSE(screen.empty()) << FileText(At("tool.log"));
    EXPECT_EQ(Pixels(screen), GrimPixels(""));
    std::filesystem::remove(screen);
    const std::string client =
        Press({"-M", "alt", "-M", "shift", "-k", "a", "-m", "shift", "-m", "alt"});
    ASSERT_FALSE(client.empty()) << FileText(At("tool.log"));
    EXPECT_EQ(Pixels(client), GrimPixels(FocusedRegion(false)));
    std::filesystem::remove(client);
    const std::string framed = Press({"-M", "ctrl", "-k", "F7", "-m", "ctrl"});
    ASSERT_FALSE(framed.empty()) << FileText(At("tool.log"));
    EXPECT_EQ(Pixels(framed), GrimPixels(FocusedRegion(true)));
    std::filesystem::remove(framed);

    // The clipboard, which a client without the focus cannot set by itself.
    Run("wtype", {"-M", "ctrl", "-k", "F8", "-m", "ctrl"}, out);
    ASSERT_TRUE(WaitUntil([&] {
        Run("wl-paste", {"--list-types"}, out);
        return out == "image/png\n";
    })) << out
        << FileText(At("tool.log"));
    Run("wl-paste", {"--type", "image/png"}, out);
    std::ofstream(At("pasted.png"), std::ios::binary) << out;
    EXPECT_EQ(Pixels(At("pasted.png")), GrimPixels(""));

    // A reload of sway's configuration forgets bindings made at run time:
    // the tool binds its keys again.
    Run("swaymsg", {"reload"}, out);
    ASSERT_TRUE(WaitUntil([&] {
        return FileText(At("tool.log")).find("hot keys bound again") != std::string::npos;
    })) << FileText(At("tool.log"));
    const std::string again = Press({"-M", "ctrl", "-k", "F5", "-m", "ctrl"});
    ASSERT_FALSE(again.empty()) << FileText(At("tool.log"));
    std::filesystem::remove(again);

    // The store gone: only the running tool can still run action 1.
    std::filesystem::rename(At("store.db"), At("kept.db"));
    ASSERT_EQ(Run("lmgrab", {"--capture", "1"}, out), 0) << out;
    EXPECT_EQ(Shots().size(), 1u);

    kill(started.back(), SIGTERM);
    EXPECT_EQ(WaitFor(started.back(), 5s), 0);
    started.pop_back();
    Run("swaymsg", {"unbindsym Ctrl+F5"}, out);
    EXPECT_NE(out.find("Could not find binding"), std::string::npos) << out;
    EXPECT_EQ(Run("swaymsg", {"unbindsym Ctrl+F9"}, out), 0) << out;
}

// A desktop that ignores wl-copy (GNOME, where only the window with the
// focus may set the clipboard) is found out: the clipboard is read back and
// the action fails with the reason instead of claiming a copy.
TEST_F(LmgrabOnSway, AClipboardTheDesktopDidNotTakeIsAFailure) {
    std::ofstream(At("bin/wl-copy")) << "#!/bin/sh\ncat >/dev/null\n";
    ::chmod(At("bin/wl-copy").c_str(), 0755);
    GiveToUser(At("bin/wl-copy"));
    const std::string path = std::getenv("PATH");
    setenv("PATH", (At("bin") + ":" + path).c_str(), 1);
    lmgrabtest::Action clip{"clip", 2, 119, 0};
    clip.saveTo = 2;
    Configure({clip});
    started.push_back(Start("lmgrab", {"/start"}, "tool.log"));
    setenv("PATH", path.c_str(), 1);
    ASSERT_TRUE(WaitUntil([&] {
        return FileText(At("tool.log")).find("actions read") != std::string::npos;
    })) << FileText(At("tool.log"));
    std::string out;
    Run("wtype", {"-M", "ctrl", "-k", "F8", "-m", "ctrl"}, out);
    EXPECT_TRUE(WaitUntil([&] {
        return FileText(At("tool.log"))
                   .find(
                       "action 1 \"clip\": the picture did not reach the "
                       "clipboard") != std::string::npos;
    })) << FileText(At("tool.log"));
}

}  // namespace
