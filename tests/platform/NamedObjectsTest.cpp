#include "platform/NamedObjects.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempStore.h"

namespace {

using platform::NamedEvent;
using platform::NamedMutex;
using testsupport::TempRuntimeDir;

const std::string kName = "Lumagrabber configuration is already running";

std::unique_ptr<NamedMutex> Take(bool& existed) {
    std::string error;
    auto m = NamedMutex::Create(kName, existed, error);
    EXPECT_NE(m, nullptr) << error;
    return m;
}

TEST(NamedMutex, TellsWhetherAnotherProcessHoldsIt) {
    TempRuntimeDir runtime;
    bool existed = true;
    auto first = Take(existed);
    EXPECT_FALSE(existed);

    // Another process asking meanwhile hears that it exists.
    const pid_t child = fork();
    if (child == 0) {
        bool e = false;
        std::string error;
        auto m = NamedMutex::Create(kName, e, error);
        _exit(m && e ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    first.reset();
    auto again = Take(existed);
    EXPECT_FALSE(existed);
}

TEST(NamedMutex, DiesWithAKilledHolder) {
    TempRuntimeDir runtime;
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        bool e = false;
        std::string error;
        auto m = NamedMutex::Create(kName, e, error);
        const char c = m && !e ? 'y' : 'n';
        if (write(ready[1], &c, 1) != 1) _exit(1);
        pause();
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    bool existed = false;
    EXPECT_NE(Take(existed), nullptr);
    EXPECT_TRUE(existed);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    auto mine = Take(existed);
    EXPECT_FALSE(existed) << "a killed editor left its guard behind";
    close(ready[0]);
    close(ready[1]);
}

TEST(NamedObjects, LiveInAPrivateDirectoryOfTheUser) {
    TempRuntimeDir runtime;
    std::string dir, error;
    ASSERT_TRUE(platform::NamedObjectDirectory(dir, error)) << error;
    EXPECT_EQ(dir, runtime.path() + "/lumagrabber");
    struct stat st = {};
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // A directory others may enter is refused, not used.
    chmod(dir.c_str(), 0755);
    EXPECT_FALSE(platform::NamedObjectDirectory(dir, error));
    EXPECT_NE(error.find("private"), std::string::npos);
    bool existed = false;
    EXPECT_EQ(NamedMutex::Create(kName, existed, error), nullptr);
    EXPECT_EQ(NamedEvent::Open("x", error), nullptr);
}

TEST(NamedEvent, IsAManualResetEventSharedByName) {
    TempRuntimeDir runtime;
    std::string error;
    auto a = NamedEvent::Open("Lumagrabber configuration changed.", error);
    auto b = NamedEvent::Open("Lumagrabber configuration changed.", error);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_FALSE(b->IsSet());  // created not signalled
    EXPECT_EQ(b->Wait(0), NamedEvent::WaitResult::Timeout);
    ASSERT_TRUE(a->Set());
    EXPECT_EQ(b->Wait(0), NamedEvent::WaitResult::Signalled);
    EXPECT_EQ(b->Wait(0), NamedEvent::WaitResult::Signalled);  // stays set until reset
    ASSERT_TRUE(b->Reset());
    EXPECT_EQ(a->Wait(10), NamedEvent::WaitResult::Timeout);
    auto other = NamedEvent::Open("another/name%", error);
    ASSERT_NE(other, nullptr);
    a->Set();
    EXPECT_FALSE(other->IsSet());
}

TEST(NamedEvent, EndsWithItsLastHandle) {
    TempRuntimeDir runtime;
    std::string error;
    auto holder = NamedEvent::Open("e", error);
    {
        auto setter = NamedEvent::Open("e", error);
        setter->Set();  // nobody waits: neither blocks nor fails
    }
    EXPECT_TRUE(holder->IsSet());  // held open by the holder
    holder.reset();
    auto fresh = NamedEvent::Open("e", error);
    EXPECT_FALSE(fresh->IsSet());  // nobody held it: the set had no lasting effect
}

// A process that opens the event, says so with a byte on ready, and waits:
// its exit status 0 when the wait was signalled.
pid_t SpawnWaiter(const char* name, int ready, int timeoutMs) {
    const pid_t child = fork();
    if (child == 0) {
        std::string e;
        auto mine = NamedEvent::Open(name, e);
        const char c = 'r';
        if (!mine || write(ready, &c, 1) != 1) _exit(2);
        _exit(mine->Wait(timeoutMs) == NamedEvent::WaitResult::Signalled ? 0 : 1);
    }
    return child;
}

TEST(NamedEvent, AWaiterInAnotherProcessWakesOnASet) {
    TempRuntimeDir runtime;
    std::string error;
    auto event = NamedEvent::Open("wake", error);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = SpawnWaiter("wake", ready[1], 20000);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(event->Set());
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // Far inside the child's own limit: it woke on the set, not on a timeout.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    close(ready[0]);
    close(ready[1]);
}

TEST(NamedObjects, WithoutARuntimeFolderLiveInTheUsersStateFolderNeverInTmp) {
    testsupport::TempDir state;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string savedRuntime = runtime ? runtime : "";
    unsetenv("XDG_RUNTIME_DIR");
    setenv("XDG_STATE_HOME", (state.path() + "/state").c_str(), 1);
    std::string dir, error;
    const bool made = platform::NamedObjectDirectory(dir, error);
    if (runtime) setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
    unsetenv("XDG_STATE_HOME");
    ASSERT_TRUE(made) << error;
    EXPECT_EQ(dir, state.path() + "/state/lumagrabber");
    struct stat st = {};
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(NamedEvent, AWaiterOpeningAsTheLastHolderClosesNeverMissesASet) {
    TempRuntimeDir runtime;
    const std::string name = "Lumagrabber configuration changed.";
    for (int trial = 0; trial < 300; ++trial) {
        std::string error;
        auto holder = NamedEvent::Open(name, error);
        ASSERT_NE(holder, nullptr) << error;
        std::unique_ptr<NamedEvent> waiter;
        std::thread opener([&] { waiter = NamedEvent::Open(name, error); });
        holder.reset();  // the last other handle closes as the waiter opens
        opener.join();
        ASSERT_NE(waiter, nullptr) << error;
        auto setter = NamedEvent::Open(name, error);
        ASSERT_NE(setter, nullptr);
        setter->Set();
        setter.reset();
        ASSERT_EQ(waiter->Wait(0), NamedEvent::WaitResult::Signalled) << "trial " << trial;
    }
}

// A set releases every waiter present, whoever resets the event at once
// afterwards (as the capture tool does), and setters in many processes
// are all counted.
TEST(NamedEvent, EveryWaiterPresentAtASetReturnsThoughItIsResetAtOnce) {
    TempRuntimeDir runtime;
    std::string error;
    auto event = NamedEvent::Open("many", error);
    ASSERT_NE(event, nullptr) << error;
    for (int trial = 0; trial < 10; ++trial) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        std::vector<pid_t> waiters;
        for (int w = 0; w < 3; ++w) {
            waiters.push_back(SpawnWaiter("many", ready[1], 10000));
        }
        for (std::size_t w = 0; w < waiters.size(); ++w) {
            char c = 0;
            ASSERT_EQ(read(ready[0], &c, 1), 1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        ASSERT_TRUE(event->Set());
        ASSERT_TRUE(event->Reset());
        for (pid_t child : waiters) {
            int status = 0;
            waitpid(child, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "trial " << trial;
        }
        close(ready[0]);
        close(ready[1]);
    }
    const std::uint64_t before = event->Sets();
    std::vector<pid_t> setters;
    for (int p = 0; p < 4; ++p) {
        const pid_t child = fork();
        if (child == 0) {
            std::string e;
            auto mine = NamedEvent::Open("many", e);
            for (int i = 0; mine && i < 250; ++i) mine->Set();
            _exit(mine ? 0 : 1);
        }
        setters.push_back(child);
    }
    for (pid_t child : setters) waitpid(child, nullptr, 0);
    EXPECT_EQ(event->Sets() - before, 1000u);
}

}  // namespace
