// The current user's settings store, with the semantics of a registry hive:
// a tree of keys below HKEY_CURRENT_USER, each holding typed values.
//
// Key paths are backslash-separated and relative to the hive ("" is the
// hive's root). Key and value names compare without regard to letter case
// and keep the case they were created with. Every call reports its outcome
// as a RegStatus; none throws.
//
// Writes are collected until Flush, which commits them all at once: a
// process that dies before Flush leaves the store as it was. While any key
// of a hive is open, its reads see one snapshot of the store, taken at the
// first read; changes of other processes show once every key is closed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// Value type numbers as the registry numbers them, so that stored data and
// exported files mean the same on every desktop.
enum RegType : std::uint32_t {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
    REG_DWORD_BIG_ENDIAN = 5,
    REG_LINK = 6,
    REG_MULTI_SZ = 7,
    REG_RESOURCE_LIST = 8,
    REG_FULL_RESOURCE_DESCRIPTOR = 9,
    REG_RESOURCE_REQUIREMENTS_LIST = 10,
    REG_QWORD = 11,
};

// "REG_SZ" for 1 and so on; "" for a number with no name.
std::string_view RegTypeName(std::uint32_t type);
// The number of a type name (exact upper-case spelling); false if unknown.
bool RegTypeFromName(std::string_view name, std::uint32_t& type);

// The platform's limits, in UTF-16 code units.
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;

// A value as stored: its type number and raw data. String types hold UTF-8
// text followed by one NUL; REG_DWORD holds 4 bytes, little-endian.
struct RegValue {
    std::uint32_t type = REG_NONE;
    std::string data;

    static RegValue String(std::string_view text, std::uint32_t type = REG_SZ);
    static RegValue Dword(std::uint32_t value);
    static RegValue Qword(std::uint64_t value);
    friend bool operator==(const RegValue&, const RegValue&) = default;
};

// Decodes a string value as the registry reads it: REG_SZ or REG_EXPAND_SZ,
// the text up to the first NUL, with nothing expanded. False for any other type.
bool DecodeString(const RegValue& value, std::string& text);
// Decodes a REG_DWORD of exactly 4 bytes. False for anything else.
bool DecodeDword(const RegValue& value, std::uint32_t& number);
// Decodes a REG_QWORD of exactly 8 bytes. False for anything else.
bool DecodeQword(const RegValue& value, std::uint64_t& number);

enum class RegCode {
    Ok,
    NotFound,      // no such key or value
    KeyDeleted,    // the key behind an open handle was deleted meanwhile
    AccessDenied,  // the store or key is open for reading only
    InvalidName,   // empty, too long or malformed name or path
    HasSubkeys,    // DeleteKey on a key that still has subkeys
    Busy,          // another process held the store longer than the wait allows
    StoreError,    // the store file cannot be opened, read or written
};

struct RegStatus {
    RegCode code = RegCode::Ok;
    std::string message;  // what went wrong, naming the store file where it matters

    bool ok() const { return code == RegCode::Ok; }
    static RegStatus Ok() { return {}; }
    static RegStatus Error(RegCode code, std::string message) { return {code, std::move(message)}; }
};

enum class RegAccess { Read, ReadWrite };
enum class TransactionKind { Read, Write };

class RegistryKey {
public:
    virtual ~RegistryKey() = default;

    // Full path below the hive, with the stored case of every name.
    virtual const std::string& Path() const = 0;
    virtual RegAccess Access() const = 0;

    // "" names the key's unnamed (default) value.
    virtual RegStatus QueryValue(std::string_view name, RegValue& value) = 0;
    virtual RegStatus SetValue(std::string_view name, const RegValue& value) = 0;
    virtual RegStatus DeleteValue(std::string_view name) = 0;

    // Direct subkeys, in order of their folded names.
    virtual RegStatus EnumSubKeys(std::vector<std::string>& names) = 0;
    // Values in the order they were first written.
    virtual RegStatus EnumValues(std::vector<std::pair<std::string, RegValue>>& values) = 0;
};

class RegistryHive {
public:
    virtual ~RegistryHive() = default;

    // Where the hive lives, for messages.
    virtual const std::string& Location() const = 0;
    // True when the store could be opened for reading only.
    virtual bool ReadOnly() const = 0;

    virtual RegStatus OpenKey(std::string_view path, RegAccess access,
                              std::unique_ptr<RegistryKey>& key) = 0;
    // Opens the key for writing, creating it and its missing parents.
    virtual RegStatus CreateKey(std::string_view path, std::unique_ptr<RegistryKey>& key) = 0;
    // Deletes a key that has no subkeys, with its values.
    virtual RegStatus DeleteKey(std::string_view path) = 0;
    // Deletes a key with everything below it, however deep another program
    // nested it. This one deletes key by key within the depth limit.
    virtual RegStatus DeleteKeyTree(std::string_view path);

    // Commits every write made since the last Flush, atomically and durably.
    virtual RegStatus Flush() = 0;
    // Drops every write made since the last Flush.
    virtual void Discard() = 0;

    // A Read transaction makes every read until EndTransaction come from one
    // snapshot of the store, so that reads spread over many keys agree; a
    // write meanwhile commits on its own and later reads see it.
    //
    // A Write transaction groups every write until EndTransaction into one
    // atomic commit. Inside
    // it, Flush and Discard keep or drop the writes since the last Flush
    // within the transaction; nothing reaches the store, and no other
    // process sees anything, until EndTransaction(true) succeeds. A failure
    // that the store cannot recover from ends the transaction: every later
    // write and the final commit then fail with that failure. Ending
    // without commit rolls everything back and returns the first failure
    // that the store itself met inside the transaction (Ok when none did),
    // so that the caller can say why its writes failed.
    virtual RegStatus BeginTransaction(TransactionKind kind) = 0;
    virtual RegStatus EndTransaction(bool commit) = 0;
};

// Opens the current user's hive. Closing a hive commits what was not
// flushed yet, as the platform writes lazily. While a RegistryTransaction
// of this thread is open, every hive opened here joins it.
RegStatus OpenCurrentUserHive(std::unique_ptr<RegistryHive>& hive);

// Replaces the way OpenCurrentUserHive opens the hive (tests put a store of
// their own behind the model); returns the previous opener. An empty
// function restores the default.
using HiveOpener = std::function<RegStatus(std::unique_ptr<RegistryHive>&)>;
HiveOpener SetCurrentUserHiveOpener(HiveOpener opener);

// One atomic commit of everything this thread writes to the current user's
// hive, through any number of accessors, between Begin and Commit. Any write
// refused inside it (even one its caller tolerates, a missing value to delete
// apart) fails the whole: Commit then changes nothing and returns that
// refusal. A transaction destroyed without a successful Commit changes nothing.
//
// A Read transaction instead makes everything the thread reads meanwhile
// come from one snapshot, so that a whole configuration read while another
// process commits is entirely the old or entirely the new one.
class RegistryTransaction {
public:
    explicit RegistryTransaction(TransactionKind kind = TransactionKind::Write) : kind_(kind) {}
    ~RegistryTransaction();
    RegistryTransaction(const RegistryTransaction&) = delete;
    RegistryTransaction& operator=(const RegistryTransaction&) = delete;

    // Waits (boundedly) for other writers, then holds the store's write lock.
    RegStatus Begin();
    RegStatus Commit();
    // Drops every write; returns the first refusal met meanwhile (Ok if none).
    RegStatus Rollback();

    // Records the outcome of a write made inside the transaction.
    RegStatus Note(RegStatus status, bool notFoundIsFine);

private:
    friend RegStatus OpenCurrentUserHive(std::unique_ptr<RegistryHive>& hive);
    TransactionKind kind_;
    std::unique_ptr<RegistryHive> hive_;
    RegStatus failure_;
};

// The path of the key at path and of every key below it, parents before
// their subkeys and subkeys in EnumSubKeys order; walked without recursion.
// Reversed, the list puts every key before its parent, the order to delete in.
RegStatus ListKeyTree(RegistryHive& hive, std::string_view path, std::vector<std::string>& paths);

// The platform nests keys at most this deep below the hive's root.
constexpr std::size_t kMaxKeyDepth = 512;

// Splits a key path into its names, checking each against the limits.
RegStatus SplitKeyPath(std::string_view path, std::vector<std::string_view>& names);
RegStatus CheckValueName(std::string_view name);
// A key or value name is UTF-8 text without control characters; what: "key"
// or "value", for the message.
RegStatus CheckNameText(std::string_view name, const char* what);

}  // namespace platform
