// The settings store of this desktop: one SQLite database per user.
#pragma once

#include <memory>
#include <string>

#include "platform/Registry.h"

namespace platform {

struct SqliteHiveOptions {
    std::string path;
    // How long to wait for another process that holds the store.
    int busyTimeoutMs = 5000;
    // Open for reading only even where the file could be written.
    bool readOnly = false;
};

// Opens (and, where none exists yet, creates) the store at options.path.
// A file that is not a store is never written to: opening it fails with
// StoreError and a message naming the file.
RegStatus OpenSqliteHive(const SqliteHiveOptions& options, std::unique_ptr<RegistryHive>& hive);

// $LUMAGRABBER_REGISTRY when set, else registry.db in the lumagrabber
// folder of $XDG_CONFIG_HOME (or ~/.config).
std::string DefaultStorePath();

}  // namespace platform
