#include "platform/SqliteRegistry.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/TempStore.h"

namespace {

using namespace platform;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::TempStore;
using testsupport::WriteFile;

class SqliteHiveTest : public ::testing::Test {
protected:
    std::unique_ptr<RegistryKey> Create(RegistryHive& hive, const std::string& path) {
        std::unique_ptr<RegistryKey> key;
        RegStatus s = hive.CreateKey(path, key);
        EXPECT_TRUE(s.ok()) << s.message;
        return key;
    }

    TempStore store;
};

TEST_F(SqliteHiveTest, NamesCompareWithoutCaseAndKeepTheCaseTheyWereCreatedWith) {
    auto hive = store.Open();
    auto key = Create(*hive, "Software\\Orvane\\Lmgrab");
    ASSERT_TRUE(key->SetValue("TargetDir", RegValue::String("C:\\x")).ok());
    ASSERT_TRUE(key->SetValue("TARGETDIR", RegValue::String("D:\\y")).ok());
    ASSERT_TRUE(hive->Flush().ok());

    std::unique_ptr<RegistryKey> again;
    ASSERT_TRUE(hive->OpenKey("SOFTWARE\\orvane\\LMGRAB", RegAccess::Read, again).ok());
    EXPECT_EQ(again->Path(), "Software\\Orvane\\Lmgrab");
    RegValue v;
    ASSERT_TRUE(again->QueryValue("targetdir", v).ok());
    EXPECT_EQ(v, RegValue::String("D:\\y"));
    std::vector<std::pair<std::string, RegValue>> values;
    ASSERT_TRUE(again->EnumValues(values).ok());
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].first, "TargetDir");

    // Creating an existing key under another case opens it.
    auto same = Create(*hive, "software\\ORVANE\\lmgrab\\Action1");
    EXPECT_EQ(same->Path(), "Software\\Orvane\\Lmgrab\\Action1");
}

TEST_F(SqliteHiveTest, SubkeysAndValuesComeBackInTheirOrders) {
    auto hive = store.Open();
    for (const char* name : {"Action2", "action10", "Action1", "Zeta", "alpha"}) {
        Create(*hive, std::string("Root\\") + name);
    }
    auto root = Create(*hive, "Root");
    for (const char* name : {"b", "a", "c"})
        ASSERT_TRUE(root->SetValue(name, RegValue::Dword(1)).ok());
    ASSERT_TRUE(root->SetValue("b", RegValue::Dword(2)).ok());  // rewriting keeps its place

    std::vector<std::string> names;
    ASSERT_TRUE(root->EnumSubKeys(names).ok());
    EXPECT_EQ(names, (std::vector<std::string>{"Action1", "action10", "Action2", "alpha", "Zeta"}));
    std::vector<std::pair<std::string, RegValue>> values;
    ASSERT_TRUE(root->EnumValues(values).ok());
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0].first, "b");
    EXPECT_EQ(values[0].second, RegValue::Dword(2));
    EXPECT_EQ(values[2].first, "c");
}

TEST_F(SqliteHiveTest, EveryTypeIsKeptAsTypedBytes) {
    auto hive = store.Open();
    auto key = Create(*hive, "Types");
    const std::vector<std::pair<std::string, RegValue>> cases = {
        {"sz", RegValue::String("text")},
        {"expand", RegValue::String("%HOME%", REG_EXPAND_SZ)},
        {"dword", RegValue::Dword(0xDEADBEEF)},
        {"binary", RegValue{REG_BINARY, std::string("\x00\x01\xFF", 3)}},
        {"qword", RegValue{REG_QWORD, std::string(8, '\x7F')}},
        {"odd", RegValue{0x12345, "?"}},
        {"empty", RegValue{REG_SZ, ""}},
        {"", RegValue::String("default value")},
    };
    for (const auto& [name, value] : cases) ASSERT_TRUE(key->SetValue(name, value).ok()) << name;
    ASSERT_TRUE(hive->Flush().ok());
    hive.reset();

    auto reopened = store.Open(true);
    std::unique_ptr<RegistryKey> k;
    ASSERT_TRUE(reopened->OpenKey("Types", RegAccess::Read, k).ok());
    for (const auto& [name, value] : cases) {
        RegValue got;
        ASSERT_TRUE(k->QueryValue(name, got).ok()) << name;
        EXPECT_EQ(got, value) << name;
    }
}

TEST(RegValueDecoding, StringsAndDwordsAreReadOnlyFromTheirTypes) {
    std::string text;
    std::uint32_t n = 0;
    EXPECT_TRUE(DecodeString(RegValue{REG_SZ, std::string("ab\0cd", 5)}, text));
    EXPECT_EQ(text, "ab");
    EXPECT_TRUE(DecodeString(RegValue{REG_EXPAND_SZ, "%X%"}, text));  // no terminator, no expansion
    EXPECT_EQ(text, "%X%");
    EXPECT_TRUE(DecodeString(RegValue{REG_SZ, ""}, text));
    EXPECT_EQ(text, "");
    EXPECT_FALSE(DecodeString(RegValue::Dword(1), text));
    EXPECT_FALSE(DecodeString(RegValue{REG_MULTI_SZ, std::string("a\0\0", 3)}, text));
    EXPECT_TRUE(DecodeDword(RegValue::Dword(0xFFFFFFFF), n));
    EXPECT_EQ(n, 0xFFFFFFFFu);
    EXPECT_FALSE(DecodeDword(RegValue{REG_DWORD, "abcde"}, n));
    EXPECT_FALSE(DecodeDword(RegValue{REG_DWORD, "ab"}, n));
    EXPECT_FALSE(DecodeDword(RegValue{REG_QWORD, std::string(8, '\0')}, n));
    EXPECT_FALSE(DecodeDword(RegValue::String("1"), n));
}

TEST_F(SqliteHiveTest, NameLimitsAreErrorsNeverTruncations) {
    auto hive = store.Open();
    std::unique_ptr<RegistryKey> key;
    const struct {
        std::string path;
        bool ok;
    } keys[] = {
        {std::string(255, 'k'), true},
        {std::string(256, 'k'), false},
        {std::string(255, 'k') + "\\" + std::string(255, 'j'), true},
        {"a\\\\b", false},
        {"a\\", false},
        {"\\a", false},
        {std::string("a\0b", 3), false},
        {std::string(127, 'x') + std::string(128, 'y') + "ü", false},  // 256 units
    };
    for (const auto& c : keys) {
        RegStatus s = hive->CreateKey(c.path, key);
        EXPECT_EQ(s.ok(), c.ok) << c.path.size() << ": " << s.message;
        if (!c.ok) {
            EXPECT_EQ(s.code, RegCode::InvalidName);
        }
    }
    ASSERT_TRUE(hive->CreateKey("Limits", key).ok());
    EXPECT_TRUE(key->SetValue(std::string(16383, 'v'), RegValue::Dword(1)).ok());
    RegStatus s = key->SetValue(std::string(16384, 'v'), RegValue::Dword(1));
    EXPECT_EQ(s.code, RegCode::InvalidName);
    std::vector<std::pair<std::string, RegValue>> values;
    ASSERT_TRUE(key->EnumValues(values).ok());
    EXPECT_EQ(values.size(), 1u);
}

TEST_F(SqliteHiveTest, MissingKeysAndValuesAreNotFound) {
    auto hive = store.Open();
    std::unique_ptr<RegistryKey> key;
    EXPECT_EQ(hive->OpenKey("Nope", RegAccess::Read, key).code, RegCode::NotFound);
    EXPECT_EQ(hive->DeleteKey("Nope").code, RegCode::NotFound);
    auto k = Create(*hive, "Here");
    RegValue v;
    EXPECT_EQ(k->QueryValue("missing", v).code, RegCode::NotFound);
    EXPECT_EQ(k->DeleteValue("missing").code, RegCode::NotFound);
    // The root is always there.
    ASSERT_TRUE(hive->OpenKey("", RegAccess::Read, key).ok());
    EXPECT_EQ(key->Path(), "");
}

TEST_F(SqliteHiveTest, DeleteKeyRefusesKeysWithSubkeysAndTakesValuesAlong) {
    auto hive = store.Open();
    auto child = Create(*hive, "A\\B");
    ASSERT_TRUE(child->SetValue("v", RegValue::Dword(7)).ok());
    EXPECT_EQ(hive->DeleteKey("A").code, RegCode::HasSubkeys);
    EXPECT_TRUE(hive->DeleteKey("a\\b").ok());
    EXPECT_TRUE(hive->DeleteKey("A").ok());
    EXPECT_EQ(hive->DeleteKey("").code, RegCode::AccessDenied);

    // A handle on a deleted key reports the deletion, and a key made again
    // under the same name is a new, empty key.
    RegValue v;
    EXPECT_EQ(child->QueryValue("v", v).code, RegCode::KeyDeleted);
    EXPECT_EQ(child->SetValue("v", RegValue::Dword(8)).code, RegCode::KeyDeleted);
    auto again = Create(*hive, "A\\B");
    EXPECT_EQ(again->QueryValue("v", v).code, RegCode::NotFound);
    EXPECT_EQ(child->SetValue("v", RegValue::Dword(8)).code, RegCode::KeyDeleted);
}

TEST_F(SqliteHiveTest, WritesBecomeVisibleToOthersOnlyAtFlush) {
    auto writer = store.Open();
    auto key = Create(*writer, "Pending");
    ASSERT_TRUE(key->SetValue("v", RegValue::Dword(1)).ok());
    EXPECT_FALSE(store.KeyExists("Pending"));
    ASSERT_TRUE(writer->Flush().ok());
    EXPECT_EQ(store.GetDword("Pending", "v"), 1u);

    ASSERT_TRUE(key->SetValue("v", RegValue::Dword(2)).ok());
    writer->Discard();
    EXPECT_EQ(store.GetDword("Pending", "v"), 1u);

    // Closing the hive keeps what was not flushed, as the platform does.
    ASSERT_TRUE(key->SetValue("v", RegValue::Dword(3)).ok());
    key.reset();
    writer.reset();
    EXPECT_EQ(store.GetDword("Pending", "v"), 3u);
}

TEST_F(SqliteHiveTest, AReadOnlyHiveRefusesEveryWrite) {
    store.SetDword("Key", "v", 1);
    auto hive = store.Open(true);
    EXPECT_TRUE(hive->ReadOnly());
    std::unique_ptr<RegistryKey> key;
    EXPECT_EQ(hive->OpenKey("Key", RegAccess::ReadWrite, key).code, RegCode::AccessDenied);
    EXPECT_EQ(hive->CreateKey("Other", key).code, RegCode::AccessDenied);
    EXPECT_EQ(hive->DeleteKey("Key").code, RegCode::AccessDenied);
    ASSERT_TRUE(hive->OpenKey("Key", RegAccess::Read, key).ok());
    EXPECT_EQ(key->SetValue("v", RegValue::Dword(2)).code, RegCode::AccessDenied);
    EXPECT_EQ(key->DeleteValue("v").code, RegCode::AccessDenied);
    EXPECT_EQ(store.GetDword("Key", "v"), 1u);
}

TEST(SqliteHiveFiles, TheStoreAndItsFoldersAreMadeOnFirstUse) {
    TempDir dir;
    SqliteHiveOptions options;
    options.path = dir.file("deep/er/registry.db");
    std::unique_ptr<RegistryHive> hive;
    ASSERT_TRUE(OpenSqliteHive(options, hive).ok());
    EXPECT_TRUE(std::filesystem::exists(options.path));
    EXPECT_EQ(hive->Location(), options.path);

    // An empty file holds nothing to lose and becomes a store.
    options.path = dir.file("empty.db");
    WriteFile(options.path, "");
    ASSERT_TRUE(OpenSqliteHive(options, hive).ok());
    std::unique_ptr<RegistryKey> key;
    EXPECT_TRUE(hive->CreateKey("K", key).ok());
}

TEST(SqliteHiveFiles, AMissingStoreThatCannotBeMadeReadsAsAnEmptyHive) {
    TempDir dir;
    WriteFile(dir.file("file"), "x");
    SqliteHiveOptions options;
    options.path = dir.file("file/registry.db");  // its folder is a file
    std::unique_ptr<RegistryHive> hive;
    ASSERT_TRUE(OpenSqliteHive(options, hive).ok());
    EXPECT_TRUE(hive->ReadOnly());
    std::unique_ptr<RegistryKey> key;
    EXPECT_EQ(hive->OpenKey("Software", RegAccess::Read, key).code, RegCode::NotFound);
    EXPECT_EQ(hive->CreateKey("Software", key).code, RegCode::AccessDenied);
}

TEST(SqliteHiveFiles, AFileThatIsNotAStoreIsNeverTouched) {
    TempDir dir;
    const std::string garbage = dir.file("garbage.db");
    std::string junk = "This is my diary, not a database.\n";
    for (int i = 0; i < 200; ++i) junk += static_cast<char>(i * 37);
    WriteFile(garbage, junk);
    auto garbageLeftAlone = [&] {
        EXPECT_EQ(ReadFile(garbage), junk);
        EXPECT_FALSE(std::filesystem::exists(garbage + "-wal"));
        EXPECT_FALSE(std::filesystem::exists(garbage + "-journal"));
    };

    // A real SQLite database of some other program.
    const std::string foreign = dir.file("foreign.db");
    {
        SqliteHiveOptions o;
        o.path = dir.file("scratch.db");
        std::unique_ptr<RegistryHive> h;
        ASSERT_TRUE(OpenSqliteHive(o, h).ok());
    }
    std::string db = ReadFile(dir.file("scratch.db"));
    ASSERT_GT(db.size(), 100u);
    for (int i = 68; i < 72; ++i) db[i] = 0x11;  // another application id
    WriteFile(foreign, db);

    std::filesystem::create_directory(dir.file("folder.db"));

    for (const std::string& path : {garbage, foreign, dir.file("folder.db")}) {
        const std::string before = std::filesystem::is_directory(path) ? "" : ReadFile(path);
        for (bool readOnly : {false, true}) {
            SqliteHiveOptions options;
            options.path = path;
            options.readOnly = readOnly;
            std::unique_ptr<RegistryHive> hive;
            RegStatus s = OpenSqliteHive(options, hive);
            EXPECT_EQ(s.code, RegCode::StoreError) << path;
            EXPECT_NE(s.message.find(path), std::string::npos) << s.message;
            EXPECT_EQ(hive, nullptr);
        }
        if (!std::filesystem::is_directory(path)) {
            EXPECT_EQ(ReadFile(path), before) << path;
        }
    }
    garbageLeftAlone();
}

TEST(SqliteHiveFiles, AStoreWithADamagedBodyFailsAndKeepsItsBytes) {
    TempDir dir;
    SqliteHiveOptions options;
    options.path = dir.file("registry.db");
    {
        std::unique_ptr<RegistryHive> hive;
        ASSERT_TRUE(OpenSqliteHive(options, hive).ok());
        std::unique_ptr<RegistryKey> key;
        ASSERT_TRUE(hive->CreateKey("Software\\Orvane\\Lmgrab", key).ok());
        for (int i = 0; i < 500; ++i) {
            ASSERT_TRUE(
                key->SetValue("v" + std::to_string(i), RegValue::String(std::string(40, 'x')))
                    .ok());
        }
        ASSERT_TRUE(hive->Flush().ok());
    }
    std::string bytes = ReadFile(options.path);
    ASSERT_GT(bytes.size(), 8192u);
    for (std::size_t i = 4096; i < bytes.size(); ++i) bytes[i] = static_cast<char>(0xA5);
    WriteFile(options.path, bytes);

    std::unique_ptr<RegistryHive> hive;
    RegStatus s = OpenSqliteHive(options, hive);
    if (s.ok()) {
        std::unique_ptr<RegistryKey> key;
        s = hive->OpenKey("Software\\Orvane\\Lmgrab", RegAccess::Read, key);
        if (s.ok()) {
            RegValue v;
            s = key->QueryValue("v1", v);
        }
        if (s.ok()) s = hive->CreateKey("Another", key);
        hive.reset();
    }
    EXPECT_EQ(s.code, RegCode::StoreError);
    EXPECT_NE(s.message.find(options.path), std::string::npos) << s.message;
    EXPECT_EQ(ReadFile(options.path), bytes);
}

TEST(DefaultStorePath, FollowsTheEnvironment) {
    struct Env {
        const char* name;
        std::string saved;
        bool had;
    } env[] = {
        {"LUMAGRABBER_REGISTRY", "", false}, {"XDG_CONFIG_HOME", "", false}, {"HOME", "", false}};
    for (auto& e : env) {
        if (const char* v = std::getenv(e.name)) e.saved = v, e.had = true;
    }
    ::unsetenv("LUMAGRABBER_REGISTRY");
    ::setenv("XDG_CONFIG_HOME", "/xdg", 1);
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(DefaultStorePath(), "/xdg/lumagrabber/registry.db");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);  // only absolute paths count
    EXPECT_EQ(DefaultStorePath(), "/home/u/.config/lumagrabber/registry.db");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(DefaultStorePath(), "/home/u/.config/lumagrabber/registry.db");
    ::setenv("LUMAGRABBER_REGISTRY", "/tmp/mine.db", 1);
    EXPECT_EQ(DefaultStorePath(), "/tmp/mine.db");
    for (auto& e : env) {
        if (e.had) {
            ::setenv(e.name, e.saved.c_str(), 1);
        } else {
            ::unsetenv(e.name);
        }
    }
}

}  // namespace

namespace {

using namespace platform;

mode_t ModeOf(const std::string& path) {
    struct stat st = {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(SqliteHivePrivacy, TheFolderTheStoreAndItsJournalsAreTheUsersAloneWhateverTheUmask) {
    testsupport::TempDir dir;
    const std::string folder = dir.file("config/lumagrabber");
    const mode_t mask = ::umask(0);
    SqliteHiveOptions o;
    o.path = folder + "/registry.db";
    std::unique_ptr<RegistryHive> hive;
    ASSERT_TRUE(OpenSqliteHive(o, hive).ok());
    std::unique_ptr<RegistryKey> key;
    ASSERT_TRUE(hive->CreateKey("Software", key).ok());
    ASSERT_TRUE(key->SetValue("v", RegValue::Dword(1)).ok());
    ASSERT_TRUE(hive->Flush().ok());
    ::umask(mask);
    EXPECT_EQ(ModeOf(folder), 0700u);
    for (const char* suffix : {"", "-wal", "-shm"}) {
        EXPECT_EQ(ModeOf(o.path + suffix), 0600u) << suffix;
    }
    key.reset();
    hive.reset();

    // A store an older version left open to others is narrowed when opened.
    ::chmod(folder.c_str(), 0755);
    ::chmod(o.path.c_str(), 0644);
    ASSERT_TRUE(OpenSqliteHive(o, hive).ok());
    EXPECT_EQ(ModeOf(folder), 0700u);
    EXPECT_EQ(ModeOf(o.path), 0600u);
}

TEST(SqliteHiveReadOnly, AStoreInAReadOnlyFileOrFolderLoadsAndRefusesWritesSayingSo) {
    testsupport::TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const std::string folder = dir.file("ro");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    SqliteHiveOptions o;
    o.path = folder + "/registry.db";
    {
        std::unique_ptr<RegistryHive> hive;
        ASSERT_TRUE(OpenSqliteHive(o, hive).ok());
        std::unique_ptr<RegistryKey> key;
        ASSERT_TRUE(hive->CreateKey("Software\\Kept", key).ok());
        ASSERT_TRUE(key->SetValue("v", RegValue::Dword(7)).ok());
        ASSERT_TRUE(hive->Flush().ok());
    }
    // The store belongs to another user, as a file the user may only read.
    ASSERT_EQ(::chown(o.path.c_str(), 0, 0), testsupport::RunningAsRoot() ? 0 : -1);
    auto readAndTryToWrite = [&] {
        std::unique_ptr<RegistryHive> hive;
        RegStatus s = OpenSqliteHive(o, hive);
        if (!s.ok()) return 10;
        if (!hive->ReadOnly()) return 11;
        std::unique_ptr<RegistryKey> key;
        RegValue v;
        if (!hive->OpenKey("Software\\Kept", RegAccess::Read, key).ok()) return 12;
        if (!key->QueryValue("v", v).ok() || v != RegValue::Dword(7)) return 13;
        key.reset();
        s = hive->CreateKey("Software\\New", key);
        if (s.code != RegCode::AccessDenied || s.message.find("read") == std::string::npos)
            return 14;
        return 0;
    };
    ::chmod(o.path.c_str(), 0644);
    EXPECT_EQ(testsupport::RunUnprivileged(readAndTryToWrite), 0) << "read-only file";
    ::chmod(o.path.c_str(), 0666);
    ::chmod(folder.c_str(), 0555);
    EXPECT_EQ(testsupport::RunUnprivileged(readAndTryToWrite), 0) << "read-only folder";
    ::chmod(folder.c_str(), 0755);
}

// A store read while its file was read-only leaves journal files of that
// mode; made writable again, the store is writable again.
TEST(SqliteHiveReadOnly, AStoreMadeWritableAgainIsWritable) {
    testsupport::TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const std::string folder = dir.file("mine");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    if (testsupport::RunningAsRoot()) {
        ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
    }
    SqliteHiveOptions o;
    o.path = folder + "/registry.db";
    const auto write = [&](const char* name) {
        std::unique_ptr<RegistryHive> hive;
        if (!OpenSqliteHive(o, hive).ok() || hive->ReadOnly()) return false;
        std::unique_ptr<RegistryKey> key;
        return hive->CreateKey("Software\\Kept", key).ok() &&
               key->SetValue(name, RegValue::Dword(1)).ok() && hive->Flush().ok();
    };
    const int rc = testsupport::RunUnprivileged([&] {
        if (!write("before")) return 1;
        ::chmod(o.path.c_str(), 0400);
        {
            std::unique_ptr<RegistryHive> hive;
            std::unique_ptr<RegistryKey> key;
            RegValue v;
            if (!OpenSqliteHive(o, hive).ok() || !hive->ReadOnly()) return 2;
            if (!hive->OpenKey("Software\\Kept", RegAccess::Read, key).ok() ||
                !key->QueryValue("before", v).ok())
                return 3;
        }
        ::chmod(o.path.c_str(), 0600);
        return write("after") ? 0 : 4;
    });
    EXPECT_EQ(rc, 0);
}

// On a file system with a few KiB left, writes fail saying the disk is
// full (not "disk I/O error"), and the store keeps its last commit.
TEST(SqliteHiveFullDisk, AFullDiskIsNamedAndTheLastCommitStays) {
    if (!testsupport::RunningAsRoot()) GTEST_SKIP() << "a small file system is mounted as root";
    TempDir dir;
    const pid_t child = fork();
    if (child == 0) {
        // A private mount, gone with the child.
        if (unshare(CLONE_NEWNS) != 0 ||
            mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
            mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=192k") != 0)
            _exit(77);
        SqliteHiveOptions o;
        o.path = dir.file("registry.db");
        std::unique_ptr<RegistryHive> hive;
        std::unique_ptr<RegistryKey> key;
        if (!OpenSqliteHive(o, hive).ok() || !hive->CreateKey("Software\\Kept", key).ok() ||
            !key->SetValue("kept", RegValue::Dword(7)).ok() || !hive->Flush().ok())
            _exit(2);
        key.reset();
        hive.reset();
        // The disk filled by another file, all but 8 KiB.
        const std::string filler = dir.file("filler");
        const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT, 0600);
        const std::string block(4096, 'f');
        off_t size = 0;
        while (::write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size()))
            size += 4096;
        if (::ftruncate(fd, size > 8192 ? size - 8192 : 0) != 0) _exit(6);
        ::close(fd);
        RegValue big;
        big.type = REG_BINARY;
        big.data.assign(8192, 'b');
        RegStatus s = OpenSqliteHive(o, hive);
        if (s.ok()) s = hive->CreateKey("Software\\Kept", key);
        for (int i = 0; i < 100 && s.ok(); ++i) {
            s = key->SetValue("v" + std::to_string(i), big);
            if (s.ok()) s = hive->Flush();
        }
        if (s.ok()) _exit(3);
        if (s.message.find("the disk is full") == std::string::npos) {
            std::fprintf(stderr, "said: %s\n", s.message.c_str());
            _exit(4);
        }
        key.reset();
        hive.reset();
        ::unlink(filler.c_str());
        RegValue v;
        if (!OpenSqliteHive(o, hive).ok() ||
            !hive->OpenKey("Software\\Kept", RegAccess::Read, key).ok() ||
            !key->QueryValue("kept", v).ok() || v != RegValue::Dword(7))
            _exit(5);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) GTEST_SKIP() << "no tmpfs could be mounted";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child ended with " << status;
}

TEST(SqliteHiveLimits, KeysNestDeeperThan512LevelsAreRefusedWithAClearError) {
    TempStore store;
    auto hive = store.Open();
    std::string path = "Software";
    for (int depth = 2; depth <= 512; ++depth) path += "\\k";
    std::unique_ptr<RegistryKey> key;
    ASSERT_TRUE(hive->CreateKey(path, key).ok());
    key.reset();
    RegStatus s = hive->CreateKey(path + "\\deeper", key);
    EXPECT_EQ(s.code, RegCode::InvalidName);
    EXPECT_NE(s.message.find("512 levels"), std::string::npos) << s.message;
    std::vector<std::string> paths;
    ASSERT_TRUE(ListKeyTree(*hive, "Software", paths).ok());
    EXPECT_EQ(paths.size(), 512u);
    EXPECT_EQ(paths.back(), path);
}

TEST(SqliteHiveTransaction, FlushesInsideATransactionReachTheStoreOnlyWithItsCommit) {
    TempStore store;
    store.SetDword("Software\\T", "v", 1);
    {
        RegistryTransaction t;
        ASSERT_TRUE(t.Begin().ok());
        std::unique_ptr<RegistryHive> joined;
        ASSERT_TRUE(OpenCurrentUserHive(joined).ok());
        std::unique_ptr<RegistryKey> key;
        ASSERT_TRUE(joined->CreateKey("Software\\T", key).ok());
        ASSERT_TRUE(key->SetValue("v", RegValue::Dword(2)).ok());
        ASSERT_TRUE(joined->Flush().ok());
        ASSERT_TRUE(key->SetValue("w", RegValue::Dword(3)).ok());
        joined->Discard();  // drops w only
        RegValue v;
        ASSERT_TRUE(key->QueryValue("v", v).ok());
        EXPECT_EQ(v, RegValue::Dword(2));
        EXPECT_FALSE(key->QueryValue("w", v).ok());
        key.reset();
        // Not committed: destroyed with the transaction.
    }
    EXPECT_EQ(store.GetDword("Software\\T", "v"), 1u);
    {
        RegistryTransaction t;
        ASSERT_TRUE(t.Begin().ok());
        std::unique_ptr<RegistryHive> joined;
        ASSERT_TRUE(OpenCurrentUserHive(joined).ok());
        std::unique_ptr<RegistryKey> key;
        ASSERT_TRUE(joined->OpenKey("Software\\T", RegAccess::ReadWrite, key).ok());
        ASSERT_TRUE(key->SetValue("v", RegValue::Dword(4)).ok());
        // A refused write fails the whole, though the caller went on.
        EXPECT_FALSE(key->SetValue(std::string(20000, 'n'), RegValue::Dword(1)).ok());
        ASSERT_TRUE(joined->Flush().ok());
        key.reset();
        EXPECT_EQ(t.Commit().code, RegCode::InvalidName);
    }
    EXPECT_EQ(store.GetDword("Software\\T", "v"), 1u);
}

TEST(SqliteHiveTransaction, AReadTransactionSeesOneSnapshotAcrossKeysOpenedAndClosed) {
    TempStore store;
    store.SetDword("Software\\S", "Count", 1);
    auto read = [](RegistryHive& hive) {
        std::unique_ptr<RegistryKey> key;
        RegValue v;
        std::uint32_t n = 0;
        if (!hive.OpenKey("Software\\S", RegAccess::Read, key).ok() ||
            !key->QueryValue("Count", v).ok() || !DecodeDword(v, n)) {
            return 0u;
        }
        return n;
    };
    RegistryTransaction snapshot(TransactionKind::Read);
    ASSERT_TRUE(snapshot.Begin().ok());
    std::unique_ptr<RegistryHive> joined;
    ASSERT_TRUE(OpenCurrentUserHive(joined).ok());
    EXPECT_EQ(read(*joined), 1u);               // the key is closed again here
    store.SetDword("Software\\S", "Count", 2);  // another connection commits
    EXPECT_EQ(read(*joined), 1u);
    joined.reset();
    ASSERT_TRUE(snapshot.Commit().ok());
    std::unique_ptr<RegistryHive> fresh;
    ASSERT_TRUE(OpenCurrentUserHive(fresh).ok());
    EXPECT_EQ(read(*fresh), 2u);
}

}  // namespace
