#include "tests/support/Processes.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

namespace testsupport {

using namespace std::chrono_literals;

namespace {

// In a child: stdin from /dev/null, stdout to /dev/null unless it is the
// stream being read, then the program (found on PATH when not a path).
[[noreturn]] void Exec(const std::string& program, std::vector<std::string>& args) {
    freopen("/dev/null", "r", stdin);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execvp(program.c_str(), argv.data());
    _exit(127);
}

// Runs a program to its end (20 s at most): its exit code, with what it
// wrote to its descriptor fd (1 or 2); the other output stream is dropped.
int RunReading(const std::string& program, std::vector<std::string> args, int fd,
               std::string& text) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        freopen("/dev/null", "w", fd == 1 ? stderr : stdout);
        dup2(pipeFds[1], fd);
        close(pipeFds[0]);
        Exec(program, args);
    }
    close(pipeFds[1]);
    text.clear();
    char buf[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buf, sizeof buf)) > 0)
        text.append(buf, static_cast<std::size_t>(n));
    close(pipeFds[0]);
    return WaitFor(pid, 20s);
}

}  // namespace

std::string Bin(const char* name) {
    const char* dir = std::getenv("LG_TEST_BIN_DIR");
    return std::string(dir ? dir : ".") + "/" + name;
}

pid_t Spawn(const std::string& program, std::vector<std::string> args) {
    const pid_t pid = fork();
    if (pid == 0) {
        freopen("/dev/null", "w", stdout);
        Exec(program, args);
    }
    return pid;
}

pid_t SpawnLogged(const std::string& program, std::vector<std::string> args,
                  const std::string& outFile, const std::string& errFile) {
    const pid_t pid = fork();
    if (pid == 0) {
        freopen(outFile.c_str(), "a", stdout);
        freopen(errFile.c_str(), "a", stderr);
        Exec(program, args);
    }
    return pid;
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int WaitFor(pid_t pid, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(10ms);
    }
    return -1;
}

int RunCapturing(const std::string& program, std::vector<std::string> args, std::string& err) {
    return RunReading(program, std::move(args), 2, err);
}

int RunForOutput(const std::string& program, std::vector<std::string> args, std::string& out) {
    return RunReading(program, std::move(args), 1, out);
}

bool WaitUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 1000; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

}  // namespace testsupport
