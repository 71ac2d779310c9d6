// The guard that lets only one editor run for a user at a time.
#pragma once

#include <memory>

#include "platform/NamedObjects.h"

inline constexpr const char* kSingleInstanceName = "Lumagrabber configuration is already running";

// The guard's handle when this process may go on; nullptr when it must end
// (another editor runs, or no guard could be made).
std::unique_ptr<platform::NamedMutex> AcquireSingleInstance();
