#include "capture/HelperProgram.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

// Everything a program writes on fd until it closes it.
std::string ReadAll(int fd) {
    std::string bytes;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return bytes;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

void WriteAll(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // it stopped reading; its status says why
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

bool HelperInstalled(const std::string& program) {
    const char* path = std::getenv("PATH");
    const std::string folders = path ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= folders.size();) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::string file = folders.substr(start, end - start) + "/" + program;
        if (::access(file.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

bool RunHelper(const std::vector<std::string>& argv, const std::string& input, bool keepOutput,
               std::string& output, std::string& error) {
    const std::string& program = argv.at(0);
    int in[2] = {-1, -1}, out[2] = {-1, -1}, said[2] = {-1, -1};
    const auto closeAll = [&] {
        for (int* p : {in, out, said})
            for (int i = 0; i < 2; ++i)
                if (p[i] >= 0) ::close(p[i]), p[i] = -1;
    };
    if (::pipe2(in, O_CLOEXEC) != 0 || (keepOutput && ::pipe2(out, O_CLOEXEC) != 0) ||
        (keepOutput && ::pipe2(said, O_CLOEXEC) != 0)) {
        closeAll();
        error = program + " cannot be run (no pipes left)";
        return false;
    }
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    if (keepOutput) {
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, said[1], 2);
    } else {
        // A child it leaves behind must not hold our pipes open.
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = 0;
    const int spawned =
        posix_spawnp(&pid, program.c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]), in[0] = -1;
    if (keepOutput) ::close(out[1]), ::close(said[1]), out[1] = said[1] = -1;
    if (spawned != 0) {
        closeAll();
        error = program + " cannot be run (" + std::strerror(spawned) + ")";
        return false;
    }
    // A helper that stops reading early must not end us.
    struct sigaction ignore = {};
    struct sigaction old = {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &old);
    WriteAll(in[1], input);
    ::sigaction(SIGPIPE, &old, nullptr);
    ::close(in[1]), in[1] = -1;
    std::string words;
    if (keepOutput) {
        output = ReadAll(out[0]);  // a picture fills any pipe long before a helper's few words
        words = ReadAll(said[0]);
    }
    closeAll();
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    while (!words.empty() && (words.back() == '\n' || words.back() == ' ')) words.pop_back();
    error = program + " failed" + (words.empty() ? "" : ": " + words);
    return false;
}
