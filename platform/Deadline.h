// The time left before a deadline, as poll() and libdbus take it.
#pragma once

#include <algorithm>
#include <chrono>

namespace platform {

inline std::chrono::steady_clock::time_point DeadlineIn(int milliseconds) {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

// Whole milliseconds until deadline; 0 once it has passed.
inline int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, 1 << 30));
}

}  // namespace platform
