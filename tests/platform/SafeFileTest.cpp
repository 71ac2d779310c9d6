// Replacing and reading the files a user names, safely.
#include "platform/SafeFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>

#include <gtest/gtest.h>

#include "tests/support/TempStore.h"

namespace {

using platform::AtomicFileWriter;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

mode_t ModeOf(const std::string& path) {
    struct stat st = {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

std::string NamesIn(const std::string& dir) {
    std::string names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names += e.path().filename().string() + " ";
    return names;
}

std::size_t FilesIn(const std::string& dir) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir),
                                                  std::filesystem::directory_iterator{}));
}

bool Replace(const std::string& path, const std::string& bytes, std::string& error) {
    AtomicFileWriter writer(path);
    return writer.Commit(bytes, error);
}

TEST(AtomicFileWriter, KeepsPermissionsRefusesReadOnlyTargetsAndTakesAnyNameTheSystemTakes) {
    TempDir dir;
    std::string error;
    const std::string path = dir.file("private.lgp");
    WriteFile(path, "old");
    ::chmod(path.c_str(), 0600);
    ASSERT_TRUE(Replace(path, "new", error)) << error;
    EXPECT_EQ(ModeOf(path), 0600u);
    EXPECT_EQ(ReadFile(path), "new");

    ::chmod(path.c_str(), 0444);
    EXPECT_FALSE(Replace(path, "newer", error));
    EXPECT_NE(error.find("read-only"), std::string::npos) << error;
    EXPECT_EQ(ReadFile(path), "new");
    EXPECT_EQ(ModeOf(path), 0444u);

    for (std::size_t length : {249u, 255u}) {
        const std::string longName = dir.file(std::string(length - 4, 'n') + ".lgp");
        EXPECT_TRUE(Replace(longName, "x", error)) << length << ": " << error;
        EXPECT_TRUE(Replace(longName, "y", error)) << length << ": " << error;
        EXPECT_EQ(ReadFile(longName), "y");
    }
    EXPECT_EQ(FilesIn(dir.path()), 3u);  // nothing stray beside them

    // A link planted under a neighbour's name is never followed.
    WriteFile(dir.file("victim"), "precious");
    for (const char* name : {"out.reg.lgreg-tmp", "out.reg.tmp"}) {
        ::symlink(dir.file("victim").c_str(), dir.file(name).c_str());
    }
    ASSERT_TRUE(Replace(dir.file("out.reg"), "exported", error)) << error;
    EXPECT_EQ(ReadFile(dir.file("victim")), "precious");
}

TEST(AtomicFileWriter, ASaveRemovesOnlyTheLeftoversOfWritersThatNoLongerRun) {
    TempDir dir;
    const pid_t dead = fork();
    if (dead == 0) _exit(0);
    waitpid(dead, nullptr, 0);
    const std::string mine = std::to_string(getpid());
    const std::string gone = std::to_string(dead);
    for (const std::string& name : std::vector<std::string>{
             ".lgtmp-" + gone + "-aaaa", ".lgtmp-" + mine + "-bbbb", ".lgtmp-x-cccc", "keep.lgp"}) {
        WriteFile(dir.file(name), "x");
    }
    std::string error;
    ASSERT_TRUE(Replace(dir.file("p.lgp"), "new", error)) << error;
    EXPECT_FALSE(std::filesystem::exists(dir.file(".lgtmp-" + gone + "-aaaa")));
    EXPECT_EQ(FilesIn(dir.path()), 4u) << NamesIn(dir.path());  // a live writer's and the rest stay
}

// A folder that refuses new files gets the old file rewritten in place:
// the user's own regular file only, never another's, never through a link.
TEST(AtomicFileWriter, AFolderThatRefusesNewFilesGetsTheOldFileRewrittenInPlace) {
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const std::string folder = dir.file("locked");
    ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);
    const std::string path = folder + "/p.lgp";
    WriteFile(path, "a much longer old text");
    ::chmod(path.c_str(), 0666);
    // The user's own file; another user's, however writable, is not rewritten.
    const std::string others = folder + "/others.lgp";
    WriteFile(others, "not yours");
    ::chmod(others.c_str(), 0666);
    // A link another user planted under a name is never written through,
    // even to a file of the writer's own.
    const std::string bashrc = dir.file(".bashrc");
    WriteFile(bashrc, "echo hello\n");
    ASSERT_EQ(::symlink(bashrc.c_str(), (folder + "/team.lgp").c_str()), 0);
    // Run by root, the writer is another user, who owns only p.lgp and .bashrc.
    const bool twoUsers = testsupport::RunningAsRoot();
    if (twoUsers) {
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
        ASSERT_EQ(::chown(bashrc.c_str(), 65534, 65534), 0);
    }
    ::chmod(folder.c_str(), 0555);
    const int rc = testsupport::RunUnprivileged([&] {
        std::string error;
        if (!Replace(path, "short", error)) return 1;
        if (twoUsers && Replace(others, "mine now", error)) return 3;
        if (Replace(folder + "/team.lgp", "[Software]\r\n", error)) return 4;
        return Replace(folder + "/new.lgp", "x", error) ? 2 : 0;  // no old file: fails
    });
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(ReadFile(path), "short");
    if (twoUsers) {
        EXPECT_EQ(ReadFile(others), "not yours");
    }
    EXPECT_EQ(ReadFile(bashrc), "echo hello\n");
    EXPECT_EQ(FilesIn(folder), 3u);
}

TEST(AtomicFileWriter, AKilledSaveLeavesTheOldOrTheNewFileAndNothingElse) {
    TempDir dir;
    const std::string path = dir.file("p.lgp");
    const std::string oldText(300000, 'o'), newText(200000, 'n');
    WriteFile(path, oldText);
    std::mt19937 random(7);
    for (int kill = 0; kill < 40; ++kill) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int round = 0;; ++round) {
                std::string error;
                if (!Replace(path, round % 2 ? oldText : newText, error)) _exit(3);
            }
        }
        usleep(static_cast<useconds_t>(random() % 20000));
        ::kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        const std::string now = ReadFile(path);
        ASSERT_TRUE(now == oldText || now == newText) << "kill " << kill;
        // At most the name of a writer killed mid-rename, gone with the next save.
        ASSERT_LE(FilesIn(dir.path()), 2u) << "kill " << kill << " left " << NamesIn(dir.path());
        std::string error;
        ASSERT_TRUE(Replace(path, now, error)) << error;
        ASSERT_EQ(FilesIn(dir.path()), 1u) << "kill " << kill << " left " << NamesIn(dir.path());
    }
}

TEST(ReadWholeFile, RefusesWhatIsNoRegularFileAtOnceAndKeepsToItsLimit) {
    TempDir dir;
    std::string bytes, error;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(platform::ReadWholeFile(fifo, 1000, bytes, error));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_NE(error.find("FIFO"), std::string::npos) << error;
    EXPECT_FALSE(platform::IsRegularFile(fifo, error));
    EXPECT_FALSE(platform::ReadWholeFile("/dev/zero", 1000, bytes, error));
    EXPECT_NE(error.find("device"), std::string::npos) << error;
    WriteFile(dir.file("big"), std::string(1001, 'b'));
    EXPECT_FALSE(platform::ReadWholeFile(dir.file("big"), 1000, bytes, error));
    EXPECT_TRUE(platform::ReadWholeFile(dir.file("big"), 1001, bytes, error));
    EXPECT_EQ(bytes.size(), 1001u);
}

}  // namespace
