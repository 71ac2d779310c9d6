// sway's IPC (the i3 protocol): a local socket on which each message is
// "i3-ipc", the payload's length, its type, then JSON. One connection asks
// and waits; a subscribed one hears events.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/Json.h"

class SwayIpc {
public:
    enum Type : std::uint32_t {
        kRunCommand = 0,
        kSubscribe = 2,
        kGetOutputs = 3,
        kGetTree = 4,
        kGetConfig = 9,
        kWorkspaceEvent = 0x80000000,
        kBindingEvent = 0x80000005,
    };
    struct Event {
        std::uint32_t type = 0;
        JsonValue body;
    };

    ~SwayIpc();
    SwayIpc(const SwayIpc&) = delete;
    SwayIpc& operator=(const SwayIpc&) = delete;

    // The socket $SWAYSOCK names.
    static std::unique_ptr<SwayIpc> Connect(const std::string& path, std::string& error);
    // Sends one message and waits (a few seconds at most) for its answer.
    bool Ask(std::uint32_t type, const std::string& payload, JsonValue& reply, std::string& error);
    int Descriptor() const { return fd_; }
    // The events that arrived whole, without waiting; false once the
    // compositor has gone.
    bool TakeEvents(std::vector<Event>& events);

private:
    explicit SwayIpc(int fd) : fd_(fd) {}
    // One whole message from pending_, when it holds one.
    bool NextMessage(std::uint32_t& type, std::string& payload, bool& broken);

    int fd_;
    std::string pending_;
};
