// System-wide named objects of the current user: a mutex that tells a
// process whether another holds it, and a manual-reset event that any
// process can set, reset and wait on. Both live as files in one private
// directory and vanish from use with the processes that hold them, so a
// crashed holder leaves nothing stale behind.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// $XDG_RUNTIME_DIR/lumagrabber when XDG_RUNTIME_DIR is set, else
// lumagrabber in $XDG_STATE_HOME (or ~/.local/state); made (mode 0700) when
// missing. A folder that is not the user's own, or is open to others, is
// refused.
bool NamedObjectDirectory(std::string& directory, std::string& error);

class NamedMutex {
public:
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // Creates the mutex with ownership requested. alreadyExisted reports that
    // another process holds it; the handle is returned either way. nullptr
    // when no handle could be made.
    static std::unique_ptr<NamedMutex> Create(const std::string& name, bool& alreadyExisted,
                                              std::string& error);

private:
    explicit NamedMutex(int fd) : fd_(fd) {}
    int fd_;
};

class NamedEvent {
public:
    enum class WaitResult { Signalled, Timeout, Failed };

    ~NamedEvent();  // the last handle closed ends the event
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;

    // Opens the event, or creates it not signalled.
    static std::unique_ptr<NamedEvent> Open(const std::string& name, std::string& error);

    bool Set();
    bool Reset();
    bool IsSet();
    // How many times the event has been set since it was made: a change
    // means a set, even one already reset.
    std::uint64_t Sets();
    // Returns as soon as the event is signalled, or after timeoutMs (< 0:
    // no limit); a set while it waits releases it even if the event is
    // reset again before it looks.
    WaitResult Wait(int timeoutMs);

    // For an event loop: a descriptor that turns readable whenever the event
    // is set or reset; read it empty with DrainWatch, then ask IsSet. -1
    // when the event cannot be watched.
    int WatchDescriptor();
    void DrainWatch();

private:
    NamedEvent(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    bool Write(char state);
    int fd_;
    int watch_ = -1;
    std::string path_;
};

}  // namespace platform
