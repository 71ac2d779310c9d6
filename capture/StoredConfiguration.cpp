#include "capture/StoredConfiguration.h"

#include <sys/stat.h>

#include <cerrno>

#include "model/Commit.h"
#include "platform/Registry.h"
#include "platform/SqliteRegistry.h"

StoreRead ReadStoredConfiguration(TActionKeys& list, std::string& cause) {
    // Reading never makes a store: one deleted under the tool is said, not
    // replaced by an empty one.
    const std::string store = platform::DefaultStorePath();
    struct stat st = {};
    if (::stat(store.c_str(), &st) != 0 && errno == ENOENT) {
        cause = "the settings store '" + store + "' does not exist";
        return StoreRead::Missing;
    }
    // The whole read from one snapshot; a store another process holds, or
    // a file that is no store, says so here, before any value is read.
    platform::RegistryTransaction snapshot(platform::TransactionKind::Read);
    if (const platform::RegStatus s = snapshot.Begin(); !s.ok()) {
        cause = s.message;
        return s.code == platform::RegCode::Busy ? StoreRead::Busy : StoreRead::Unreadable;
    }
    // Actions without a hot key are read whole; the plan names them.
    if (list.LoadFromRegistry() || list.LastLoad().OnlyKeysMissing()) return StoreRead::Read;
    const std::string why = list.LastLoad().cause;
    cause = "the stored configuration in '" + store + "' cannot be read" +
            (why.empty() ? "" : ": " + why);
    return StoreRead::Unreadable;
}

LogonStart LogonDecision() {
    TActionKeys list(kConfigurationKey);
    std::string cause;
    // The entry is read first; the rest the tool reports.
    [[maybe_unused]] const StoreRead read = ReadStoredConfiguration(list, cause);
    if (!list.ShowIconOnStartup) return LogonStart::None;
    return list.StartOnStartup ? LogonStart::Armed : LogonStart::Paused;
}

std::string NoSuchAction(const std::string& asked, int count) {
    return "there is no action " + asked + "; actions 1 to " + std::to_string(count) +
           " are stored";
}
