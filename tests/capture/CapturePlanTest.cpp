// What the tool makes of stored actions, without a display: the file each
// writes at each screen depth, hot keys, folders and names, the grabbed
// area, and every problem --check lists.
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "capture/Capture.h"
#include "capture/CapturePlan.h"
#include "capture/NullDesktop.h"
#include "capture/OutputPlan.h"
#include "capture/TargetFile.h"
#include "model/ActionCodes.h"
#include "tests/support/TempStore.h"

namespace {

TActionKey FileAction(const char* extension, int depth) {
    TActionKey a;
    a.Name = "a";
    a.Modifiers = codes::kCtrl;
    a.VirtualKey = 116;
    a.SaveTo = codes::kImageFile;
    a.Extension = extension;
    a.PixelFormat = static_cast<std::uint8_t>(depth);
    a.Quality = 75;
    return a;
}

TEST(OutputPlan, TheDepthEachFormatWritesForEachCodeAndScreen) {
    struct Case {
        const char* extension;
        int code;
        int screen;
        bool prevent;  // all three prevent flags
        const char* written;
        int bits;
        bool noted;
    };
    const Case cases[] = {
        {".bmp", 0, 24, false, ".bmp", 24, false},  {".bmp", 0, 16, false, ".bmp", 16, false},
        {".bmp", 0, 16, true, ".bmp", 24, false},   {".bmp", 0, 15, false, ".bmp", 15, false},
        {".bmp", 0, 15, true, ".bmp", 24, false},   {".bmp", 0, 32, false, ".bmp", 32, false},
        {".bmp", 0, 32, true, ".bmp", 24, false},   {".bmp", 0, 8, false, ".bmp", 24, false},
        {".BMP", 1, 24, false, ".bmp", 1, false},   {".bmp", 2, 24, false, ".bmp", 4, false},
        {".bmp", 3, 24, false, ".bmp", 8, false},   {".bmp", 4, 24, true, ".bmp", 15, false},
        {".bmp", 5, 24, true, ".bmp", 16, false},   {".bmp", 7, 24, true, ".bmp", 32, false},
        {".bmp", 255, 24, false, ".bmp", 24, true}, {".pcx", 1, 24, false, ".pcx", 1, false},
        {".Pcx", 2, 24, false, ".pcx", 4, false},   {".pcx", 3, 24, false, ".pcx", 8, false},
        {".pcx", 0, 24, false, ".pcx", 8, true},    {".pcx", 6, 24, false, ".pcx", 8, true},
        {".tga", 3, 24, false, ".tga", 8, false},   {".tga", 6, 24, false, ".tga", 24, false},
        {".tga", 1, 24, false, ".tga", 8, true},    {".tga", 0, 16, false, ".tga", 24, true},
        {".tif", 6, 16, false, ".tif", 24, false},  {".jpg", 6, 24, false, ".jpg", 24, false},
        {".png", 0, 24, false, ".png", 24, false},  {"", 3, 24, false, ".bmp", 8, true},
    };
    for (const Case& c : cases) {
        TActionKey a = FileAction(c.extension, c.code);
        a.Prevent15bit = a.Prevent16bit = a.Prevent32bit = c.prevent;
        const OutputPlan plan = PlanOutput(a, c.screen);
        const std::string label = std::string(c.extension) + " code " + std::to_string(c.code) +
                                  " screen " + std::to_string(c.screen);
        EXPECT_EQ(plan.extension, c.written) << label;
        EXPECT_EQ(plan.bits, c.bits) << label;
        EXPECT_EQ(!plan.notes.empty(), c.noted) << label;
    }
    TActionKey jpg = FileAction(".JPG", 6);
    EXPECT_EQ(PlanOutput(jpg, 24).quality, 75);
    jpg.Quality = 0;
    EXPECT_EQ(PlanOutput(jpg, 24).quality, 100);
}

TEST(HotKeys, TextAndTheKeysOffered) {
    EXPECT_EQ(HotKeyText(codes::kCtrl | codes::kShift, 116), "Ctrl+Shift+F5");
    EXPECT_EQ(HotKeyText(codes::kAlt | codes::kCtrl | codes::kShift, '7'), "Ctrl+Alt+Shift+7");
    EXPECT_EQ(HotKeyText(0, 'Q'), "Q");
    EXPECT_EQ(HotKeyText(codes::kAlt, 123), "Alt+F12");
    EXPECT_EQ(HotKeyText(0, 0), "no key");
    EXPECT_EQ(HotKeyText(0, 200), "key code 200");
    const struct {
        HotKey key;
        const char *sway, *gnome, *hyprland, *kde, *portal;
    } desktops[] = {
        {{codes::kCtrl | codes::kShift, 116},
         "Ctrl+Shift+F5",
         "<Ctrl><Shift>F5",
         "CTRL SHIFT, F5",
         "Ctrl+Shift+F5",
         "CTRL+SHIFT+F5"},
        {{codes::kAlt | codes::kCtrl | codes::kShift, 'A'},
         "Ctrl+Alt+Shift+a",
         "<Ctrl><Alt><Shift>a",
         "CTRL ALT SHIFT, a",
         "Ctrl+Alt+Shift+A",
         "CTRL+ALT+SHIFT+a"},
        {{0, '7'}, "7", "7", ", 7", "7", "7"},
        {{codes::kCtrl, 200}, "", "", "", "", ""},
    };
    for (const auto& d : desktops) {
        EXPECT_EQ(DesktopKeyText(d.key, KeyStyle::Sway), d.sway);
        EXPECT_EQ(DesktopKeyText(d.key, KeyStyle::Gnome), d.gnome);
        EXPECT_EQ(DesktopKeyText(d.key, KeyStyle::Hyprland), d.hyprland);
        EXPECT_EQ(DesktopKeyText(d.key, KeyStyle::Kde), d.kde);
        EXPECT_EQ(DesktopKeyText(d.key, KeyStyle::Portal), d.portal);
    }
    int offered = 0;
    for (int vk = 0; vk < 256; ++vk) offered += IsOfferedKey(vk);
    EXPECT_EQ(offered, 48);
    EXPECT_FALSE(IsOfferedKey(124));
}

// What a desktop says it bound is compared with the stored key in any of
// the desktops' words, so that only a key really chosen otherwise is said.
TEST(HotKeys, ADesktopsDescriptionOfATriggerIsReadInItsOwnWords) {
    const HotKey ctrlF5{codes::kCtrl, 116}, altShiftA{codes::kAlt | codes::kShift, 'A'};
    const struct {
        const char* description;
        HotKey key;
        bool same;
    } cases[] = {
        {"Press <Control>F5", ctrlF5, true},  // GNOME 48
        {"CTRL+F5", ctrlF5, true},            // as asked
        {"Ctrl+F5", ctrlF5, true},            // KDE
        {"<Primary>f5", ctrlF5, true},
        {"Press <Shift><Alt>a", altShiftA, true},
        {"Alt+Shift+A", altShiftA, true},
        {"Press <Control><Shift>F5", ctrlF5, false},
        {"CTRL+ALT+F11", ctrlF5, false},
        {"Press F5", ctrlF5, false},
        {"Ctrl+F5", {codes::kCtrl, 200}, false},
        {"", ctrlF5, false},
        {"Press", ctrlF5, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DescribesKey(c.description, c.key), c.same) << c.description;
}

TEST(CapturePlan, ProblemsAreListedAndOnlyGoodKeysAreArmed) {
    TActionKeys list("k");
    auto add = [&list](const char* name, int mods, int key, int saveTo, int grab) {
        auto a = std::make_unique<TActionKey>(FileAction(".jpg", 6));
        a->Name = name;
        a->Modifiers = mods;
        a->VirtualKey = key;
        a->SaveTo = static_cast<std::uint8_t>(saveTo);
        a->GrabMethod = static_cast<std::uint8_t>(grab);
        list.Add(std::move(a));
    };
    add("good", codes::kCtrl, 116, 1, 1);
    add("same key", codes::kCtrl, 116, 1, 0);
    add("bare letter", 0, 'A', 1, 0);
    add("bare F-key", 0, 113, 1, 0);
    add("odd key", codes::kCtrl, 200, 1, 0);
    add("no key", 0, 0, 0, 0);
    add("drawn", codes::kAlt, 'D', 1, 4);
    add("clipboard", codes::kAlt, 'C', 2, 0);
    add("unknown", codes::kAlt, 'U', 7, 9);
    list.Get(list.Count() - 1).Sound = "C:\\Sounds\\click.wav";
    const CapturePlan plan = PlanConfiguration(list, 24);
    ASSERT_EQ(plan.actions.size(), 9u);
    const bool armed[] = {true, false, false, true, false, false, true, true, true};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(plan.actions[i].armable, armed[i]) << plan.actions[i].name;
    const std::string expected[] = {
        "action 2 \"same key\": Ctrl+F5 is also the key of action 1 \"good\", which keeps it; not "
        "armed",
        "action 3 \"bare letter\": A without Ctrl, Alt or Shift would take that key from every "
        "program; not armed",
        "action 5 \"odd key\": key code 200 is not one of the 48 keys offered (0-9, A-Z, F1-F12); "
        "not armed",
        "action 6 \"no key\": has no hot key; it runs only from the tray menu or with --capture 6",
        "action 9 \"unknown\": sound 'C:\\Sounds\\click.wav' is a path of another desktop; no "
        "sound is played",
        "action 9 \"unknown\": destination code 7 is unknown; the capture is saved as a file, as "
        "the editor shows it",
        "action 9 \"unknown\": grab method 9 is unknown; nothing is captured",
    };
    EXPECT_EQ(plan.problems, std::vector<std::string>(std::begin(expected), std::end(expected)));
    EXPECT_EQ(plan.actions[0].hotKeyText, "Ctrl+F5");
    EXPECT_NE(plan.actions[0].what.find("the active window with its frame as JPEG, quality 75"),
              std::string::npos)
        << plan.actions[0].what;
}

class Folders : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("HOME", home.path().c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home.path() + "/.config").c_str(), 1);
        unsetenv("XDG_PICTURES_DIR");
    }
    testsupport::TempDir home;
};

TEST_F(Folders, TheFolderAnActionWritesTo) {
    const std::string pictures = home.path() + "/Pictures";
    struct Case {
        const char* action;
        const char* global;
        std::string folder;
        bool noted;
    };
    const Case cases[] = {
        {"", ".\\", pictures, false},
        {"", "", pictures, false},
        {"/srv/shots/", ".\\", "/srv/shots", false},
        {"", "/srv/all", "/srv/all", false},
        {"Shots", "/srv/all", pictures + "/Shots", false},
        {"~/Desktop", "", home.path() + "/Desktop", false},
        {"C:\\Captures", "", pictures, true},
        {"", "Captures\\Today", pictures, true},
    };
    for (const Case& c : cases) {
        const TargetFolder target = ResolveTargetFolder(c.action, c.global);
        EXPECT_EQ(target.path, c.folder) << c.action << " | " << c.global;
        EXPECT_EQ(target.notes.empty(), !c.noted) << c.action << " | " << c.global;
    }
    std::filesystem::create_directories(home.path() + "/.config");
    std::ofstream(home.path() + "/.config/user-dirs.dirs")
        << "# made by xdg-user-dirs\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n";
    EXPECT_EQ(PicturesFolder(), home.path() + "/Bilder");
    setenv("XDG_PICTURES_DIR", "/srv/pics", 1);
    EXPECT_EQ(PicturesFolder(), "/srv/pics");
}

TEST_F(Folders, NamesSortByTimeAndNeverReplaceAFile) {
    std::tm t{};
    t.tm_year = 2026 - 1900, t.tm_mon = 11, t.tm_mday = 9, t.tm_hour = 14, t.tm_min = 5,
    t.tm_sec = 31, t.tm_isdst = -1;
    const std::string base = CaptureBaseName(std::mktime(&t));
    EXPECT_EQ(base, "Capture 2026-12-09 14.05.31");

    const std::string folder = home.path() + "/new/deeper";
    std::string path, error;
    std::vector<std::string> written;
    for (int n = 1; n <= 11; ++n) {
        ASSERT_TRUE(WriteNewFile(folder, base, ".jpg", "bytes", path, error)) << error;
        written.push_back(path);
    }
    EXPECT_EQ(written[1], folder + "/" + base + "~02.jpg");
    EXPECT_EQ(written[10], folder + "/" + base + "~11.jpg");
    // By name in a plain sort, the files of one second stand in the order made.
    std::vector<std::string> sorted = written;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, written);
    // A writer killed on a file system without unnamed files left its hidden
    // file; the next capture into the folder removes it.
    const std::string leftover = folder + "/.lgtmp-999999999-abcdefgh";
    std::ofstream(leftover) << "half";
    ASSERT_TRUE(WriteNewFile(folder, base, ".jpg", "bytes", path, error)) << error;
    EXPECT_FALSE(std::filesystem::exists(leftover));
    std::filesystem::remove(path);
    std::ifstream in(folder + "/" + base + ".jpg");
    std::string first;
    in >> first;
    EXPECT_EQ(first, "bytes");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}),
              11);  // nothing half-written left

    const std::string locked = home.path() + "/locked";
    std::filesystem::create_directories(locked);
    chmod(locked.c_str(), 0500);
    if (geteuid() != 0) {
        EXPECT_FALSE(WriteNewFile(locked, base, ".bmp", "x", path, error));
        EXPECT_NE(error.find(locked), std::string::npos);
    }
    EXPECT_FALSE(WriteNewFile("/proc/none/such", base, ".bmp", "x", path, error));
    EXPECT_NE(error.find("cannot create the folder"), std::string::npos) << error;
}

TEST_F(Folders, AFolderThatCanNeverBeWrittenIsNamedWithItsCause) {
    const std::string file = home.path() + "/plain";
    std::ofstream(file) << "x";
    struct Case {
        std::string folder;
        const char* cause;  // "" when it can be written
    };
    const Case cases[] = {
        {home.path(), ""},
        {home.path() + "/not/yet/there", ""},
        {file, "is not a folder"},
        {file + "/under", "is not a folder"},
        {"/proc/sys/none", "Permission denied (in /proc/sys)"},
    };
    for (const Case& c : cases) {
        const std::string why = UnwritableReason(c.folder);
        if (*c.cause == '\0') {
            EXPECT_EQ(why, "") << c.folder;
        } else {
            EXPECT_NE(why.find(c.cause), std::string::npos) << c.folder << ": " << why;
        }
    }
}

TEST(SaveAs, TheTypedNameKeepsAFormatTheToolWritesElseGetsTheActions) {
    const struct {
        const char* typed;
        const char* saved;
    } cases[] = {
        {"/p/keep", "/p/keep.jpg"},     {"/p/shot.png", "/p/shot.png"},
        {"/p/shot.PCX", "/p/shot.PCX"}, {"/p/notes.txt", "/p/notes.txt.jpg"},
        {"/p.d/name", "/p.d/name.jpg"}, {"/p/.hidden", "/p/.hidden.jpg"},
    };
    for (const auto& c : cases) EXPECT_EQ(SaveAsName(c.typed, ".jpg"), c.saved) << c.typed;
}

TEST(CaptureArea, EachGrabMethodAndRectanglesKeptInsideTheScreen) {
    NullDesktop desktop;
    TActionKey a = FileAction(".bmp", 6);
    struct Case {
        int method;
        int pointerX, pointerY, width, height;
        Rect window;
        Rect expected;
    };
    const Case cases[] = {
        {codes::kFullScreen, 0, 0, 0, 0, {}, {0, 0, 640, 480}},
        {codes::kTopWindow, 0, 0, 0, 0, {100, 100, 300, 200}, {99, 80, 302, 225}},
        {codes::kClientArea, 0, 0, 0, 0, {100, 100, 300, 200}, {100, 100, 300, 200}},
        {codes::kClientArea, 0, 0, 0, 0, {500, 400, 300, 200}, {500, 400, 140, 80}},
        {codes::kFixedRectangle, 320, 240, 250, 200, {}, {195, 140, 250, 200}},
        {codes::kFixedRectangle, 5, 470, 250, 200, {}, {0, 280, 250, 200}},
        {codes::kFixedRectangle, 639, 0, 251, 201, {}, {389, 0, 251, 201}},
        {codes::kFixedRectangle, 10, 10, 1000, 100, {}, {0, 0, 640, 100}},
    };
    for (const Case& c : cases) {
        a.GrabMethod = static_cast<std::uint8_t>(c.method);
        a.RecWidth = c.width, a.RecHeight = c.height;
        desktop.pointerX = c.pointerX, desktop.pointerY = c.pointerY;
        desktop.window = c.window;
        Rect area;
        std::string error;
        ASSERT_TRUE(AreaOf(a, desktop, area, error)) << error;
        EXPECT_EQ(area, c.expected)
            << "method " << c.method << " at " << c.pointerX << "," << c.pointerY;
    }
    a.GrabMethod = codes::kFixedRectangle;
    a.RecWidth = 0;
    Rect area;
    std::string error;
    EXPECT_FALSE(AreaOf(a, desktop, area, error));
}

TEST_F(Folders, ARunWritesExactlyThePixelsOfItsArea) {
    NullDesktop desktop;
    TActionKeys list("k");
    list.TargetDir = ".\\";
    TActionKey a = FileAction(".bmp", 6);
    a.GrabMethod = codes::kFixedRectangle;
    a.RecWidth = 4, a.RecHeight = 2;
    desktop.pointerX = 10, desktop.pointerY = 20;
    const CaptureOutcome outcome = RunCapture(a, list, desktop, 0);
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.path.rfind(home.path() + "/Pictures/Capture ", 0), 0u) << outcome.path;
    std::ifstream in(outcome.path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(bytes.size(), 54u + 2 * 12);
    // The bottom row's first pixel is (8, 20): blue 20, green 0, red 8.
    EXPECT_EQ(bytes.substr(54, 3), std::string("\x14\x00\x08", 3));

    a.SaveTo = codes::kNoOutput;
    const CaptureOutcome none = RunCapture(a, list, desktop, 0);
    EXPECT_TRUE(none.ok);
    EXPECT_TRUE(none.path.empty());
}

// What a desktop cannot do is refused with its reason, never half done.
TEST(CaptureArea, WhatTheDesktopCannotTellIsRefusedByName) {
    NullDesktop desktop;
    desktop.can.activeWindow = desktop.can.pointer = false;
    const struct {
        int grab;
        const char* says;  // "" where the capture works
    } cases[] = {{codes::kFullScreen, ""},
                 {codes::kTopWindow, "does not tell lmgrab its active window"},
                 {codes::kClientArea, "does not tell lmgrab its active window"},
                 {codes::kFixedRectangle, "does not tell lmgrab where the mouse pointer is"}};
    for (const auto& c : cases) {
        TActionKey a = FileAction(".bmp", 6);
        a.GrabMethod = static_cast<std::uint8_t>(c.grab);
        a.RecWidth = a.RecHeight = 10;
        Rect area;
        std::string error;
        EXPECT_EQ(AreaOf(a, desktop, area, error), *c.says == '\0') << c.grab;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.grab << ": " << error;
    }
}

}  // namespace
