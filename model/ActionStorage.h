// The one storage algorithm for a configuration, shared by every back end:
// which values are read and written, in which order, with which defaults
// and corrections. A back end supplies five primitives; failures inside
// them are raised as EStorageError and turned into false results here.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/RegistryAccessor.h"

class TActionKey;
class TActionKeys;

class EStorageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Where the capture program's logon entry lives, below the user's hive.
inline constexpr const char* kRunKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const char* kLogonValueName = "Lumagrabber";

// A stored "Count" above this cannot be real: reading stops there and the
// load fails, rather than building millions of empty actions.
inline constexpr int kMaxStoredActions = 100000;

// KeyPath + "\Action" + number, the key or section of one action.
std::string ActionPath(const std::string& keyPath, int number);

// The logon command for the capture program in folder home.
std::string LogonCommand(const std::string& home, bool startOnStartup);

// What a failed load met, so that the caller can tell the user: actions
// read in full but without a hot key, and what could not be read at all.
struct TLoadReport {
    bool settingsUnreadable = false;  // the global values, the logon entry or the count
    std::vector<int> withoutKey;      // action numbers, from 1
    std::vector<int> unreadable;      // action numbers whose key or values could not be read
    // The first thing that could not be read, and why, for people: "Count is
    // 2147483647, more than ...", "action 3: Invalid data type for 'Quit'".
    std::string cause;
    bool storeAtFault = false;  // the cause lies in the settings store, not the profile

    // True when nothing stored was left unread: the only failures are
    // actions that have no hot key.
    bool OnlyKeysMissing() const { return !settingsUnreadable && unreadable.empty(); }
};

class TActionReader {
public:
    explicit TActionReader(std::string keyPath);
    virtual ~TActionReader();
    TActionReader(const TActionReader&) = delete;
    TActionReader& operator=(const TActionReader&) = delete;

    // Fills a list that the caller has just cleared.
    bool ReadAll(TActionKeys& list);
    bool ReadAction(const std::string& path, TActionKey& action);
    // "Home" and the logon entry, always from the registry.
    bool ReadStartupSettings(TActionKeys& list);

    // A missing value gives the default; a value that cannot be read raises.
    virtual std::string ReadString(const std::string& name, const std::string& def) = 0;
    virtual std::int32_t ReadInteger(const std::string& name, std::int32_t def) = 0;
    virtual bool ReadBool(const std::string& name, bool def) = 0;
    virtual bool OpenKey(const std::string& path, bool canCreate) = 0;
    virtual void CloseKey() = 0;

    const std::string KeyPath;
    // Filled by ReadAll.
    TLoadReport Report;

protected:
    bool CloseKeyQuietly();

    platform::RegistryAccessor Registry;

private:
    // Every value read but no hot key is a failed read of its own kind.
    enum class ActionRead { Complete, WithoutKey, Unreadable };
    ActionRead ReadActionValues(const std::string& path, TActionKey& action);
    std::string lastError_;  // why the last action read was unreadable
};

class TActionWriter {
public:
    explicit TActionWriter(std::string keyPath);
    virtual ~TActionWriter();
    TActionWriter(const TActionWriter&) = delete;
    TActionWriter& operator=(const TActionWriter&) = delete;

    // Writes the globals and every action; deletes nothing.
    bool WriteAll(TActionKeys& list);
    // Corrects an out-of-range Quality in the action itself.
    bool WriteAction(const std::string& path, TActionKey& action);
    // "Home" and the logon entry, always to the registry.
    bool WriteStartupSettings(const TActionKeys& list);

    // A refused write raises; so does a close whose flush fails.
    virtual void WriteString(const std::string& name, const std::string& value) = 0;
    virtual void WriteInteger(const std::string& name, std::int32_t value) = 0;
    virtual void WriteBool(const std::string& name, bool value) = 0;
    virtual bool OpenKey(const std::string& path, bool canCreate) = 0;
    virtual void CloseKey() = 0;

    const std::string KeyPath;

protected:
    bool CloseKeyQuietly();

    // Writes through: every key is flushed when it is closed.
    platform::RegistryAccessor Registry;
};
