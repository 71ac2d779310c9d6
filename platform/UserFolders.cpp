#include "platform/UserFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace platform {

namespace {

// An XDG variable counts only as an absolute path; else home + fallback.
std::string XdgFolder(const char* variable, const char* belowHome) {
    if (const char* set = std::getenv(variable); set && *set == '/') return set;
    const std::string home = HomeFolder();
    return home.empty() ? "" : home + belowHome;
}

}  // namespace

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home == '/') return home;
    const passwd* pw = ::getpwuid(::getuid());
    return pw && pw->pw_dir && *pw->pw_dir == '/' ? pw->pw_dir : "";
}

std::string ConfigFolder() {
    return XdgFolder("XDG_CONFIG_HOME", "/.config");
}

std::string StateFolder() {
    return XdgFolder("XDG_STATE_HOME", "/.local/state");
}

}  // namespace platform
