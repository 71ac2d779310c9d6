// What lmgrab reads of sway (its JSON, key combinations, grim's pictures)
// and the key bindings it writes for desktops without global hot keys.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "capture/ExportBindings.h"
#include "capture/Json.h"
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

// The GNOME and KDE scripts, run against stand-ins for gsettings and
// kwriteconfig5 that keep what they are told in files: twice, so that a
// second run replaces its own entries and keeps the person's.
TEST(ExportedBindings, TheGnomeAndKdeScriptsInstallOnceAndKeepThePersonsOwn) {
    testsupport::TempDir dir;
    const std::string bin = dir.file("bin");
    std::filesystem::create_directories(bin);
    std::ofstream(bin + "/gsettings")
        << "#!/bin/sh\nf=\"$FAKE/$(echo \"$2.$3\" | tr / _)\"\n"
           "case $1 in get) cat \"$f\" 2>/dev/null || echo '@as []' ;; "
           "set) printf '%s\\n' \"$4\" > \"$f\" ;; esac\n";
    std::ofstream(bin + "/kwriteconfig5")
        << "#!/bin/sh\necho \"$@\" >> \"$FAKE/kglobalshortcutsrc\"\n";
    for (const char* tool : {"gsettings", "kwriteconfig5"}) chmod((bin + "/" + tool).c_str(), 0755);
    const std::string fake = dir.file("fake");
    std::filesystem::create_directories(fake);
    const std::string list =
        fake + "/org.gnome.settings-daemon.plugins.media-keys.custom-keybindings";
    std::ofstream(list)
        << "['/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0/']\n";
    std::ofstream(dir.file("gnome.sh"))
        << ExportBindings(TwoActions(), "gnome", "/opt/it's/lmgrab");
    std::ofstream(dir.file("kde.sh"))
        << ExportBindings(TwoActions(), "kde", "/opt/my tools/lmgrab");
    const std::string env =
        "PATH=" + bin + ":/usr/bin:/bin FAKE=" + fake + " XDG_DATA_HOME=" + dir.file("data") + " ";
    std::string out;
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(testsupport::RunForOutput("sh",
                                            {"-c", env + "sh " + dir.file("gnome.sh") + " && " +
                                                       env + "sh " + dir.file("kde.sh")},
                                            out),
                  0)
            << out;
    }
    EXPECT_EQ(testsupport::FileText(list),
              "['/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/lumagrabber-1/',"
              "'/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0/']\n");
    const std::string one =
        fake +
        "/org.gnome.settings-daemon.plugins.media-keys.custom-keybinding:_org_gnome_settings-"
        "daemon_plugins_media-keys_custom-keybindings_lumagrabber-1_.";
    EXPECT_EQ(testsupport::FileText(one + "command"), "'/opt/it'\\''s/lmgrab' --capture 1\n");
    EXPECT_EQ(testsupport::FileText(one + "binding"), "<Ctrl><Shift>F5\n");
    EXPECT_EQ(
        testsupport::FileText(dir.file("data/applications/net.local.lumagrabber-action-1.desktop")),
        "[Desktop Entry]\nType=Application\nName=Lumagrabber: action 1 \"it's \"all\" of it\"\n"
        "Exec=\"/opt/my tools/lmgrab\" --capture 1\nNoDisplay=true\n");
    EXPECT_NE(testsupport::FileText(fake + "/kglobalshortcutsrc")
                  .find("--group services --group net.local.lumagrabber-action-1.desktop --key "
                        "_launch Ctrl+Shift+F5"),
              std::string::npos);
}

}  // namespace
