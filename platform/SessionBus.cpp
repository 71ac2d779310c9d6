#include "platform/SessionBus.h"

#include <sys/stat.h>

#include <cstdlib>
#include <string>

namespace platform {

namespace {

// A path no socket can have: below a file.
constexpr const char* kNoBus = "unix:path=/dev/null/no-session-bus";

}  // namespace

bool SessionBusRuns() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address) return std::string(address) != kNoBus;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st {};
    return runtime && *runtime && ::stat((std::string(runtime) + "/bus").c_str(), &st) == 0 &&
           S_ISSOCK(st.st_mode);
}

void KeepFromStartingSessionBus() {
    if (!SessionBusRuns()) ::setenv("DBUS_SESSION_BUS_ADDRESS", kNoBus, 1);
}

}  // namespace platform
