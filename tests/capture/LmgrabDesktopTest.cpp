// The real capture tool on a real X server with a window manager, seeded
// with lgprofile and driven with xdotool as a user would: hot keys whatever
// NumLock and CapsLock, every grab method, formats and depths, screens of
// 16 and 15 bit, reconfiguration through the change event, a key another
// client holds, --check, --capture, Quit and a second start.
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/capture/LmgrabFixture.h"
#include "tests/support/Processes.h"
#include "tests/support/TempStore.h"
#include "tests/support/Xvfb.h"

// Last: Xlib's macros (None, Status) would spoil the headers above.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

using namespace lmgrabtest;

TEST_F(Lmgrab, HotKeysFireWhateverTheLocksAndGrabTheFramedWindowItsClientAreaAndTheScreen) {
    Configure({{"framed", 2, 116, 1, ".jpg", 6, 75}, {"client", 2, 117, 2}, {"screen", 6, 'A', 0}});
    Window("300x200+100+100");
    Start();
    const std::string framed = Press("ctrl+F5", 1);
    ASSERT_FALSE(framed.empty()) << FileText(home.file("err.txt"));
    EXPECT_EQ(framed.substr(framed.size() - 4), ".jpg");
    std::string quality;
    RunForOutput("identify", {"-format", "%Q", framed}, quality);
    EXPECT_EQ(quality, "75");
    const std::string client = Press("ctrl+F6", 2);
    EXPECT_EQ(Size(client), "300 200");
    // The framed picture is the client area and the frame the window manager reports.
    std::string window, extents;
    RunX("xdotool", {"search", "--class", "xlogo"}, window);
    RunX("xprop", {"-id", window.substr(0, window.find('\n')), "_NET_FRAME_EXTENTS"}, extents);
    int left = 0, right = 0, top = 0, bottom = 0;
    ASSERT_EQ(std::sscanf(extents.c_str(), "_NET_FRAME_EXTENTS(CARDINAL) = %d, %d, %d, %d", &left,
                          &right, &top, &bottom),
              4)
        << extents;
    EXPECT_GT(top, 0);
    EXPECT_EQ(Size(framed),
              std::to_string(300 + left + right) + " " + std::to_string(200 + top + bottom));
    EXPECT_EQ(Size(Press("ctrl+shift+a", 3)), "1280 1024");

    std::string out;
    RunX("xdotool", {"key", "Num_Lock"}, out);
    EXPECT_FALSE(Press("ctrl+F6", 4).empty()) << "NumLock on";
    RunX("xdotool", {"key", "Caps_Lock"}, out);
    EXPECT_FALSE(Press("ctrl+F6", 5).empty()) << "NumLock and CapsLock on";
    RunX("xdotool", {"key", "Num_Lock"}, out);
    EXPECT_FALSE(Press("ctrl+F6", 6).empty()) << "CapsLock on";
    EXPECT_EQ(Files().size(), 6u);
}

TEST_F(Lmgrab, AFixedRectangleIsExactlyThePixelsAroundThePointerKeptInsideTheScreen) {
    Action rect{"rect", 2, 'R', 3};
    rect.width = 250, rect.height = 200;
    Configure({rect, {"screen", 2, 'S', 0}});
    Window("300x200+0+0");
    Start();
    std::string out;
    RunX("xdotool", {"mousemove", "10", "10"}, out);
    const std::string corner = Press("ctrl+r", 1);
    ASSERT_EQ(Size(corner), "250 200");
    const std::string screen = Press("ctrl+s", 2);
    std::string a, b;
    RunForOutput("convert", {corner, "rgb:-"}, a);
    RunForOutput("convert", {screen, "-crop", "250x200+0+0", "rgb:-"}, b);
    EXPECT_EQ(a, b);

    RunX("xdotool", {"mousemove", "640", "512"}, out);
    const std::string centre = Press("ctrl+r", 3);
    RunForOutput("convert", {centre, "rgb:-"}, a);
    RunForOutput("convert", {screen, "-crop", "250x200+515+412", "rgb:-"}, b);
    EXPECT_EQ(a, b);
}

TEST_F(Lmgrab, CaptureWritesEachFormatAtEachDepthOfItsList) {
    struct Case {
        const char* extension;
        int code;
        int bits;
    };
    const Case cases[] = {{".bmp", 0, 24}, {".bmp", 1, 1},  {".bmp", 2, 4},  {".bmp", 3, 8},
                          {".bmp", 4, 15}, {".bmp", 5, 16}, {".bmp", 6, 24}, {".bmp", 7, 32},
                          {".pcx", 1, 1},  {".pcx", 2, 4},  {".PCX", 3, 8},  {".tga", 3, 8},
                          {".tga", 6, 24}, {".tif", 6, 24}, {".jpg", 6, 24}};
    std::vector<Action> actions;
    for (const Case& c : cases) {
        Action a{c.extension, 2, 'A' + static_cast<int>(actions.size()), 3, c.extension, c.code};
        a.width = 64, a.height = 48;
        actions.push_back(a);
    }
    Configure(actions);
    Window("300x200+0+0");
    std::string out;
    RunX("xdotool", {"mousemove", "150", "100"}, out);
    for (std::size_t i = 0; i < actions.size(); ++i) {
        std::string path, err;
        ASSERT_EQ(RunForOutput(Bin("lmgrab"), {"--capture", std::to_string(i + 1)}, path), 0) << i;
        path = path.substr(0, path.find('\n'));
        std::string lower = cases[i].extension;
        for (char& ch : lower) ch = static_cast<char>(std::tolower(ch));
        EXPECT_EQ(path.substr(path.size() - 4), lower) << path;
        EXPECT_EQ(Size(path), "64 48") << path;
        if (lower == ".bmp" || lower == ".pcx" || lower == ".tga") {
            EXPECT_EQ(HeaderBits(path), cases[i].bits) << path;
        }
    }
    EXPECT_EQ(Files().size(), actions.size());
}

TEST_F(Lmgrab, TheEventRearmsTheNewKeysAndAHeldKeyIsReportedWhileTheOthersWork) {
    Display* holder = XOpenDisplay(nullptr);
    ASSERT_NE(holder, nullptr);
    XGrabKey(holder, XKeysymToKeycode(holder, XK_F8), ControlMask, DefaultRootWindow(holder), True,
             GrabModeAsync, GrabModeAsync);
    XSync(holder, False);

    Configure({{"old", 2, 116, 0}, {"held", 2, 119, 0}});
    Start();
    EXPECT_TRUE(WaitUntil([&] {
        return FileText(home.file("err.txt")).find("Ctrl+F8 is held by another program") !=
               std::string::npos;
    })) << FileText(home.file("err.txt"));
    EXPECT_FALSE(Press("ctrl+F5", 1).empty());

    Configure({{"new", 2, 118, 0}});
    ASSERT_TRUE(WaitForSaying("actions read", 2));
    std::string out;
    RunX("xdotool", {"key", "ctrl+F5"}, out);
    EXPECT_FALSE(Press("ctrl+F7", 2).empty());
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(Files().size(), 2u) << "the old key fired after the change";

    // The running tool's own keys are no problem.
    std::string check;
    EXPECT_EQ(RunForOutput(Bin("lmgrab"), {"--check"}, check), 0) << check;

    // A configuration that cannot be read leaves the last one armed.
    std::string err;
    ASSERT_EQ(RunCapturing(Bin("lgreg"),
                           {"add", "HKCU\\Software\\Orvane\\Lmgrab", "/v", "Count", "/t", "REG_SZ",
                            "/d", "x", "/f"},
                           err),
              0)
        << err;
    ASSERT_EQ(RunCapturing(Bin("lgevent"), {"set", "Lumagrabber configuration changed."}, err), 0)
        << err;
    EXPECT_TRUE(WaitForSaying("the stored configuration in '" + store.path() +
                              "' cannot be read: Invalid data type for 'Count'; the previous "
                              "configuration stays armed"))
        << FileText(home.file("err.txt"));
    EXPECT_FALSE(Press("ctrl+F7", 3).empty());
    XCloseDisplay(holder);
}

TEST_F(Lmgrab, CheckListsActionsAndProblemsAndAKeyHeldElsewhere) {
    Display* holder = XOpenDisplay(nullptr);
    ASSERT_NE(holder, nullptr);
    XGrabKey(holder, XKeysymToKeycode(holder, XK_F8), ControlMask | ShiftMask,
             DefaultRootWindow(holder), True, GrabModeAsync, GrabModeAsync);
    XSync(holder, False);
    Action bmp{"Depth", 2, 'D', 0, ".gif", 9};
    Configure({{"Window to JPEG", 2, 116, 1, ".jpg", 6, 75},
               {"Held", 6, 119, 0},
               bmp,
               {"Bare", 0, 'B', 0}});
    std::string out;
    EXPECT_EQ(RunForOutput(Bin("lmgrab"), {"--check"}, out), 1);
    const std::string expected =
        "1 \"Window to JPEG\" Ctrl+F5: the active window with its frame as JPEG, quality 75 into " +
        pictures + "\n" + "2 \"Held\" Ctrl+Shift+F8: the whole screen as BMP, 24 bit into " +
        pictures + "\n" + "3 \"Depth\" Ctrl+D: the whole screen as BMP, 24 bit into " + pictures +
        "\n" + "4 \"Bare\" B: the whole screen as BMP, 24 bit into " + pictures + "\n" +
        "problem: action 3 \"Depth\": file format '.gif' is not one of .bmp .jpg .tga .tif .pcx "
        ".png; "
        ".bmp is written\n"
        "problem: action 3 \"Depth\": depth code 9 is not one of .bmp's; 24 bit is written\n"
        "problem: action 4 \"Bare\": B without Ctrl, Alt or Shift would take that key from every "
        "program; not armed\n"
        "problem: action 2 \"Held\": Ctrl+Shift+F8 is held by another program; this action is not "
        "armed\n";
    EXPECT_EQ(out, expected);
    XCloseDisplay(holder);

    Configure({{"fine", 2, 116, 0}});
    EXPECT_EQ(RunForOutput(Bin("lmgrab"), {"--check"}, out), 0) << out;
    EXPECT_EQ(RunForOutput(Bin("lmgrab"), {"--capture", "2"}, out), 1);
}

TEST_F(Lmgrab, PausedUntilToldQuitEndsTheToolAndASecondStartEndsAtOnce) {
    Action last{"last", 2, 116, 0};
    last.quit = true;
    Configure({{"first", 2, 117, 0}, last});
    const pid_t tool = Start({});
    std::string out;
    RunX("xdotool", {"key", "ctrl+F6"}, out);
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(Files().empty()) << "a key fired while paused";
    EXPECT_EQ(WaitFor(testsupport::Spawn(Bin("lmgrab"), {"/start"}), 10s), 0);
    kill(tool, SIGUSR1);
    ASSERT_TRUE(WaitForSaying("hot keys armed"));
    EXPECT_FALSE(Press("ctrl+F6", 1).empty());
    EXPECT_FALSE(Press("ctrl+F5", 2).empty());
    EXPECT_EQ(WaitFor(tool, 10s), 0) << "Stop After Action";
    started.clear();
}

TEST_F(Lmgrab, WithoutAnXServerItSaysSoInOneLine) {
    unsetenv("DISPLAY");
    std::string err;
    EXPECT_EQ(RunCapturing(Bin("lmgrab"), {"/start"}, err), 1);
    EXPECT_EQ(err,
              "lmgrab: no X display (DISPLAY is not set) and no Wayland desktop; lmgrab works on "
              "an X11 desktop and on Wayland\n");
    setenv("WAYLAND_DISPLAY", "wayland-0", 1);
    EXPECT_EQ(RunCapturing(Bin("lmgrab"), {"/start"}, err), 1);
    EXPECT_NE(err.find("lmgrab --export-bindings gives the desktop's own key bindings"),
              std::string::npos)
        << err;
    // XWayland: the tool runs, and warns what it cannot see.
    setenv("DISPLAY", x.Display().c_str(), 1);
    Configure({{"one", 2, 116, 0}});
    Start();
    EXPECT_TRUE(WaitForSaying("hot keys fire only while an X11 window has the focus"));
    unsetenv("WAYLAND_DISPLAY");
}

class Lmgrab16 : public Lmgrab {
protected:
    Lmgrab16() : Lmgrab("1024x768x16") {}
};
class Lmgrab15 : public Lmgrab {
protected:
    Lmgrab15() : Lmgrab("1024x768x15") {}
};

TEST_F(Lmgrab16, ASixteenBitScreenIsKeptOrForcedToTwentyFour) {
    ScreenDepthCase(16);
}

TEST_F(Lmgrab15, AFifteenBitScreenIsKeptOrForcedToTwentyFour) {
    ScreenDepthCase(15);
}

// The rectangle drawn with the mouse on the frozen screen keeps exactly the
// pixels inside it; Esc cancels with nothing written.
TEST_F(Lmgrab, ADrawnRectangleKeepsExactlyItsPixelsAndEscCancels) {
    Configure({{"draw", 2, 116, 4}, {"screen", 2, 117, 0}});
    Window("300x200+100+100");
    Start();
    std::string out;
    RunX("xdotool", {"key", "ctrl+F5"}, out);
    ASSERT_TRUE(HasTheKeyboard("Draw a rectangle"));
    RunX("xdotool",
         {"mousemove", "150", "120", "mousedown", "1", "mousemove", "250", "200", "mousemove",
          "331", "247", "mouseup", "1"},
         out);
    ASSERT_TRUE(WaitUntil([&] { return Files().size() == 1; })) << FileText(home.file("err.txt"));
    const std::string drawn = Files().front();
    EXPECT_EQ(Size(drawn), "182 128");  // both corners included
    const std::string screen = Press("ctrl+F6", 2);
    std::string a, b;
    RunForOutput("convert", {drawn, "rgb:-"}, a);
    RunForOutput("convert", {screen, "-crop", "182x128+150+120", "rgb:-"}, b);
    EXPECT_EQ(a, b);

    RunX("xdotool", {"key", "ctrl+F5"}, out);
    ASSERT_TRUE(HasTheKeyboard("Draw a rectangle"));
    RunX("xdotool", {"mousemove", "10", "10", "mousedown", "1", "mousemove", "90", "90"}, out);
    RunX("xdotool", {"key", "Escape"}, out);
    RunX("xdotool", {"mouseup", "1"}, out);
    EXPECT_TRUE(WaitUntil([] {
        std::string found;
        return !RunX("xdotool", {"search", "--name", "Draw a rectangle"}, found);
    }));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(Files().size(), 2u) << "a cancelled rectangle wrote a file: "
                                  << FileText(home.file("err.txt"));
    // The keys work again after the overlay.
    EXPECT_FALSE(Press("ctrl+F6", 3).empty());
}

// Another program reads the image while the tool serves it; with "Stop
// After Action" the tool waits until another program owns the clipboard.
TEST_F(Lmgrab, TheClipboardIsServedAndKeptUntilAnotherProgramTakesIt) {
    Action clip{"clip", 2, 116, 3, ".jpg", 6, 80};
    clip.saveTo = 2;
    clip.width = 120, clip.height = 90;
    clip.quit = true;
    Configure({clip});
    const pid_t tool = Start();
    std::string out;
    RunX("xdotool", {"mousemove", "400", "300", "key", "ctrl+F5"}, out);
    ASSERT_TRUE(WaitForSaying("keeping the image on the clipboard"))
        << FileText(home.file("err.txt"));
    std::string targets;
    RunForOutput("xclip", {"-selection", "clipboard", "-t", "TARGETS", "-o"}, targets);
    EXPECT_NE(targets.find("image/png"), std::string::npos) << targets;
    EXPECT_NE(targets.find("image/jpeg"), std::string::npos) << targets;
    std::string png;
    ASSERT_EQ(RunForOutput("xclip", {"-selection", "clipboard", "-t", "image/png", "-o"}, png), 0);
    std::ofstream(home.file("clip.png"), std::ios::binary) << png;
    EXPECT_EQ(Size(home.file("clip.png")), "120 90");
    EXPECT_EQ(WaitFor(tool, 500ms), -1) << "the tool ended while it alone held the image";
    // Another program takes the clipboard: the image is no longer the tool's to keep.
    std::ofstream(home.file("text.txt")) << "other";
    started.push_back(testsupport::Spawn(
        "xclip", {"-quiet", "-selection", "clipboard", "-i", home.file("text.txt")}));
    EXPECT_EQ(WaitFor(tool, 10s), 0);
    EXPECT_TRUE(Files().empty());
}

// The save dialog proposes the folder and a name; a name typed without an
// extension gets the action's, and Cancel writes nothing.
TEST_F(Lmgrab, TheSaveDialogTakesATypedNameAndCancelWritesNothing) {
    Action ask{"ask", 2, 116, 0, ".jpg", 6, 80};
    ask.ask = true;
    Configure({ask});
    Start();
    const auto dialog = [] { return HasTheKeyboard("Save Capture As"); };
    std::string out;
    RunX("xdotool", {"key", "ctrl+F5"}, out);
    ASSERT_TRUE(dialog());
    RunX("xdotool", {"key", "ctrl+a"}, out);
    RunX("xdotool", {"type", "my capture"}, out);
    RunX("xdotool", {"key", "Return"}, out);
    ASSERT_TRUE(WaitUntil([&] { return Files().size() == 1; })) << FileText(home.file("err.txt"));
    EXPECT_EQ(Files().front(), pictures + "/my capture.jpg");
    EXPECT_EQ(Size(Files().front()), "1280 1024");

    RunX("xdotool", {"key", "ctrl+F5"}, out);
    ASSERT_TRUE(dialog());
    RunX("xdotool", {"key", "Escape"}, out);
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(Files().size(), 1u);
}

// What the stored logon entry makes of `lmgrab --logon`: the entry's text
// is another desktop's command and is never run.
TEST_F(Lmgrab, LogonStartsTheToolAsTheStoredEntrySays) {
    Configure({{"one", 2, 116, 0}});
    const std::string run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    struct Case {
        const char* entry;  // nullptr: none; "dword": a value of the wrong type
        const char* said;   // "": ends at once
    };
    const Case cases[] = {
        {nullptr, ""},
        {"dword", ""},
        {"C:\\Program Files\\Lumagrabber\\Lmgrab.exe", "hot keys paused"},
        {"Lmgrab.exe /start", "hot keys armed"},
        {"touch /tmp/never-run-by-lmgrab", "hot keys paused"},
    };
    for (const Case& c : cases) {
        auto hive = store.Open();
        std::unique_ptr<platform::RegistryKey> key;
        ASSERT_TRUE(hive->CreateKey(run, key).ok());
        key->DeleteValue("Lumagrabber");
        if (c.entry && std::string(c.entry) == "dword") {
            key->SetValue("Lumagrabber", platform::RegValue::Dword(1));
        } else if (c.entry) {
            key->SetValue("Lumagrabber", platform::RegValue::String(c.entry));
        }
        key.reset();
        hive.reset();
        std::filesystem::remove(home.file("err.txt"));
        const pid_t tool = testsupport::SpawnLogged(Bin("lmgrab"), {"--logon"},
                                                    home.file("out.txt"), home.file("err.txt"));
        if (std::string(c.said).empty()) {
            EXPECT_EQ(WaitFor(tool, 10s), 0) << (c.entry ? c.entry : "none");
            EXPECT_EQ(FileText(home.file("err.txt")), "");
            continue;
        }
        EXPECT_TRUE(WaitForSaying(c.said)) << c.entry << ": " << FileText(home.file("err.txt"));
        kill(tool, SIGTERM);
        EXPECT_EQ(WaitFor(tool, 10s), 0);
    }
    EXPECT_FALSE(std::filesystem::exists("/tmp/never-run-by-lmgrab"));
}

// Problems reach the desktop as notifications on the session bus, once
// each; a sound that cannot be played is said once and never stops a capture.
TEST_F(Lmgrab, ProblemsAreNotifiedOnceAndASilentDesktopStillCaptures) {
    const std::string busAddress = "unix:path=" + home.file("bus");
    const pid_t bus =
        testsupport::Spawn("dbus-daemon", {"--session", "--nofork", "--address=" + busAddress});
    started.push_back(bus);
    setenv("DBUS_SESSION_BUS_ADDRESS", busAddress.c_str(), 1);
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(home.file("bus")); }));
    const pid_t monitor = testsupport::SpawnLogged(
        "dbus-monitor", {"--session", "interface='org.freedesktop.Notifications'"},
        home.file("monitor.txt"), "/dev/null");
    started.push_back(monitor);
    ASSERT_TRUE(WaitUntil([&] { return !FileText(home.file("monitor.txt")).empty(); }));

    // A sound file of the platform's kind, and no sound device here.
    std::string wav = "RIFF";
    const auto le = [&wav](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) wav += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    le(36 + 800, 4);
    wav += "WAVEfmt ";
    le(16, 4), le(1, 2), le(1, 2), le(8000, 4), le(8000, 4), le(1, 2), le(8, 2);
    wav += "data";
    le(800, 4);
    wav += std::string(800, '\x80');
    std::ofstream(home.file("click.wav"), std::ios::binary) << wav;
    Action noisy{"noisy", 2, 116, 0};
    noisy.sound = home.file("click.wav");
    Configure({noisy, {"bare", 0, 'B', 0}});
    setenv("PULSE_SERVER", "unix:/nonexistent", 1);  // no sound server, whatever this machine has
    Start();
    EXPECT_FALSE(Press("ctrl+F5", 1).empty());
    EXPECT_FALSE(Press("ctrl+F5", 2).empty());
    const std::string said = FileText(home.file("err.txt"));
    const std::string soundProblem = "sound '" + home.file("click.wav") + "' cannot be played";
    if (said.find(soundProblem) != std::string::npos) {
        EXPECT_EQ(said.find(soundProblem), said.rfind(soundProblem)) << "said twice: " << said;
    }
    EXPECT_TRUE(WaitUntil([&] {
        return FileText(home.file("monitor.txt")).find("without Ctrl, Alt or Shift") !=
               std::string::npos;
    })) << FileText(home.file("monitor.txt"));
    const std::string monitored = FileText(home.file("monitor.txt"));
    EXPECT_NE(monitored.find("member=Notify"), std::string::npos);
    EXPECT_EQ(monitored.find("without Ctrl, Alt or Shift"),
              monitored.rfind("without Ctrl, Alt or Shift"));
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    unsetenv("PULSE_SERVER");
}

// Where the desktop has a tray (trayer here), the icon's menu pauses and
// arms the keys, runs an action by name and quits; without one the tool
// runs the same.
TEST_F(Lmgrab, TheTrayMenuPausesRunsAndQuits) {
    started.push_back(testsupport::Spawn(
        "trayer", {"--edge", "top", "--align", "right", "--widthtype", "request"}));
    ASSERT_TRUE(WaitUntil([] {
        std::string found;
        return RunX("xdotool", {"search", "--class", "trayer"}, found);
    }));
    Configure({{"whole screen", 2, 116, 0}});
    const pid_t tool = Start();
    // The icon: the tool's window inside the tray's panel.
    std::string icon;
    ASSERT_TRUE(WaitUntil([&] {
        std::string tree;
        RunX("xwininfo", {"-root", "-tree"}, tree);
        std::istringstream lines(tree);
        bool inPanel = false;
        for (std::string line; std::getline(lines, line);) {
            if (line.find("\"panel\"") != std::string::npos) inPanel = true;
            if (inPanel && line.find("(\"lmgrab\" \"lmgrab\")") != std::string::npos) {
                icon =
                    line.substr(line.find("0x"), line.find(' ', line.find("0x")) - line.find("0x"));
                return true;
            }
        }
        return false;
    })) << "no tray icon";
    const auto menu = [&](const std::string& accelerator) {
        std::string out;
        RunX("xdotool", {"mousemove", "--window", icon, "11", "11", "click", "3"}, out);
        std::this_thread::sleep_for(500ms);
        RunX("xdotool", {"key", accelerator}, out);
    };
    menu("p");  // &Pause Hot Keys
    ASSERT_TRUE(WaitForSaying("hot keys paused"));
    std::string out;
    RunX("xdotool", {"key", "ctrl+F5"}, out);
    std::this_thread::sleep_for(400ms);
    EXPECT_TRUE(Files().empty());
    menu("a");  // &Arm Hot Keys
    ASSERT_TRUE(WaitForSaying("hot keys armed", 2));
    menu("r");  // &Run, then the first action
    RunX("xdotool", {"key", "Return"}, out);
    EXPECT_TRUE(WaitUntil([&] { return Files().size() == 1; }));
    menu("c");  // &Configuration...: the editor beside the tool
    std::string editor;
    EXPECT_TRUE(WaitUntil([&] {
        return RunX("xdotool", {"search", "--name", "^Lumagrabber - Configuration$"}, editor);
    }));
    // The editor is the tool's child no more: end it through its window's
    // process (of the windows by that name, the one that tells its process).
    pid_t editorPid = 0;
    std::istringstream windows(editor);
    for (std::string window; editorPid <= 0 && std::getline(windows, window);) {
        std::string pid;
        if (RunX("xdotool", {"getwindowpid", window}, pid)) editorPid = std::atoi(pid.c_str());
    }
    EXPECT_GT(editorPid, 0);
    if (editorPid > 0) {
        kill(editorPid, SIGTERM);
        EXPECT_TRUE(WaitUntil([&] { return kill(editorPid, 0) != 0; }));
    }
    menu("q");  // &Quit
    EXPECT_EQ(WaitFor(tool, 10s), 0);
}

// A configuration applied while the overlay is up takes effect, and the
// action already running finishes with what it read.
TEST_F(Lmgrab, AReloadWhileTheOverlayIsUpLeavesTheRunningActionWhole) {
    Configure({{"draw", 2, 116, 4}});
    Start();
    std::string out;
    RunX("xdotool", {"key", "ctrl+F5"}, out);
    ASSERT_TRUE(HasTheKeyboard("Draw a rectangle"));
    Configure({{"other", 2, 117, 0}});
    ASSERT_TRUE(WaitForSaying("actions read", 2));
    RunX("xdotool",
         {"mousemove", "20", "20", "mousedown", "1", "mousemove", "59", "49", "mouseup", "1"}, out);
    ASSERT_TRUE(WaitUntil([&] { return Files().size() == 1; })) << FileText(home.file("err.txt"));
    EXPECT_EQ(Size(Files().front()), "40 30");
    EXPECT_FALSE(Press("ctrl+F6", 2).empty());
}

}  // namespace
