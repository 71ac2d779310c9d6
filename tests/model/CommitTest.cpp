// Committing a whole configuration: all of it or none of it, whatever fails
// and whenever the committing process dies, and never a mix for a reader.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include <gtest/gtest.h>

#include "model/ActionKeys.h"
#include "model/Commit.h"
#include "platform/ForwardingRegistry.h"
#include "platform/NamedObjects.h"
#include "platform/SqliteRegistry.h"
#include "samples/SampleActions.h"
#include "tests/support/TempStore.h"

namespace {

using platform::RegCode;
using platform::RegistryHive;
using platform::RegistryKey;
using platform::RegStatus;
using platform::RegValue;
using testsupport::TempStore;

// count sample actions whose names and globals carry tag, so that two
// configurations differ in every action.
void Fill(TActionKeys& list, int count, const std::string& tag) {
    samples::FillSample(list, count, tag);
    list.TargetDir = "C:\\" + tag;
    list.DefaultSound = tag + ".wav";
    list.Home = "D:\\" + tag;
    list.ShowIconOnStartup = tag.size() % 2 == 0;
}

// What a reader finds: "tag:count", or why it could not tell.
std::string ReadBack() {
    TActionKeys list(kConfigurationKey);
    if (!list.LoadFromRegistry()) {
        const TLoadReport& r = list.LastLoad();
        return "unreadable (" + std::string(r.settingsUnreadable ? "settings" : "") +
               (r.unreadable.empty() ? "" : " action " + std::to_string(r.unreadable[0])) +
               (r.withoutKey.empty() ? "" : " keyless " + std::to_string(r.withoutKey[0])) + ")";
    }
    if (!list.HasActions()) return "empty";
    const std::string name = list.Get(0).Name;
    const std::string tag = name.substr(0, name.find(' '));
    for (int i = 0; i < list.Count(); ++i) {
        if (list.Get(i).Name != tag + " " + std::to_string(i + 1))
            return "mixed at " + std::to_string(i);
    }
    if (list.TargetDir != "C:\\" + tag || list.Home != "D:\\" + tag) return "mixed globals";
    return tag + ":" + std::to_string(list.Count());
}

// A store that refuses its Nth change (key creation, value write or
// deletion, key deletion, flush), counting from 1.
class NthFailureHive final : public platform::ForwardingHive {
public:
    NthFailureHive(std::unique_ptr<RegistryHive> inner, int failAt, int& counter)
        : ForwardingHive(*inner), owned_(std::move(inner)), failAt_(failAt), counter_(counter) {}

    RegStatus OpenKey(std::string_view path, platform::RegAccess access,
                      std::unique_ptr<RegistryKey>& key) override {
        RegStatus s = ForwardingHive::OpenKey(path, access, key);
        if (s.ok()) key = std::make_unique<Key>(std::move(key), *this);
        return s;
    }
    RegStatus CreateKey(std::string_view path, std::unique_ptr<RegistryKey>& key) override {
        if (Fails()) return Refused();
        RegStatus s = ForwardingHive::CreateKey(path, key);
        if (s.ok()) key = std::make_unique<Key>(std::move(key), *this);
        return s;
    }
    RegStatus DeleteKey(std::string_view path) override {
        return Fails() ? Refused() : ForwardingHive::DeleteKey(path);
    }
    // Key by key, so that each deletion can be failed.
    RegStatus DeleteKeyTree(std::string_view path) override {
        return RegistryHive::DeleteKeyTree(path);
    }
    RegStatus Flush() override { return Fails() ? Refused() : ForwardingHive::Flush(); }

    bool Fails() { return ++counter_ == failAt_; }
    static RegStatus Refused() { return RegStatus::Error(RegCode::StoreError, "refused"); }

private:
    class Key final : public platform::ForwardingKey {
    public:
        Key(std::unique_ptr<RegistryKey> inner, NthFailureHive& hive)
            : ForwardingKey(std::move(inner)), hive_(hive) {}
        RegStatus SetValue(std::string_view n, const RegValue& v) override {
            return hive_.Fails() ? Refused() : ForwardingKey::SetValue(n, v);
        }
        RegStatus DeleteValue(std::string_view n) override {
            return hive_.Fails() ? Refused() : ForwardingKey::DeleteValue(n);
        }

    private:
        NthFailureHive& hive_;
    };

    std::unique_ptr<RegistryHive> owned_;
    int failAt_;
    int& counter_;
};

// A child process that is killed and reaped however the test ends.
class Child {
public:
    explicit Child(pid_t pid) : pid_(pid) {}
    ~Child() { Kill(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    // The wait status.
    int Kill() {
        if (pid_ <= 0) return status_;
        ::kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
        pid_ = -1;
        return status_;
    }

private:
    pid_t pid_;
    int status_ = 0;
};

class Commit : public ::testing::Test {
protected:
    TempStore store;
    testsupport::TempRuntimeDir runtime;
};

TEST_F(Commit, FailingTheNthChangeForEveryNLeavesExactlyTheOldConfiguration) {
    {
        TActionKeys old(kConfigurationKey);
        Fill(old, 5, "old");
        std::string cause;
        ASSERT_TRUE(CommitConfiguration(old, cause)) << cause;
        // A logon entry to be replaced, and a surplus key beyond a gap that must stay.
        store.SetString("Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Lumagrabber", "x");
        store.SetString("Software\\Orvane\\Lmgrab\\Action7", "Name", "beyond the gap");
    }
    const std::string before = store.Dump();
    int changes = 0;
    bool committed = false;
    int failedCommits = 0;
    for (int n = 1; n < 10000 && !committed; ++n) {
        const std::string path = store.path();
        const auto previous = platform::SetCurrentUserHiveOpener([&, path, n](auto& hive) {
            platform::SqliteHiveOptions o;
            o.path = path;
            std::unique_ptr<RegistryHive> inner;
            RegStatus s = platform::OpenSqliteHive(o, inner);
            if (s.ok()) hive = std::make_unique<NthFailureHive>(std::move(inner), n, changes);
            return s;
        });
        changes = 0;
        TActionKeys next(kConfigurationKey);
        Fill(next, 3, "new");
        std::string cause;
        committed = CommitConfiguration(next, cause);
        platform::SetCurrentUserHiveOpener(previous);
        if (!committed) {
            ASSERT_EQ(store.Dump(), before) << "failing change " << n << " left a partial commit";
            EXPECT_FALSE(cause.empty());
            ++failedCommits;
        } else {
            EXPECT_GT(n, changes) << "the commit succeeded although change " << n << " failed";
        }
    }
    ASSERT_TRUE(committed);
    EXPECT_GT(failedCommits, 50);  // every change of the commit was failed once
    EXPECT_EQ(ReadBack(), "new:3");
    EXPECT_FALSE(store.KeyExists("Software\\Orvane\\Lmgrab\\Action4"));
    EXPECT_TRUE(store.KeyExists("Software\\Orvane\\Lmgrab\\Action7"));
}

TEST_F(Commit, AKilledCommitLeavesTheOldOrTheNewConfigurationAndReadersNeverSeeAMix) {
    {
        TActionKeys first(kConfigurationKey);
        Fill(first, 300, "aa");
        std::string cause;
        ASSERT_TRUE(CommitConfiguration(first, cause)) << cause;
    }
    std::mt19937 random(20261209);
    for (int kill = 0; kill < 25; ++kill) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            // Commits two configurations of different lengths in turn, forever.
            for (int round = 0;; ++round) {
                TActionKeys list(kConfigurationKey);
                Fill(list, round % 2 ? 300 : 200, round % 2 ? "aa" : "bbb");
                std::string cause;
                if (!CommitConfiguration(list, cause)) _exit(3);
            }
        }
        Child child(pid);
        const auto until = std::chrono::steady_clock::now() +
                           std::chrono::milliseconds(5 + static_cast<int>(random() % 150));
        while (std::chrono::steady_clock::now() < until) {
            const std::string seen = ReadBack();
            ASSERT_TRUE(seen == "aa:300" || seen == "bbb:200") << "a reader saw " << seen;
        }
        const int status = child.Kill();
        ASSERT_TRUE(WIFSIGNALED(status)) << "the committer stopped on its own: " << status;
        const std::string left = ReadBack();
        ASSERT_TRUE(left == "aa:300" || left == "bbb:200") << "kill " << kill << " left " << left;
        // No orphan keys above the stored count.
        const bool shortList = left == "bbb:200";
        EXPECT_EQ(store.KeyExists("Software\\Orvane\\Lmgrab\\Action201"), !shortList);
    }
}

TEST_F(Commit, AReadOnlyOrBusyStoreCommitsNothingAndSaysWhy) {
    TActionKeys old(kConfigurationKey);
    Fill(old, 2, "old");
    std::string cause;
    ASSERT_TRUE(CommitConfiguration(old, cause));
    const std::string before = store.Dump();
    TActionKeys next(kConfigurationKey);
    Fill(next, 1, "new");
    {
        testsupport::ReadOnlyStoreInPlace readOnly(store);
        EXPECT_FALSE(CommitConfiguration(next, cause));
        EXPECT_NE(cause.find("read-only"), std::string::npos) << cause;
    }
    EXPECT_EQ(store.Dump(), before);

    // Another process holds the store's write lock for longer than the wait.
    int toParent[2];
    ASSERT_EQ(pipe(toParent), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto hive = store.Open();
        std::unique_ptr<RegistryKey> key;
        hive->CreateKey("Software\\Holder", key);
        char c = 'h';
        if (write(toParent[1], &c, 1) != 1) _exit(4);
        sleep(30);
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(toParent[0], &c, 1), 1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(CommitConfiguration(next, cause));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_NE(cause.find("busy"), std::string::npos) << cause;
    ::kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(toParent[0]);
    close(toParent[1]);
    EXPECT_EQ(store.Dump(), before);
}

// Another program nested keys far deeper than the store allows below an
// action a shorter configuration drops: the commit removes them all, and a
// commit that never touches them does not care.
TEST_F(Commit, KeysNestedBeyondTheLimitNeitherBlockACommitNorStay) {
    TActionKeys three(kConfigurationKey);
    samples::FillSample(three, 3);
    std::string cause;
    ASSERT_TRUE(CommitConfiguration(three, cause)) << cause;
    const std::size_t before = store.KeyCount();
    store.NestBeyondTheLimit("Software\\Orvane\\Lmgrab\\Action3", 600);
    ASSERT_EQ(store.KeyCount(), before + 600);
    ASSERT_TRUE(CommitConfiguration(three, cause)) << cause;
    TActionKeys two(kConfigurationKey);
    samples::FillSample(two, 2);
    ASSERT_TRUE(CommitConfiguration(two, cause)) << cause;
    EXPECT_FALSE(store.KeyExists("Software\\Orvane\\Lmgrab\\Action3"));
    EXPECT_EQ(store.KeyCount(), before - 1);  // Action3 and all below it
}

TEST_F(Commit, SetsTheChangeEventAfterEveryAttempt) {
    std::string error;
    auto event = platform::NamedEvent::Open(kChangeEventName, error);
    ASSERT_NE(event, nullptr) << error;
    TActionKeys list(kConfigurationKey);
    Fill(list, 1, "one");
    std::string cause;
    ASSERT_TRUE(CommitConfiguration(list, cause));
    EXPECT_TRUE(event->IsSet());
    event->Reset();
    testsupport::ReadOnlyStoreInPlace readOnly(store);
    EXPECT_FALSE(CommitConfiguration(list, cause));
    EXPECT_TRUE(event->IsSet());
}

}  // namespace
