// Where the configuration lives and how a whole configuration is committed:
// the one road from the editor's Apply, or lgprofile, to the store and to
// the capture tool.
#pragma once

#include <string>

class TActionKeys;

inline constexpr const char* kVendorKey = "Software\\Orvane";
inline constexpr const char* kConfigurationKey = "Software\\Orvane\\Lmgrab";
// Set after every commit; a running capture tool re-reads the store on it.
inline constexpr const char* kChangeEventName = "Lumagrabber configuration changed.";

// Removes the action keys numbered above the list's count and saves the
// list (startup settings, globals, every action) as one transaction of the
// store, so that a crash, a full disk or a refused write at any moment
// leaves exactly the old configuration or exactly the new one, and a reader
// never sees a mix. Then sets the change event, whatever the outcome. False
// with the cause, for the user, when nothing was committed.
bool CommitConfiguration(TActionKeys& list, std::string& cause);
