// The system's last error, put after what was being done:
// "cannot read 'x': Permission denied".
#pragma once

#include <cerrno>
#include <cstring>
#include <string>

namespace platform {

inline std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

}  // namespace platform
