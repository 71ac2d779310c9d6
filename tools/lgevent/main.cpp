// lgevent: sets, resets and waits on a named event of the current user,
// the way a capture tool hears that the configuration changed.
//   lgevent wait NAME [--timeout MS]   prints "signalled" and exits 0, or 1 on timeout
//   lgevent set NAME | lgevent reset NAME
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/NamedObjects.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: lgevent wait NAME [--timeout MS]\n"
                 "       lgevent set NAME\n"
                 "       lgevent reset NAME\n"
                 "The editor sets \"Lumagrabber configuration changed.\" after each Apply.\n");
    return 1;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "lgevent: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string command = argv[1];
    const std::string name = argv[2];
    int timeoutMs = -1;
    if (command == "wait" && argc == 5 && std::strcmp(argv[3], "--timeout") == 0) {
        const char* t = argv[4];
        auto [end, ec] = std::from_chars(t, t + std::strlen(t), timeoutMs);
        if (ec != std::errc() || *end != '\0' || timeoutMs < 0)
            return Fail("bad timeout '" + std::string(t) + "'");
    } else if (argc != 3) {
        return Usage();
    }
    std::string error;
    auto event = platform::NamedEvent::Open(name, error);
    if (!event) return Fail(error);
    if (command == "set") return event->Set() ? 0 : Fail("cannot set '" + name + "'");
    if (command == "reset") return event->Reset() ? 0 : Fail("cannot reset '" + name + "'");
    if (command != "wait") return Usage();
    switch (event->Wait(timeoutMs)) {
        case platform::NamedEvent::WaitResult::Signalled:
            std::printf("signalled\n");
            return 0;
        case platform::NamedEvent::WaitResult::Timeout:
            return 1;
        default:
            return Fail("cannot wait on '" + name + "'");
    }
}
