#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "capture/DesktopModule.h"

std::string ProgramPath() {
    char self[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    return std::string(self, n > 0 ? static_cast<std::size_t>(n) : 0);
}

bool LoadDesktopModule(DesktopModule& module, std::string& error) {
    const std::string exe = ProgramPath();
    const std::string dir = exe.substr(0, exe.rfind('/') + 1);
    error.clear();
    for (const std::string& path : {dir + "lmgrab-desktop.so", dir + LG_DESKTOP_MODULE_FROM_BIN}) {
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            if (error.empty()) error = ::dlerror();
            continue;
        }
        module.runTool =
            reinterpret_cast<decltype(module.runTool)>(::dlsym(handle, "LmgrabRunTool"));
        module.captureOnDesktop = reinterpret_cast<decltype(module.captureOnDesktop)>(
            ::dlsym(handle, "LmgrabCaptureOnDesktop"));
        if (module.runTool && module.captureOnDesktop) return true;
        error = path + " is not lmgrab's desktop module";
    }
    error = "the desktop part of lmgrab cannot be loaded (" + error + ")";
    return false;
}
