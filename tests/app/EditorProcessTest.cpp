// The real editor program: started against a store seeded with lgreg, a
// second start while it runs, a crash, and an ending by signal.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/NamedObjects.h"
#include "tests/support/Processes.h"
#include "tests/support/TempStore.h"

namespace {

using namespace std::chrono_literals;
using testsupport::Bin;
using testsupport::RunCapturing;
using testsupport::Spawn;
using testsupport::WaitFor;
using testsupport::WaitUntil;

int Lgreg(std::vector<std::string> args) {
    return WaitFor(Spawn(Bin("lgreg"), std::move(args)), 20s);
}

bool GuardHeld() {
    bool existed = false;
    std::string error;
    auto m = platform::NamedMutex::Create("Lumagrabber configuration is already running", existed,
                                          error);
    return m && existed;
}

class EditorProcess : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        const std::string key = "HKCU\\Software\\Orvane\\Lmgrab";
        ASSERT_EQ(Lgreg({"add", key, "/v", "Count", "/t", "REG_DWORD", "/d", "1"}), 0);
        ASSERT_EQ(Lgreg({"add", key + "\\Action1", "/v", "Name", "/d", "seeded"}), 0);
        ASSERT_EQ(
            Lgreg({"add", key + "\\Action1", "/v", "VirtualKey", "/t", "REG_DWORD", "/d", "65"}),
            0);
    }

    testsupport::TempRuntimeDir runtime;
    testsupport::TempStore store;
};

TEST_F(EditorProcess, OnlyOneEditorRunsAndASecondEndsAtOnceAndQuietly) {
    const pid_t first = Spawn(Bin("lumagrabber-config"));
    ASSERT_TRUE(WaitUntil(GuardHeld)) << "the editor did not start";
    EXPECT_EQ(WaitFor(first, 300ms), -1);  // it keeps running, window open

    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t second = fork();
    if (second == 0) {
        dup2(out[1], 1);
        dup2(out[1], 2);
        execl(Bin("lumagrabber-config").c_str(), "lumagrabber-config", nullptr);
        _exit(127);
    }
    close(out[1]);
    EXPECT_EQ(WaitFor(second, 10s), 0);
    char buf[256];
    EXPECT_EQ(read(out[0], buf, sizeof buf), 0) << "the second editor said something";
    close(out[0]);

    // Ended by the session, the editor closes as Cancel does, with code 0.
    kill(first, SIGTERM);
    EXPECT_EQ(WaitFor(first, 10s), 0);
    EXPECT_FALSE(GuardHeld());
    EXPECT_EQ(store.GetString("Software\\Orvane\\Lmgrab\\Action1", "Name"), "seeded");
}

TEST_F(EditorProcess, AKilledEditorLeavesNoStaleGuard) {
    const pid_t crashed = Spawn(Bin("lumagrabber-config"));
    ASSERT_TRUE(WaitUntil(GuardHeld));
    kill(crashed, SIGKILL);
    WaitFor(crashed, 10s);
    EXPECT_FALSE(GuardHeld());

    const pid_t next = Spawn(Bin("lumagrabber-config"));
    EXPECT_TRUE(WaitUntil(GuardHeld)) << "a new editor did not start after a crash";
    kill(next, SIGTERM);
    EXPECT_EQ(WaitFor(next, 10s), 0);
}

TEST_F(EditorProcess, StartsAndEndsCleanlyWhenAskedToQuitAfterStart) {
    setenv("LUMAGRABBER_QUIT_AFTER_START", "1", 1);
    EXPECT_EQ(WaitFor(Spawn(Bin("lumagrabber-config")), 20s), 0);
    unsetenv("LUMAGRABBER_QUIT_AFTER_START");
    EXPECT_FALSE(GuardHeld());
}

TEST_F(EditorProcess, LgeventWaitsForAndSetsTheChangeEvent) {
    const std::string name = "Lumagrabber configuration changed.";
    EXPECT_EQ(WaitFor(Spawn(Bin("lgevent"), {"wait", name, "--timeout", "50"}), 10s), 1);
    const pid_t waiter = Spawn(Bin("lgevent"), {"wait", name, "--timeout", "20000"});
    // The event lives while the waiter holds it: its file is there.
    std::string folder, error;
    ASSERT_TRUE(platform::NamedObjectDirectory(folder, error)) << error;
    ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(folder + "/" + name + ".event"); }));
    EXPECT_EQ(WaitFor(Spawn(Bin("lgevent"), {"set", name}), 10s), 0);
    EXPECT_EQ(WaitFor(waiter, 10s), 0);
    EXPECT_EQ(WaitFor(Spawn(Bin("lgevent"), {"reset", name}), 10s), 0);
    EXPECT_EQ(WaitFor(Spawn(Bin("lgevent"), {"frob", name}), 10s), 1);
    EXPECT_EQ(WaitFor(Spawn(Bin("lgevent"), {"wait", name, "--timeout", "x"}), 10s), 1);
}

TEST_F(EditorProcess, LgprofileBacksUpAndRestoresTheStore) {
    const std::string file = store.dir().file("backup.lgp");
    ASSERT_EQ(WaitFor(Spawn(Bin("lgprofile"), {"save", file}), 20s), 0);
    EXPECT_NE(testsupport::ReadFile(file).find("Name=seeded"), std::string::npos);

    const std::string key = "HKCU\\Software\\Orvane\\Lmgrab";
    ASSERT_EQ(Lgreg({"add", key, "/v", "Count", "/t", "REG_DWORD", "/d", "2", "/f"}), 0);
    ASSERT_EQ(Lgreg({"add", key + "\\Action1", "/v", "Name", "/d", "changed", "/f"}), 0);
    ASSERT_EQ(Lgreg({"add", key + "\\Action2", "/v", "Name", "/d", "extra"}), 0);
    std::string error;
    auto event = platform::NamedEvent::Open("Lumagrabber configuration changed.", error);
    ASSERT_EQ(WaitFor(Spawn(Bin("lgprofile"), {"load", file}), 20s), 0);
    EXPECT_EQ(store.GetString("Software\\Orvane\\Lmgrab\\Action1", "Name"), "seeded");
    EXPECT_FALSE(store.KeyExists("Software\\Orvane\\Lmgrab\\Action2"));
    EXPECT_EQ(store.GetDword("Software\\Orvane\\Lmgrab", "Count"), 1u);
    EXPECT_TRUE(event->IsSet());

    // A profile that cannot be read commits nothing.
    testsupport::WriteFile(file,
                           "[Software\\Orvane\\Lmgrab]\nCount=1\n");  // an action without a key
    EXPECT_EQ(WaitFor(Spawn(Bin("lgprofile"), {"load", file}), 20s), 1);
    EXPECT_EQ(WaitFor(Spawn(Bin("lgprofile"), {"load", store.dir().file("none.lgp")}), 20s), 1);
    EXPECT_EQ(store.GetString("Software\\Orvane\\Lmgrab\\Action1", "Name"), "seeded");
    EXPECT_EQ(WaitFor(Spawn(Bin("lgprofile"), {"save", store.dir().file("no/dir/x.lgp")}), 20s), 1);
}

TEST_F(EditorProcess, LgprofileLoadCommitsNothingForAnEmptyOrOddProfileAndNamesTheCause) {
    std::string error, err;
    auto event = platform::NamedEvent::Open("Lumagrabber configuration changed.", error);
    ASSERT_NE(event, nullptr) << error;
    const std::string before = store.Dump();
    const std::string file = store.dir().file("odd.lgp");
    struct Case {
        const char* what;
        std::string bytes;
        const char* says;
    } cases[] = {
        {"empty file", "", "holds no actions"},
        {"random bytes", std::string("\x01\xFE\x80zz\x00\x9C", 7), "holds no actions"},
        {"Count 0", "[Software\\Orvane\\Lmgrab]\r\nCount=0\r\n", "holds no actions"},
        {"keyless action", "[Software\\Orvane\\Lmgrab]\r\nCount=1\r\n", "no hot key"},
        {"huge count", "[Software\\Orvane\\Lmgrab]\r\nCount=2147483647\r\n",
         "odd.lgp' cannot be loaded: Count is 2147483647, more than the 100000 actions"},
    };
    for (const Case& c : cases) {
        testsupport::WriteFile(file, c.bytes);
        EXPECT_EQ(RunCapturing(Bin("lgprofile"), {"load", file}, err), 1) << c.what;
        EXPECT_NE(err.find(c.says), std::string::npos) << c.what << ": " << err;
        EXPECT_EQ(store.Dump(), before) << c.what;
        EXPECT_FALSE(event->IsSet()) << c.what;
    }
    // A FIFO is refused at once, not read until a writer comes.
    const std::string fifo = store.dir().file("fifo.lgp");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(RunCapturing(Bin("lgprofile"), {"load", fifo}, err), 1);
    EXPECT_NE(err.find("FIFO"), std::string::npos) << err;

    // A UTF-16 profile from another desktop loads like any other.
    const std::string text =
        "[Software\\Orvane\\Lmgrab]\r\nCount=1\r\n[Software\\Orvane\\Lmgrab\\Action1]\r\n"
        "Name=wide\r\nVirtualKey=66\r\n";
    std::string wide = "\xFF\xFE";
    for (char ch : text) wide += std::string{ch, '\0'};
    testsupport::WriteFile(file, wide);
    EXPECT_EQ(RunCapturing(Bin("lgprofile"), {"load", file}, err), 0) << err;
    EXPECT_EQ(store.GetString("Software\\Orvane\\Lmgrab\\Action1", "Name"), "wide");
    EXPECT_TRUE(event->IsSet());

    // A store that cannot be written is blamed, not the profile.
    testsupport::WriteFile(store.path(), std::string(4096, 'Z'));
    EXPECT_EQ(RunCapturing(Bin("lgprofile"), {"load", file}, err), 1);
    EXPECT_NE(err.find("not a Lumagrabber settings store"), std::string::npos) << err;
    EXPECT_EQ(err.find("odd.lgp"), std::string::npos) << err;
}

TEST_F(EditorProcess, LgregExportKeepsTheModeAndWalksDeepTreesWithoutRecursion) {
    std::string err;
    const std::string file = store.dir().file("backup.reg");
    testsupport::WriteFile(file, "old");
    chmod(file.c_str(), 0600);
    ASSERT_EQ(RunCapturing(Bin("lgreg"), {"export", "HKCU\\Software", file, "/y"}, err), 0) << err;
    struct stat st = {};
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    std::string deep = "HKEY_CURRENT_USER\\Software\\Deep";
    for (int level = 3; level <= 512; ++level) deep += "\\d";
    const std::string reg = store.dir().file("deep.reg");
    testsupport::WriteFile(reg, "Windows Registry Editor Version 5.00\r\n\r\n[" + deep +
                                    "]\r\n\"v\"=dword:00000001\r\n");
    ASSERT_EQ(RunCapturing(Bin("lgreg"), {"import", reg}, err), 0) << err;
    ASSERT_EQ(RunCapturing(Bin("lgreg"), {"query", "HKCU\\Software\\Deep", "/s"}, err), 0) << err;
    ASSERT_EQ(RunCapturing(Bin("lgreg"), {"delete", "HKCU\\Software\\Deep", "/f"}, err), 0) << err;
    testsupport::WriteFile(
        reg, "Windows Registry Editor Version 5.00\r\n\r\n[" + deep + "\\tooDeep]\r\n");
    EXPECT_EQ(RunCapturing(Bin("lgreg"), {"import", reg}, err), 1);
    EXPECT_NE(err.find("512 levels"), std::string::npos) << err;
}

}  // namespace
