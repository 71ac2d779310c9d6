#include "capture/ToolRequests.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/NamedObjects.h"
#include "platform/Numbers.h"
#include "platform/SqliteRegistry.h"
#include "platform/SystemError.h"

namespace {

constexpr const char* kSocketName = "lmgrab.socket";
constexpr int kAnswerAtOnceMs = 2000;  // a tool that takes longer to say "working" is stuck
constexpr std::size_t kLongestLine = 8192;

struct VerbName {
    RequestVerb verb;
    const char* name;
};
constexpr VerbName kVerbs[] = {{RequestVerb::Capture, "capture"}, {RequestVerb::Press, "press"}};

struct KindName {
    ToolReply::Kind kind;
    const char* name;
};
constexpr KindName kKinds[] = {{ToolReply::Kind::Working, "working"},
                               {ToolReply::Kind::Done, "done"},
                               {ToolReply::Kind::Failed, "failed"},
                               {ToolReply::Kind::Declined, "declined"}};

// Tabs, line ends and "%" never appear in a field as they are.
std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        out += byte < 0x20 || c == '%' || byte == 0x7f ? platform::PercentEscaped(byte)
                                                       : std::string(1, c);
    }
    return out;
}

// The line's fields, without its end.
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields(1);
    for (const char c : line) {
        if (c == '\t') {
            fields.emplace_back();
        } else if (c != '\n') {
            fields.back() += c;
        }
    }
    return fields;
}

bool SocketAddress(sockaddr_un& address, std::string& error) {
    std::string folder;
    if (!platform::NamedObjectDirectory(folder, error)) return false;
    const std::string path = folder + "/" + kSocketName;
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        error = "the folder '" + folder + "' has too long a name for the tool's socket";
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// One line from fd within timeoutMs (-1: no limit); false at its end or
// when the time is up.
bool ReadLine(int fd, std::string& pending, std::string& line, int timeoutMs) {
    for (;;) {
        if (const std::size_t end = pending.find('\n'); end != std::string::npos) {
            line = pending.substr(0, end + 1);
            pending.erase(0, end + 1);
            return true;
        }
        if (pending.size() > kLongestLine) return false;
        pollfd wait{fd, POLLIN, 0};
        const int ready = ::poll(&wait, 1, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        char buffer[1024];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        pending.append(buffer, static_cast<std::size_t>(n));
    }
}

}  // namespace

bool TakeRequestLine(int fd, std::string& pending, std::string& line) {
    char buffer[1024];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        pending.append(buffer, static_cast<std::size_t>(n));
    const std::size_t end = pending.find('\n');
    const bool gone = n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR);
    if (end == std::string::npos && !gone && pending.size() <= kLongestLine) return false;
    line = end == std::string::npos ? "" : pending.substr(0, end + 1);
    return true;
}

std::string SessionIdentity() {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return std::string(display ? display : "") + "\n" + (wayland ? wayland : "") + "\n" +
           platform::DefaultStorePath();
}

std::string FormatRequest(const ToolRequest& request) {
    std::string verb;
    for (const VerbName& v : kVerbs) {
        if (v.verb == request.verb) verb = v.name;
    }
    return verb + "\t" + std::to_string(request.number) + "\t" + Escaped(request.session) + "\n";
}

bool ParseRequest(const std::string& line, ToolRequest& request) {
    const std::vector<std::string> fields = Fields(line);
    if (fields.size() != 3) return false;
    bool known = false;
    for (const VerbName& v : kVerbs) {
        if (fields[0] == v.name) {
            request.verb = v.verb;
            known = true;
        }
    }
    std::uint64_t number = 0;
    if (!known || fields[1].empty() ||
        fields[1].find_first_not_of("0123456789") != std::string::npos ||
        !platform::ParseUnsigned(fields[1], 1u << 30, number))
        return false;
    request.number = static_cast<int>(number);
    return platform::PercentDecoded(fields[2], request.session);
}

std::string FormatReply(const ToolReply& reply) {
    std::string kind;
    for (const KindName& k : kKinds) {
        if (k.kind == reply.kind) kind = k.name;
    }
    return kind + "\t" + Escaped(reply.text) + "\n";
}

bool ParseReply(const std::string& line, ToolReply& reply) {
    const std::vector<std::string> fields = Fields(line);
    if (fields.size() != 2) return false;
    for (const KindName& k : kKinds) {
        if (fields[0] == k.name) {
            reply.kind = k.kind;
            return platform::PercentDecoded(fields[1], reply.text);
        }
    }
    return false;
}

int ListenForRequests(std::string& error) {
    sockaddr_un address{};
    if (!SocketAddress(address, error)) return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = platform::Errno("cannot make the tool's socket");
        return -1;
    }
    // The mutex is ours: a socket left by a tool that died is stale.
    ::unlink(address.sun_path);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 16) != 0) {
        error = platform::Errno(std::string("cannot listen on '") + address.sun_path + "'");
        ::close(fd);
        return -1;
    }
    return fd;
}

void StopListening(int fd) {
    if (fd < 0) return;
    sockaddr_un address{};
    socklen_t size = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0 &&
        address.sun_path[0] == '/')
        ::unlink(address.sun_path);
    ::close(fd);
}

int AcceptAsker(int listening) {
    for (;;) {
        const int fd = ::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) return -1;
        // The folder is private already; this holds even if it were not.
        ucred peer{};
        socklen_t size = sizeof peer;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::getuid())
            return fd;
        ::close(fd);
    }
}

Asked AskRunningTool(const ToolRequest& request, ToolReply& reply, std::string& whyNot) {
    sockaddr_un address{};
    if (!SocketAddress(address, whyNot)) return Asked::NoTool;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        whyNot = platform::Errno("cannot make a socket");
        return Asked::NoTool;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        whyNot = "no capture tool runs";
        return Asked::NoTool;
    }
    const std::string line = FormatRequest(request);
    if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
        whyNot = "the capture tool does not take requests";
        return Asked::NoTool;
    }
    std::string pending, answer;
    if (!ReadLine(fd, pending, answer, kAnswerAtOnceMs) || !ParseReply(answer, reply)) {
        whyNot = "the capture tool does not answer";
        return Asked::NoTool;
    }
    if (reply.kind == ToolReply::Kind::Declined) {
        whyNot = reply.text;
        return Asked::NoTool;
    }
    if (reply.kind != ToolReply::Kind::Working) return Asked::Answered;
    // Working: a drawn rectangle or a dialog may take the person minutes.
    if (!ReadLine(fd, pending, answer, -1) || !ParseReply(answer, reply) ||
        reply.kind == ToolReply::Kind::Working || reply.kind == ToolReply::Kind::Declined) {
        reply = {ToolReply::Kind::Failed, "the capture tool ended before the action was done"};
    }
    return Asked::Answered;
}
