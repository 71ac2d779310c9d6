// What lmgrab reads of sway (its JSON, key combinations, grim's pictures)
// and the key bindings it writes for desktops without global hot keys.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "capture/ExportBindings.h"
#include "capture/HotKey.h"
#include "capture/Json.h"
#include "capture/KWinAnswers.h"
#include "capture/PngReader.h"
#include "capture/SwayHotKeys.h"
#include "capture/WlrootsDesktop.h"
#include "model/ActionCodes.h"
#include "tests/support/Processes.h"
#include "tests/support/TempStore.h"

namespace {

TEST(SwayAnswers, JsonIsReadWholeOrRefused) {
    JsonValue v;
    std::string error;
    ASSERT_TRUE(ParseJson(
        R"( {"rect": {"x": -3, "width": 1920.0}, "nodes": [true, null, "a\"\\\u00e9\ud83d\ude00\n"], "e": {}} )",
        v, error))
        << error;
    EXPECT_EQ(v["rect"]["x"].Int(), -3);
    EXPECT_EQ(v["rect"]["width"].Int(), 1920);
    EXPECT_TRUE(v["nodes"].items[0].boolean);
    EXPECT_EQ(v["nodes"].items[1].type, JsonValue::Type::Null);
    EXPECT_EQ(v["nodes"].items[2].string, "a\"\\\xC3\xA9\xF0\x9F\x98\x80\n");
    EXPECT_EQ(v["missing"]["deeper"].type, JsonValue::Type::Null);
    for (const std::string& bad :
         std::vector<std::string>{"", "{", "[1,]", "{\"a\" 1}", "\"open", "tru", "[1] 2", "\"\\x\"",
                                  "\"\\ud800\\u0041\"", "\"tab\there\"", "01x"}) {
        EXPECT_FALSE(ParseJson(bad, v, error)) << bad;
    }
    // Nesting that would exhaust the stack is refused, not followed.
    EXPECT_FALSE(ParseJson(std::string(100000, '[') + std::string(100000, ']'), v, error));
    EXPECT_TRUE(ParseJson(std::string(100, '[') + std::string(100, ']'), v, error));
}

TEST(SwayAnswers, CombinationsCompareHoweverTheyAreSpelt) {
    EXPECT_EQ(SwayComboKey("Ctrl+Alt+a"), SwayComboKey("mod1+control+A"));
    EXPECT_EQ(SwayComboKey("Mod4+Shift+F5"), SwayComboKey("shift+Super+f5"));
    EXPECT_NE(SwayComboKey("Ctrl+a"), SwayComboKey("Ctrl+Shift+a"));
    EXPECT_NE(SwayComboKey("Ctrl+a"), SwayComboKey("a+Ctrl"));  // the key is last
}

TEST(SwayAnswers, GrimsPicturesAreReadExactlyAndNothingElse) {
    RgbImage image;
    ASSERT_TRUE(ReadPpm(std::string("P6\n2 1\n255\n\x01\x02\x03\xff\x80\x00", 17), image));
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.At(0, 0), Rgb(1, 2, 3));
    EXPECT_EQ(image.At(1, 0), Rgb(255, 128, 0));
    for (const std::string& bad :
         {std::string("P6\n2 1\n255\n\x01\x02\x03", 14),
          std::string("P6\n2 1\n65535\n") + "xxxxxxxxxxxx",
          std::string("P5\n2 1\n255\n\x01\x02", 12), std::string("P6\n0 1\n255\n"),
          std::string("P6\n9999999 9999999\n255\n")}) {
        EXPECT_FALSE(ReadPpm(bad, image)) << bad.substr(0, 12);
    }
}

// ImageMagick writes the PNGs: each filter (its quality's last digit: none,
// Sub, Up, Average, Paeth, adaptive), with and without alpha; kinds the
// reader does not take are refused, never misread.
TEST(DesktopPictures, PngsOfEveryFilterAreReadExactlyOthersRefused) {
    testsupport::TempDir dir;
    std::string ppm = "P6\n37 23\n255\n", rgb;
    for (int i = 0; i < 37 * 23; ++i) {
        for (const int c : {i * 7 % 256, i * 13 % 256, (i * i) % 256}) rgb += static_cast<char>(c);
    }
    std::ofstream(dir.file("in.ppm"), std::ios::binary) << ppm + rgb;
    const auto read = [&](const std::vector<std::string>& args, RgbImage& image,
                          std::string& error) {
        std::vector<std::string> all{dir.file("in.ppm")};
        all.insert(all.end(), args.begin(), args.end() - 1);
        all.push_back(dir.file("out.png"));
        all.back() = args.back() + dir.file("out.png");
        std::string out;
        EXPECT_EQ(testsupport::RunForOutput("convert", all, out), 0) << out;
        return ReadPng(testsupport::FileText(dir.file("out.png")), image, error);
    };
    for (const char* kind : {"PNG24:", "PNG32:"}) {
        for (const char* quality : {"90", "91", "92", "93", "94", "95"}) {
            RgbImage image;
            std::string error;
            ASSERT_TRUE(read({"-quality", quality, kind}, image, error))
                << kind << quality << error;
            ASSERT_EQ(image.width, 37);
            std::string got;
            for (const std::uint32_t p : image.Pixels()) {
                got += static_cast<char>(Red(p)), got += static_cast<char>(Green(p));
                got += static_cast<char>(Blue(p));
            }
            EXPECT_TRUE(got == rgb) << kind << quality;
        }
    }
    for (const std::vector<std::string>& other :
         {std::vector<std::string>{"PNG48:"}, {"PNG8:"}, {"-interlace", "PNG", "PNG24:"}}) {
        RgbImage image;
        std::string error;
        EXPECT_FALSE(read(other, image, error)) << other.back();
        EXPECT_EQ(error, "a PNG picture of a kind lmgrab does not read");
    }
    RgbImage image;
    std::string error;
    read({"PNG24:"}, image, error);
    const std::string whole = testsupport::FileText(dir.file("out.png"));
    for (const std::size_t keep :
         {std::size_t{0}, std::size_t{8}, std::size_t{40}, whole.size() - 20})
        EXPECT_FALSE(ReadPng(whole.substr(0, keep), image, error)) << keep;
}

CapturePlan TwoActions() {
    CapturePlan plan;
    PlannedAction screen;
    screen.number = 1;
    screen.name = "it's \"all\"\nof it";
    screen.armable = true;
    screen.key = {codes::kCtrl | codes::kShift, 116};
    PlannedAction none;
    none.number = 2;
    none.name = "tray only";
    none.hotKeyText = "no key";
    plan.actions = {screen, none};
    return plan;
}

TEST(KdeAnswers, KeysAreQtCodesWithModifierBits) {
    const struct {
        int modifiers, vk, code;
    } cases[] = {
        {codes::kCtrl, codes::kKeyF1, 0x04000000 | 0x01000030},
        {codes::kCtrl | codes::kShift, codes::kKeyF1 + 4, 0x06000000 | 0x01000034},
        {codes::kAlt, 'Q', 0x08000000 | 'Q'},
        {0, '7', '7'},
        {codes::kCtrl | codes::kAlt | codes::kShift, codes::kKeyF1 + 11, 0x0E000000 | 0x0100003B},
        {codes::kCtrl, 0, 0},    // no key
        {codes::kCtrl, 200, 0},  // none of the 48
    };
    for (const auto& c : cases)
        EXPECT_EQ(QtKeyCode({c.modifiers, c.vk}), c.code) << c.modifiers << " " << c.vk;
}

JsonValue Results(const std::string& json) {
    JsonValue v;
    std::string error;
    EXPECT_TRUE(ParseJson(json, v, error)) << error;
    return v;
}

TEST(KdeAnswers, KWinsPicturesAreReadInEachFormatAndRefusedOtherwise) {
    // One picture of 2x2 (red, green / blue, white), each row padded to 12 bytes.
    const std::uint32_t want[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    const std::string pad(12 - 8, '\x55');
    const std::string words = std::string("\x00\x00\xff\xff\x00\xff\x00\xff", 8) + pad +
                              std::string("\xff\x00\x00\xff\xff\xff\xff\xff", 8) + pad;
    const std::string rgba = std::string("\xff\x00\x00\xff\x00\xff\x00\xff", 8) + pad +
                             std::string("\x00\x00\xff\xff\xff\xff\xff\xff", 8) + pad;
    const std::string rgb = std::string("\xff\x00\x00\x00\xff\x00", 6) + std::string(6, '\0') +
                            std::string("\x00\x00\xff\xff\xff\xff", 6) + std::string(6, '\0');
    const struct {
        int format;
        const std::string& bytes;
    } formats[] = {{4, words}, {5, words}, {6, words}, {13, rgb},
                   {16, rgba}, {17, rgba}, {18, rgba}};
    for (const auto& f : formats) {
        const JsonValue results =
            Results(R"({"type": "raw", "width": 2, "height": 2, "stride": 12, "format": )" +
                    std::to_string(f.format) + "}");
        RgbImage image;
        std::string error;
        ASSERT_TRUE(ReadKWinPicture(results, f.bytes, image, error)) << f.format << error;
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(image.At(i % 2, i / 2) & 0xFFFFFF, want[i]) << f.format;
    }
    const struct {
        const char* results;
        std::size_t bytes;
        const char* says;
    } refused[] = {
        {R"({"type": "raw", "width": 2, "height": 2, "stride": 12, "format": 5})", 23,
         "cut short (23 of 24"},
        {R"({"type": "raw", "width": 2, "height": 2, "stride": 12, "format": 3})", 24, "format 3"},
        {R"({"type": "raw", "width": 2, "height": 2, "stride": 7, "format": 5})", 24, "format 5"},
        {R"({"type": "png", "width": 2, "height": 2, "stride": 12, "format": 5})", 24,
         "type \"png\""},
        {R"({"type": "raw", "width": 0, "height": 2, "stride": 12, "format": 5})", 24,
         "does not read"},
        {R"({"type": "raw", "width": 2.5, "height": 2, "stride": 12, "format": 5})", 24,
         "does not read"},
        {R"({"type": "raw", "width": 40000, "height": 40000, "stride": 160000, "format": 5})", 24,
         "does not read"},
        {R"({"type": "raw", "width": 30000, "height": 30000, "stride": 120000, "format": 5})", 24,
         "does not read"},
        {R"({"type": "raw", "width": -2, "height": 2, "stride": 12, "format": 5})", 24,
         "does not read"},
        {R"({})", 0, "does not read"},
    };
    for (const auto& r : refused) {
        RgbImage image;
        std::string error;
        EXPECT_FALSE(ReadKWinPicture(Results(r.results), std::string(r.bytes, '\0'), image, error))
            << r.results;
        EXPECT_NE(error.find(r.says), std::string::npos) << r.results << ": " << error;
    }
}

TEST(KdeAnswers, TheScriptsFactsAreReadAndBoundedOrRefused) {
    // The script is what KWin runs: it calls back the name and token given.
    const std::string script = KWinFactsScript(":1.42", "7-3");
    EXPECT_NE(script.find(R"(callDBus(":1.42", "/lmgrab", "com.orvane.Lmgrab.KWinFacts", "Facts")"),
              std::string::npos);
    EXPECT_NE(script.find(R"(token: "7-3")"), std::string::npos);

    KWinFacts facts;
    std::string error;
    ASSERT_TRUE(ReadKWinFacts(
        R"({"token": "7-3", "screens": [[0, 0, 1920, 1080], [1920, -200, 1280.4, 1024], [0, 0, 0, 5]],
            "pointer": [2000.6, -10], "active": {"id": "{ab}", "frame": [10, 20, 300, 200],
            "client": [11, 50, 298, 169], "buffer": [-22, -12, 364, 264]}})",
        facts, error))
        << error;
    EXPECT_EQ(facts.token, "7-3");
    ASSERT_EQ(facts.screens.size(), 2u);  // one without area is no monitor
    EXPECT_EQ(facts.screens[1], (Rect{1920, -200, 1280, 1024}));
    EXPECT_EQ(facts.pointerX, 2001);
    EXPECT_EQ(facts.pointerY, -10);
    EXPECT_TRUE(facts.hasActive);
    EXPECT_EQ(facts.activeId, "{ab}");
    EXPECT_EQ(facts.activeClient, (Rect{11, 50, 298, 169}));
    EXPECT_EQ(facts.activeBuffer, (Rect{-22, -12, 364, 264}));

    // A client area beyond its frame (a buffer with shadows) is cut to the
    // frame; no window, or one without a frame, is none; absurd numbers are
    // bounded.
    ASSERT_TRUE(ReadKWinFacts(
        R"({"screens": [[0, 0, 800, 600]], "active": {"id": "{c}", "frame": [10, 10, 100, 100],
            "client": [0, 0, 400, 400]}})",
        facts, error));
    EXPECT_EQ(facts.activeClient, (Rect{10, 10, 100, 100}));
    EXPECT_EQ(facts.activeBuffer, facts.activeFrame);
    ASSERT_TRUE(ReadKWinFacts(R"({"screens": [[0, 0, 800, 600]], "active": null})", facts, error));
    EXPECT_FALSE(facts.hasActive);
    ASSERT_TRUE(ReadKWinFacts(
        R"({"screens": [[1e300, -1e300, 1e300, 5]], "active": {"id": "{d}", "frame": "x"}})", facts,
        error));
    EXPECT_EQ(facts.screens[0], (Rect{100000000, -100000000, 100000000, 5}));
    EXPECT_FALSE(facts.hasActive);
    for (const char* bad :
         {R"({"screens": []})", R"({"screens": [[0, 0, -5, 5]]})", "[", R"("x")"}) {
        EXPECT_FALSE(ReadKWinFacts(bad, facts, error)) << bad;
    }
}

TEST(KdeAnswers, ScaledAreasCoverWhatWasAskedAndFactsScaleWhole) {
    const struct {
        double scale;
        Rect physical, logical;
    } cases[] = {
        {1, {3, 4, 50, 60}, {3, 4, 50, 60}},
        {2, {0, 0, 2560, 1600}, {0, 0, 1280, 800}},
        {2, {3, 5, 10, 10}, {1, 2, 6, 6}},  // odd edges: the logical area reaches past them
        {1.5, {0, 0, 1920, 1080}, {0, 0, 1280, 720}},
        {1.25, {-101, 7, 33, 1}, {-81, 5, 27, 2}},  // left of the first monitor
    };
    for (const auto& c : cases) {
        const Rect logical = ToLogicalCover(c.physical, c.scale);
        EXPECT_EQ(logical, c.logical) << c.scale;
        EXPECT_EQ(Intersect(ToPhysical(logical, c.scale), c.physical), c.physical) << c.scale;
    }
    KWinFacts facts;
    facts.screens = {{0, 0, 1280, 800}, {1280, 0, 1024, 768}};
    facts.pointerX = 1279;
    facts.pointerY = 3;
    facts.activeFrame = facts.activeBuffer = {10, 20, 300, 200};
    facts.activeClient = {11, 50, 298, 169};
    ScaleFacts(facts, 2);
    EXPECT_EQ(facts.screens[1], (Rect{2560, 0, 2048, 1536}));
    EXPECT_EQ(facts.pointerX, 2558);
    EXPECT_EQ(facts.activeClient, (Rect{22, 100, 596, 338}));
    EXPECT_EQ(facts.activeBuffer, facts.activeFrame);
}

TEST(ExportedBindings, SwayAndHyprlandLinesRunTheActionAndNameTheRest) {
    const CapturePlan plan = TwoActions();
    const std::string sway = ExportBindings(plan, "sway", "/opt/my tools/lmgrab");
    EXPECT_NE(sway.find("\nbindsym --no-repeat Ctrl+Shift+F5 exec '/opt/my tools/lmgrab' "
                        "--capture 1\n"),
              std::string::npos)
        << sway;
    EXPECT_NE(sway.find("# action 2 \"tray only\" (no key) has no usable hot key\n"),
              std::string::npos);
    EXPECT_NE(sway.find("# action 1 \"it's \"all\" of it\"\n"), std::string::npos) << sway;
    const std::string hypr = ExportBindings(plan, "hyprland", "/usr/bin/lmgrab");
    EXPECT_NE(hypr.find("\nbind = CTRL SHIFT, F5, exec, '/usr/bin/lmgrab' --capture 1\n"),
              std::string::npos)
        << hypr;
    EXPECT_EQ(ExportBindings(plan, "xfce", "lmgrab"), "");
    EXPECT_FALSE(IsBindingsDesktop("xfce"));
}

// The GNOME and KDE scripts, run twice against the real gsettings (GNOME's
// own media-keys schema, a key file for the store) and the real
// kwriteconfig: a second run replaces its own entries and keeps the
// person's, and GNOME splits the stored command back into lmgrab's words.
TEST(ExportedBindings, TheGnomeAndKdeScriptsInstallOnceAndKeepThePersonsOwn) {
    testsupport::TempDir dir;
    const std::string program = "/opt/it's \"my\" \\tools/lmgrab";
    std::ofstream(dir.file("gnome.sh")) << ExportBindings(TwoActions(), "gnome", program);
    std::ofstream(dir.file("kde.sh"))
        << ExportBindings(TwoActions(), "kde", "/opt/my tools/lmgrab");
    const std::string env = "GSETTINGS_BACKEND=keyfile XDG_CONFIG_HOME=" + dir.file("config") +
                            " XDG_DATA_HOME=" + dir.file("data") + " ";
    const std::string schema = "org.gnome.settings-daemon.plugins.media-keys";
    const std::string base = "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/";
    std::string out;
    ASSERT_EQ(
        testsupport::RunForOutput("sh",
                                  {"-c", env + "gsettings set " + schema +
                                             " custom-keybindings \"['" + base + "custom0/']\""},
                                  out),
        0)
        << out;
    // An entry of the names before this one goes too.
    std::filesystem::create_directories(dir.file("data/applications"));
    std::ofstream(dir.file("data/applications/net.local.lumagrabber-action-7.desktop")) << "x";
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(testsupport::RunForOutput("sh",
                                            {"-c", env + "sh " + dir.file("gnome.sh") + " && " +
                                                       env + "sh " + dir.file("kde.sh")},
                                            out),
                  0)
            << out;
    }
    ASSERT_EQ(testsupport::RunForOutput(
                  "sh", {"-c", env + "gsettings get " + schema + " custom-keybindings"}, out),
              0);
    EXPECT_EQ(out, "['" + base + "lumagrabber-1/', '" + base + "custom0/']\n");
    // What GNOME reads, split as GNOME splits a command.
    ASSERT_EQ(testsupport::RunForOutput(
                  "sh",
                  {"-c", env +
                             "/usr/bin/python3 -c \"from gi.repository import Gio, GLib\n"
                             "s = Gio.Settings.new_with_path('" +
                             schema + ".custom-keybinding', '" + base +
                             "lumagrabber-1/')\n"
                             "print(GLib.shell_parse_argv(s.get_string('command'))[1])\n"
                             "print(s.get_string('binding'))\nprint(s.get_string('name'))\""},
                  out),
              0)
        << out;
    EXPECT_EQ(out,
              "['/opt/it\\'s \"my\" \\\\tools/lmgrab', '--capture', '1']\n<Ctrl><Shift>F5\n"
              "Lumagrabber: action 1 \"it's \"all\" of it\"\n");
    EXPECT_EQ(
        testsupport::FileText(dir.file("data/applications/com.orvane.Lmgrab.Action1.desktop")),
        "[Desktop Entry]\nType=Application\nName=Lumagrabber: action 1 \"it's \"all\" of it\"\n"
        "Exec=\"/opt/my tools/lmgrab\" --capture 1\nNoDisplay=true\n");
    EXPECT_FALSE(std::filesystem::exists(
        dir.file("data/applications/net.local.lumagrabber-action-7.desktop")));
    EXPECT_EQ(testsupport::FileText(dir.file("config/kglobalshortcutsrc")),
              "[services][com.orvane.Lmgrab.Action1.desktop]\n_launch=Ctrl+Shift+F5\n");
}

}  // namespace
