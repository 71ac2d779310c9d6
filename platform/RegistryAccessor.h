// A handle on the current user's hive that holds at most one open key at a
// time, the way the model and the window work with the store. The hive is
// opened by the first call that needs it.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace platform {

class RegistryAccessor {
public:
    RegistryAccessor() = default;
    ~RegistryAccessor();
    RegistryAccessor(const RegistryAccessor&) = delete;
    RegistryAccessor& operator=(const RegistryAccessor&) = delete;

    // Opens an existing key for full access, falling back to reading only
    // when the store cannot be written. With canCreate a missing key is
    // created with its missing parents. Closes any key open before.
    RegStatus OpenKey(std::string_view path, bool canCreate);
    RegStatus OpenKeyReadOnly(std::string_view path);
    // Closes the open key; a key that was written is flushed, and a failed
    // flush is reported here.
    RegStatus CloseKey();
    // Closes the open key and drops what was written through it since the
    // last flush.
    void DiscardAndCloseKey();
    bool HasOpenKey() const { return key_ != nullptr; }
    // Path of the open key with its stored case ("" when none is open).
    std::string CurrentPath() const;

    bool KeyExists(std::string_view path);
    // Deletes a key without subkeys at once (flushed).
    RegStatus DeleteKey(std::string_view path);

    // These work on the open key; without one they fail with NotFound.
    RegStatus GetKeyNames(std::vector<std::string>& names);
    bool HasSubKeys();
    bool ValueExists(std::string_view name);
    RegStatus ReadValue(std::string_view name, RegValue& value);
    RegStatus WriteValue(std::string_view name, const RegValue& value);
    RegStatus DeleteValue(std::string_view name);

    // Opens the hive if needed; the status says why it could not be.
    RegStatus EnsureHive();

private:
    RegStatus NoKey() const;

    std::unique_ptr<RegistryHive> hive_;
    std::unique_ptr<RegistryKey> key_;
    bool written_ = false;
};

}  // namespace platform
