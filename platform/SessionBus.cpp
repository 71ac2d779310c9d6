#include "platform/SessionBus.h"

#include "platform/Deadline.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {

namespace {

// A path no socket can have: below a file.
constexpr const char* kNoBus = "unix:path=/dev/null/no-session-bus";
constexpr int kAnswerMs = 500;

// The socket of the bus's first address: "unix:path=P" or "unix:abstract=N"
// (among other keys); false for addresses of other kinds.
bool SocketOf(const std::string& address, sockaddr_un& where, socklen_t& length) {
    const std::string first = address.substr(0, address.find(';'));
    if (first.rfind("unix:", 0) != 0) return false;
    std::string path;
    bool abstract = false;
    std::size_t at = 5;
    while (at < first.size()) {
        const std::size_t end = std::min(first.find(',', at), first.size());
        const std::string pair = first.substr(at, end - at);
        if (pair.rfind("path=", 0) == 0) path = pair.substr(5);
        if (pair.rfind("abstract=", 0) == 0) path = pair.substr(9), abstract = true;
        at = end + 1;
    }
    if (path.empty() || path.size() + 1 >= sizeof where.sun_path) return false;
    where = {};
    where.sun_family = AF_UNIX;
    std::memcpy(where.sun_path + (abstract ? 1 : 0), path.data(), path.size());
    length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + (abstract ? 1 : 0));
    return true;
}

}  // namespace

bool SessionBusRuns() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address) return std::string(address) != kNoBus;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st = {};
    return runtime && *runtime && ::stat((std::string(runtime) + "/bus").c_str(), &st) == 0 &&
           S_ISSOCK(st.st_mode);
}

bool SessionBusAnswers(int timeoutMs) {
    const char* set = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string address = set && *set ? set
                                : runtime   ? "unix:path=" + std::string(runtime) + "/bus"
                                            : "";
    sockaddr_un where{};
    socklen_t length = 0;
    if (!SocketOf(address, where, length)) return true;  // not ours to judge
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    // Any answer to the first line of the bus's handshake will do: a NUL
    // byte, then AUTH EXTERNAL with the user's number in hex digits.
    std::string line("\0AUTH EXTERNAL ", 15);
    for (char c : std::to_string(::geteuid())) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(c));
        line += hex;
    }
    line += "\r\n";
    bool answered = false;
    const auto deadline = DeadlineIn(timeoutMs);
    const auto left = [&] { return MillisecondsLeft(deadline); };
    bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&where), length) == 0;
    if (!connected && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        connected = ::poll(&p, 1, left()) == 1 && (p.revents & POLLOUT);
    }
    if (connected &&
        ::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size())) {
        pollfd p{fd, POLLIN, 0};
        char reply[64];
        answered = ::poll(&p, 1, left()) == 1 && ::recv(fd, reply, sizeof reply, 0) > 0;
    }
    ::close(fd);
    return answered;
}

void KeepFromStartingSessionBus() {
    if (!SessionBusRuns()) {
        ::setenv("DBUS_SESSION_BUS_ADDRESS", kNoBus, 1);
    } else if (!SessionBusAnswers(kAnswerMs)) {
        // Every call on it would wait its full time-out, on the way to a
        // capture or out of the program: better no bus at all.
        std::fprintf(stderr,
                     "lumagrabber: the session bus does not answer; desktop notifications and the "
                     "tray's bus are not used\n");
        ::setenv("DBUS_SESSION_BUS_ADDRESS", kNoBus, 1);
    }
}

}  // namespace platform
