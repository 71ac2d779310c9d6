#include "capture/SwayIpc.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/SystemError.h"

namespace {

constexpr char kMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::size_t kHeader = sizeof kMagic + 8;
constexpr std::uint32_t kLargest = 64u << 20;  // a tree of thousands of windows is far less
constexpr int kAnswerMs = 3000;

}  // namespace

SwayIpc::~SwayIpc() {
    ::close(fd_);
}

std::unique_ptr<SwayIpc> SwayIpc::Connect(const std::string& path, std::string& error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        error = "no usable sway socket (SWAYSOCK is '" + path + "')";
        return nullptr;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = platform::Errno("cannot reach sway at '" + path + "'");
        if (fd >= 0) ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<SwayIpc>(new SwayIpc(fd));
}

bool SwayIpc::NextMessage(std::uint32_t& type, std::string& payload, bool& broken) {
    broken = false;
    if (pending_.size() < kHeader) return false;
    if (std::memcmp(pending_.data(), kMagic, sizeof kMagic) != 0) return broken = true, false;
    std::uint32_t length = 0;
    std::memcpy(&length, pending_.data() + sizeof kMagic, 4);
    std::memcpy(&type, pending_.data() + sizeof kMagic + 4, 4);
    if (length > kLargest) return broken = true, false;
    if (pending_.size() < kHeader + length) return false;
    payload = pending_.substr(kHeader, length);
    pending_.erase(0, kHeader + length);
    return true;
}

bool SwayIpc::Ask(std::uint32_t type, const std::string& payload, JsonValue& reply,
                  std::string& error) {
    std::string message(kMagic, sizeof kMagic);
    const auto length = static_cast<std::uint32_t>(payload.size());
    message.append(reinterpret_cast<const char*>(&length), 4);
    message.append(reinterpret_cast<const char*>(&type), 4);
    message += payload;
    for (std::size_t sent = 0; sent < message.size();) {
        const ssize_t n = ::send(fd_, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EAGAIN) {
            pollfd wait{fd_, POLLOUT, 0};
            if (::poll(&wait, 1, kAnswerMs) <= 0) break;
            continue;
        }
        if (n <= 0) {
            error = platform::Errno("sway does not listen");
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    for (;;) {
        std::uint32_t got = 0;
        std::string body;
        bool broken = false;
        if (NextMessage(got, body, broken)) {
            if (got != type) continue;  // an event of a subscribed connection
            return ParseJson(body, reply, error);
        }
        if (broken) {
            error = "sway answered something that is not its IPC";
            return false;
        }
        pollfd wait{fd_, POLLIN, 0};
        const int ready = ::poll(&wait, 1, kAnswerMs);
        if (ready < 0 && errno == EINTR) continue;
        char buffer[65536];
        const ssize_t n = ready > 0 ? ::read(fd_, buffer, sizeof buffer) : -1;
        if (n <= 0 && !(n < 0 && (errno == EAGAIN || errno == EINTR) && ready > 0)) {
            error = ready == 0 ? "sway does not answer" : "sway closed its IPC";
            return false;
        }
        if (n > 0) pending_.append(buffer, static_cast<std::size_t>(n));
    }
}

bool SwayIpc::TakeEvents(std::vector<Event>& events) {
    char buffer[65536];
    ssize_t n = 0;
    while ((n = ::read(fd_, buffer, sizeof buffer)) > 0)
        pending_.append(buffer, static_cast<std::size_t>(n));
    const bool open = n < 0 && (errno == EAGAIN || errno == EINTR);
    std::uint32_t type = 0;
    std::string body;
    bool broken = false;
    while (NextMessage(type, body, broken)) {
        Event event{type, {}};
        std::string error;
        if (ParseJson(body, event.body, error)) events.push_back(std::move(event));
    }
    return open && !broken;
}
