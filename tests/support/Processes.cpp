#include "tests/support/Processes.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace testsupport {

using namespace std::chrono_literals;

namespace {

// In a child: stdin and stdout from and to /dev/null, then the program.
[[noreturn]] void Exec(const std::string& program, std::vector<std::string>& args) {
    freopen("/dev/null", "r", stdin);
    freopen("/dev/null", "w", stdout);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

}  // namespace

std::string Bin(const char* name) {
    const char* dir = std::getenv("LG_TEST_BIN_DIR");
    return std::string(dir ? dir : ".") + "/" + name;
}

pid_t Spawn(const std::string& program, std::vector<std::string> args) {
    const pid_t pid = fork();
    if (pid == 0) Exec(program, args);
    return pid;
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
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], 2);
        close(pipeFds[0]);
        Exec(program, args);
    }
    close(pipeFds[1]);
    err.clear();
    char buf[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buf, sizeof buf)) > 0) err.append(buf, static_cast<std::size_t>(n));
    close(pipeFds[0]);
    return WaitFor(pid, 20s);
}

bool WaitUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 1000; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

}  // namespace testsupport
