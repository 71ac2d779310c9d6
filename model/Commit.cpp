#include "model/Commit.h"

#include "model/ActionKeys.h"
#include "model/KeyTree.h"
#include "platform/NamedObjects.h"
#include "platform/Registry.h"

namespace {

bool CommitToStore(TActionKeys& list, std::string& cause) {
    platform::RegistryTransaction transaction;
    if (platform::RegStatus s = transaction.Begin(); !s.ok()) {
        cause = s.message;
        return false;
    }
    DeleteSurplusActionKeys(list.KeyPath, list.Count() + 1);
    if (!list.SaveToRegistry()) {
        const platform::RegStatus s = transaction.Rollback();
        cause = s.ok() ? "a value could not be written" : s.message;
        return false;
    }
    // Also fails, changing nothing, when a write was refused that the
    // storage steps let pass (a surplus key, the logon entry).
    if (platform::RegStatus s = transaction.Commit(); !s.ok()) {
        cause = s.message;
        return false;
    }
    return true;
}

}  // namespace

bool CommitConfiguration(TActionKeys& list, std::string& cause) {
    cause.clear();
    const bool committed = CommitToStore(list, cause);
    // The capture tool finds the new configuration when it hears this.
    std::string error;
    if (auto event = platform::NamedEvent::Open(kChangeEventName, error)) event->Set();
    return committed;
}
