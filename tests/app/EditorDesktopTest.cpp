// The real editor on a real X server, driven from outside as a user would:
// it ends with its window however that closes, and a stop signal ends it
// even while a message box is up.
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/support/Processes.h"
#include "tests/support/TempStore.h"
#include "tests/support/Xvfb.h"

namespace {

using namespace std::chrono_literals;
using testsupport::Bin;
using testsupport::RunX;
using testsupport::Spawn;
using testsupport::WaitFor;

class EditorDesktop : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(x.Running()) << "Xvfb could not be started";
        unsetenv("QT_QPA_PLATFORM");  // the editor on the X server, not offscreen
    }
    void Seed() {
        const std::string key = "Software\\Orvane\\Lmgrab";
        store.SetDword(key, "Count", 1);
        store.SetString(key + "\\Action1", "Name", "one");
        store.SetDword(key + "\\Action1", "VirtualKey", 65);
    }
    // The first window whose name is exactly name, waiting for it to appear.
    std::string Window(const std::string& name) {
        std::string out;
        RunX("xdotool", {"search", "--sync", "--name", "^" + name + "$"}, out);
        return out.substr(0, out.find('\n'));
    }
    void Keys(const std::string& window, const std::string& keys) {
        std::string out;
        ASSERT_TRUE(RunX("xdotool", {"windowfocus", "--sync", window}, out));
        ASSERT_TRUE(RunX("xdotool", {"key", keys}, out));
    }

    testsupport::XvfbServer x;  // 1280 x 1024
    testsupport::TempRuntimeDir runtime;
    testsupport::TempStore store;
};

TEST_F(EditorDesktop, AStopSignalEndsItWhileTheFirstStartMessageIsUpAndTheBoxIsPlaced) {
    const pid_t editor = Spawn(Bin("lumagrabber-config"));
    const std::string box = Window("Lumagrabber - Error");
    ASSERT_FALSE(box.empty());
    std::string geometry;
    ASSERT_TRUE(RunX("xdotool", {"getwindowgeometry", "--shell", box}, geometry));
    std::istringstream lines(geometry);
    int x = 0, y = 0, width = 0, height = 0;
    for (std::string line; std::getline(lines, line);) {
        const auto value = [&](const char* key) {
            return std::atoi(line.c_str() + std::strlen(key));
        };
        if (line.rfind("X=", 0) == 0) x = value("X=");
        if (line.rfind("Y=", 0) == 0) y = value("Y=");
        if (line.rfind("WIDTH=", 0) == 0) width = value("WIDTH=");
        if (line.rfind("HEIGHT=", 0) == 0) height = value("HEIGHT=");
    }
    EXPECT_EQ(x, (1280 - width) / 2) << geometry;
    EXPECT_EQ(y, (1024 - height) / 3) << geometry;
    kill(editor, SIGTERM);
    EXPECT_EQ(WaitFor(editor, 10s), 0);
}

TEST_F(EditorDesktop, CancelEndsTheProgramThoughHelpIsOpen) {
    Seed();
    const pid_t editor = Spawn(Bin("lumagrabber-config"));
    const std::string main = Window("Lumagrabber - configuration");
    ASSERT_FALSE(main.empty());
    Keys(main, "alt+h");
    EXPECT_FALSE(Window("Lumagrabber - Help").empty());
    Keys(main, "alt+c");
    EXPECT_EQ(WaitFor(editor, 10s), 0);
}

TEST_F(EditorDesktop, ClosingTheWindowFromOutsideEndsTheProgramAsCancel) {
    Seed();
    const pid_t editor = Spawn(Bin("lumagrabber-config"));
    const std::string main = Window("Lumagrabber - configuration");
    ASSERT_FALSE(main.empty());
    std::string out;
    ASSERT_TRUE(RunX("xdotool", {"windowclose", main}, out));
    EXPECT_EQ(WaitFor(editor, 10s), 0);
    EXPECT_EQ(store.GetDword("Software\\Orvane\\Lmgrab", "Count"), 1u);
}

}  // namespace
