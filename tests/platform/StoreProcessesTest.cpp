// The store shared by several processes: a writer killed at any moment, a
// reader beside a writer, and a writer kept waiting.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>

#include <gtest/gtest.h>

#include "platform/SqliteRegistry.h"
#include "tests/support/TempStore.h"

namespace {

using namespace platform;
using testsupport::TempStore;

std::unique_ptr<RegistryHive> OpenStore(const std::string& path, int busyTimeoutMs = 2000) {
    SqliteHiveOptions o;
    o.path = path;
    o.busyTimeoutMs = busyTimeoutMs;
    std::unique_ptr<RegistryHive> hive;
    if (!OpenSqliteHive(o, hive).ok()) return nullptr;
    return hive;
}

// One "save": twenty values under one of several keys, all with the same
// number, and the number again in a summary key, flushed together.
bool WriteRound(RegistryHive& hive, std::uint32_t round) {
    std::unique_ptr<RegistryKey> key;
    if (!hive.CreateKey("Software\\Torn\\Action" + std::to_string(round % 7), key).ok())
        return false;
    for (int v = 0; v < 20; ++v) {
        if (!key->SetValue("v" + std::to_string(v), RegValue::Dword(round)).ok()) return false;
    }
    if (!hive.CreateKey("Software\\Torn", key).ok()) return false;
    if (!key->SetValue("Last", RegValue::Dword(round)).ok()) return false;
    return hive.Flush().ok();
}

// Rounds of later writers count on from those of earlier ones.
[[noreturn]] void WriteForever(const std::string& path, std::uint32_t firstRound) {
    auto hive = OpenStore(path);
    for (std::uint32_t round = firstRound; hive; ++round) {
        if (!WriteRound(*hive, round)) _exit(3);
    }
    _exit(2);
}

// Reads what a killed writer left: every key whole, and no round newer than
// the summary says.
void ExpectWhole(const std::string& path) {
    auto hive = OpenStore(path);
    ASSERT_NE(hive, nullptr);
    std::unique_ptr<RegistryKey> torn;
    if (!hive->OpenKey("Software\\Torn", RegAccess::Read, torn).ok())
        return;  // killed before the first flush
    RegValue v;
    std::uint32_t last = 0;
    ASSERT_TRUE(torn->QueryValue("Last", v).ok());
    ASSERT_TRUE(DecodeDword(v, last));
    std::vector<std::string> names;
    ASSERT_TRUE(torn->EnumSubKeys(names).ok());
    for (const std::string& name : names) {
        std::unique_ptr<RegistryKey> key;
        ASSERT_TRUE(hive->OpenKey("Software\\Torn\\" + name, RegAccess::Read, key).ok());
        std::vector<std::pair<std::string, RegValue>> values;
        ASSERT_TRUE(key->EnumValues(values).ok());
        ASSERT_EQ(values.size(), 20u) << name;
        for (const auto& entry : values) {
            EXPECT_EQ(entry.second, values[0].second) << name << " is torn";
        }
        std::uint32_t round = 0;
        ASSERT_TRUE(DecodeDword(values[0].second, round));
        EXPECT_LE(round, last);
        EXPECT_EQ(round % 7, static_cast<std::uint32_t>(name.back() - '0'));
    }
}

TEST(StoreProcesses, AWriterKilledAtAnyMomentLeavesEachFlushWholeOrAbsent) {
    TempStore store;
    std::mt19937 random(20261208);
    for (int attempt = 0; attempt < 12; ++attempt) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            WriteForever(store.path(), static_cast<std::uint32_t>(attempt) * 1000000 + 1);
        // The first kills fall into the store's creation, later ones into saves.
        const int micros = attempt < 3 ? attempt * 300 : 2000 + static_cast<int>(random() % 40000);
        usleep(static_cast<useconds_t>(micros));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped on its own: " << status;
        ExpectWhole(store.path());
    }
}

TEST(StoreProcesses, AReaderIsNotHeldUpByAWriterAndAWriterWaitsABoundedTime) {
    TempStore store;
    store.SetDword("Shared", "v", 1);
    int toParent[2], toChild[2];
    ASSERT_EQ(pipe(toParent), 0);
    ASSERT_EQ(pipe(toChild), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto hive = OpenStore(store.path());
        std::unique_ptr<RegistryKey> key;
        const bool ok = hive && hive->CreateKey("Shared", key).ok() &&
                        key->SetValue("v", RegValue::Dword(2)).ok();
        char c = ok ? 'w' : 'e';
        if (write(toParent[1], &c, 1) != 1) _exit(4);
        if (read(toChild[0], &c, 1) != 1) _exit(5);  // hold the store until told
        _exit(hive->Flush().ok() ? 0 : 6);
    }
    char c = 0;
    ASSERT_EQ(read(toParent[0], &c, 1), 1);
    ASSERT_EQ(c, 'w');

    // The capture tool's side: it reads the last flushed state at once.
    auto reader = OpenStore(store.path(), 100);
    ASSERT_NE(reader, nullptr);
    std::unique_ptr<RegistryKey> key;
    ASSERT_TRUE(reader->OpenKey("Shared", RegAccess::Read, key).ok());
    RegValue v;
    ASSERT_TRUE(key->QueryValue("v", v).ok());
    EXPECT_EQ(v, RegValue::Dword(1));

    // A second writer waits for the first, then gives up with an error.
    auto writer = OpenStore(store.path(), 300);
    ASSERT_NE(writer, nullptr);
    std::unique_ptr<RegistryKey> wkey;
    ASSERT_TRUE(writer->OpenKey("Shared", RegAccess::ReadWrite, wkey).ok());
    const auto start = std::chrono::steady_clock::now();
    RegStatus s = wkey->SetValue("v", RegValue::Dword(3));
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(s.code, RegCode::Busy) << s.message;
    EXPECT_NE(s.message.find(store.path()), std::string::npos);
    EXPECT_GE(waited, std::chrono::milliseconds(250));
    EXPECT_LT(waited, std::chrono::seconds(10));

    c = 'g';
    ASSERT_EQ(write(toChild[1], &c, 1), 1);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // An open handle keeps its snapshot; opened anew, it sees the flush.
    ASSERT_TRUE(key->QueryValue("v", v).ok());
    EXPECT_EQ(v, RegValue::Dword(1));
    key.reset();
    ASSERT_TRUE(reader->OpenKey("Shared", RegAccess::Read, key).ok());
    ASSERT_TRUE(key->QueryValue("v", v).ok());
    EXPECT_EQ(v, RegValue::Dword(2));
    key.reset();

    // With the store free again the waiting writer gets through.
    EXPECT_TRUE(wkey->SetValue("v", RegValue::Dword(3)).ok());
    EXPECT_TRUE(writer->Flush().ok());
    EXPECT_EQ(store.GetDword("Shared", "v"), 3u);
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) close(fd);
}

TEST(StoreProcesses, TwoWritersTakeTurnsWithoutLosingAFlush) {
    TempStore store;
    store.CreateKey("Software");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    auto writeMany = [&](const std::string& name) {
        auto hive = OpenStore(store.path(), 5000);
        if (!hive) return false;
        for (std::uint32_t i = 1; i <= 150; ++i) {
            std::unique_ptr<RegistryKey> key;
            if (!hive->CreateKey("Software\\" + name, key).ok()) return false;
            if (!key->SetValue("n", RegValue::Dword(i)).ok()) return false;
            if (!key->SetValue("copy", RegValue::Dword(i)).ok()) return false;
            if (!hive->Flush().ok()) return false;
        }
        return true;
    };
    if (child == 0) _exit(writeMany("Child") ? 0 : 1);
    const bool parentOk = writeMany("Parent");
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(parentOk);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    for (const char* name : {"Software\\Child", "Software\\Parent"}) {
        EXPECT_EQ(store.GetDword(name, "n"), 150u);
        EXPECT_EQ(store.GetDword(name, "copy"), 150u);
    }
}

}  // namespace

namespace {

// As lgreg add does it: open the store, make a key, write, flush, close.
bool AddOnce(const std::string& path, const std::string& key, const std::string& name,
             std::uint32_t value) {
    SqliteHiveOptions o;
    o.path = path;
    std::unique_ptr<RegistryHive> hive;
    if (!OpenSqliteHive(o, hive).ok()) return false;
    std::unique_ptr<RegistryKey> k;
    return hive->CreateKey(key, k).ok() && k->SetValue(name, RegValue::Dword(value)).ok() &&
           hive->Flush().ok();
}

// As the capture tool does it: open, read a key's values, close.
bool ReadOnce(const std::string& path) {
    SqliteHiveOptions o;
    o.path = path;
    std::unique_ptr<RegistryHive> hive;
    if (!OpenSqliteHive(o, hive).ok()) return false;
    std::unique_ptr<RegistryKey> k;
    const RegStatus s = hive->OpenKey("Software\\Same\\Key", RegAccess::Read, k);
    if (s.code == RegCode::NotFound) return true;
    std::vector<std::pair<std::string, RegValue>> values;
    return s.ok() && k->EnumValues(values).ok();
}

TEST(StoreProcesses, EightWritersAndTwoReadersOnANewStoreNeitherFailNorLoseAWrite) {
    testsupport::TempDir dir;
    // The store does not exist yet: the first writers race to create it.
    const std::string path = dir.file("contended/registry.db");
    constexpr int kWriters = 8, kReaders = 2, kWrites = 40;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters + kReaders; ++w) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            int failures = 0;
            for (int i = 0; i < kWrites; ++i) {
                const bool ok = w < kWriters
                                    ? AddOnce(path, "Software\\Same\\Key",
                                              "w" + std::to_string(w) + "." + std::to_string(i),
                                              static_cast<std::uint32_t>(i))
                                    : ReadOnce(path);
                if (!ok) ++failures;
            }
            _exit(failures > 100 ? 100 : failures);
        }
        children.push_back(child);
    }
    for (std::size_t c = 0; c < children.size(); ++c) {
        int status = 0;
        waitpid(children[c], &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "process " << c << " had failures";
    }
    SqliteHiveOptions o;
    o.path = path;
    std::unique_ptr<RegistryHive> hive;
    ASSERT_TRUE(OpenSqliteHive(o, hive).ok());
    std::unique_ptr<RegistryKey> key;
    ASSERT_TRUE(hive->OpenKey("Software\\Same\\Key", RegAccess::Read, key).ok());
    std::vector<std::pair<std::string, RegValue>> values;
    ASSERT_TRUE(key->EnumValues(values).ok());
    EXPECT_EQ(values.size(), static_cast<std::size_t>(kWriters * kWrites));
}

}  // namespace
