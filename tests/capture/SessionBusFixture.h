// The tests of lmgrab on desktops reached over D-Bus (the portal, KDE)
// share this: a private folder as home, runtime and Pictures folder, a
// session bus of the test's own, a store, and the processes started, which
// end in reverse order (the bus last).
#pragma once

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "tests/capture/LmgrabFixture.h"
#include "tests/support/Processes.h"
#include "tests/support/TempStore.h"

class SessionBusTest : public ::testing::Test {
protected:
    // The folders; no display of any kind named yet.
    void UseOwnFolders() {
        ::chmod(dir.path().c_str(), 0700);
        std::filesystem::create_directories(dir.file("shots"));
        setenv("HOME", dir.path().c_str(), 1);
        setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
        setenv("XDG_PICTURES_DIR", dir.file("shots").c_str(), 1);
        for (const char* v : {"DISPLAY", "SWAYSOCK", "WAYLAND_DISPLAY", "XDG_CONFIG_HOME"})
            unsetenv(v);
    }
    void StartBus() {
        started.push_back(testsupport::SpawnLogged("dbus-daemon",
                                                   {"--session", "--nofork", "--print-address=1"},
                                                   dir.file("bus"), dir.file("bus.err")));
        ASSERT_TRUE(testsupport::WaitUntil([&] {
            return testsupport::FileText(dir.file("bus")).find('\n') != std::string::npos;
        }));
        const std::string text = testsupport::FileText(dir.file("bus"));
        setenv("DBUS_SESSION_BUS_ADDRESS", text.substr(0, text.find('\n')).c_str(), 1);
    }
    void TearDown() override {
        for (auto it = started.rbegin(); it != started.rend(); ++it) {
            kill(*it, SIGTERM);
            if (testsupport::WaitFor(*it, std::chrono::seconds(5)) == -1)
                kill(*it, SIGKILL), testsupport::WaitFor(*it, std::chrono::seconds(3));
        }
        for (const char* v : {"DBUS_SESSION_BUS_ADDRESS", "WAYLAND_DISPLAY", "ASAN_OPTIONS"})
            unsetenv(v);
    }
    void Configure(const std::vector<lmgrabtest::Action>& actions) {
        std::ofstream(dir.file("config.lgp"), std::ios::binary) << lmgrabtest::ProfileOf(actions);
        std::string err;
        ASSERT_EQ(testsupport::RunCapturing(testsupport::Bin("lgprofile"),
                                            {"load", dir.file("config.lgp")}, err),
                  0)
            << err;
    }
    std::vector<std::string> Shots() {
        std::vector<std::string> files;
        for (const auto& e : std::filesystem::directory_iterator(dir.file("shots")))
            files.push_back(e.path());
        std::sort(files.begin(), files.end());
        return files;
    }

    testsupport::TempDir dir;
    testsupport::TempStore store;
    std::vector<pid_t> started;
};
