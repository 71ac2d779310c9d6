// The stored configuration as the capture tool reads it: never making a
// store, saying a busy one apart, naming what is at fault.
#pragma once

#include <string>

#include "model/ActionKeys.h"

// One tool a user: a second start ends at once.
inline constexpr const char* kToolMutexName = "Lumagrabber capture tool is running";

// Missing: no store exists; the list is empty, as a first run finds it.
enum class StoreRead { Read, Missing, Busy, Unreadable };

// Reads the stored configuration; the cause when it cannot be read, naming
// the store and what in it is at fault.
StoreRead ReadStoredConfiguration(TActionKeys& list, std::string& cause);

// Why action asked (as typed) cannot run: count actions are stored.
std::string NoSuchAction(const std::string& asked, int count);

// What the stored logon entry asks: nothing, the tool paused, or armed.
enum class LogonStart { None, Paused, Armed };
LogonStart LogonDecision();
