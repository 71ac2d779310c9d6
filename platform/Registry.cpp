#include "platform/Registry.h"

#include <algorithm>
#include <mutex>

#include "platform/ForwardingRegistry.h"
#include "platform/SqliteRegistry.h"
#include "platform/Unicode.h"

namespace platform {
namespace {

constexpr std::string_view kTypeNames[] = {
    "REG_NONE",
    "REG_SZ",
    "REG_EXPAND_SZ",
    "REG_BINARY",
    "REG_DWORD",
    "REG_DWORD_BIG_ENDIAN",
    "REG_LINK",
    "REG_MULTI_SZ",
    "REG_RESOURCE_LIST",
    "REG_FULL_RESOURCE_DESCRIPTOR",
    "REG_RESOURCE_REQUIREMENTS_LIST",
    "REG_QWORD",
};

std::mutex& OpenerMutex() {
    static std::mutex m;
    return m;
}

HiveOpener& Opener() {
    static HiveOpener opener;
    return opener;
}

// This thread's open transaction, which every hive opened meanwhile joins.
thread_local RegistryTransaction* tTransaction = nullptr;

// Failures that do not change the store: a value that was not there to delete.
bool IsRefusal(const RegStatus& s, bool notFoundIsFine) {
    return !s.ok() && !(notFoundIsFine && s.code == RegCode::NotFound);
}

// A key handle inside a transaction: what it refuses fails the transaction.
class JoinedKey final : public ForwardingKey {
public:
    JoinedKey(std::unique_ptr<RegistryKey> inner, RegistryTransaction& t)
        : ForwardingKey(std::move(inner)), t_(t) {}
    RegStatus SetValue(std::string_view name, const RegValue& value) override {
        return t_.Note(ForwardingKey::SetValue(name, value), false);
    }
    RegStatus DeleteValue(std::string_view name) override {
        return t_.Note(ForwardingKey::DeleteValue(name), true);
    }

private:
    RegistryTransaction& t_;
};

// A hive handle that shares the transaction's connection and leaves it open.
class JoinedHive final : public ForwardingHive {
public:
    JoinedHive(RegistryHive& inner, RegistryTransaction& t) : ForwardingHive(inner), t_(t) {}
    RegStatus OpenKey(std::string_view path, RegAccess access,
                      std::unique_ptr<RegistryKey>& key) override {
        return Wrap(ForwardingHive::OpenKey(path, access, key), key);
    }
    RegStatus CreateKey(std::string_view path, std::unique_ptr<RegistryKey>& key) override {
        return Wrap(t_.Note(ForwardingHive::CreateKey(path, key), false), key);
    }
    RegStatus DeleteKeyTree(std::string_view path) override {
        return t_.Note(ForwardingHive::DeleteKeyTree(path), true);
    }
    RegStatus DeleteKey(std::string_view path) override {
        return t_.Note(ForwardingHive::DeleteKey(path), true);
    }
    RegStatus Flush() override { return t_.Note(ForwardingHive::Flush(), false); }
    RegStatus BeginTransaction(TransactionKind) override {
        return RegStatus::Error(RegCode::AccessDenied, "a transaction is already open");
    }
    RegStatus EndTransaction(bool) override {
        return RegStatus::Error(RegCode::AccessDenied, "the transaction belongs to another handle");
    }

private:
    RegStatus Wrap(RegStatus s, std::unique_ptr<RegistryKey>& key) {
        if (s.ok()) key = std::make_unique<JoinedKey>(std::move(key), t_);
        return s;
    }
    RegistryTransaction& t_;
};

RegStatus OpenOwnHive(std::unique_ptr<RegistryHive>& hive) {
    HiveOpener opener;
    {
        std::lock_guard lock(OpenerMutex());
        opener = Opener();
    }
    if (opener) return opener(hive);
    SqliteHiveOptions options;
    options.path = DefaultStorePath();
    return OpenSqliteHive(options, hive);
}

}  // namespace

std::string_view RegTypeName(std::uint32_t type) {
    return type < std::size(kTypeNames) ? kTypeNames[type] : std::string_view();
}

bool RegTypeFromName(std::string_view name, std::uint32_t& type) {
    for (std::uint32_t i = 0; i < std::size(kTypeNames); ++i) {
        if (kTypeNames[i] == name) {
            type = i;
            return true;
        }
    }
    return false;
}

RegValue RegValue::String(std::string_view text, std::uint32_t type) {
    RegValue v;
    v.type = type;
    v.data.assign(text);
    v.data += '\0';
    return v;
}

namespace {

RegValue LittleEndian(std::uint32_t type, std::uint64_t value, int bytes) {
    RegValue v;
    v.type = type;
    for (int i = 0; i < bytes; ++i) v.data += static_cast<char>((value >> (8 * i)) & 0xFF);
    return v;
}

bool FromLittleEndian(const RegValue& value, std::uint32_t type, std::size_t bytes,
                      std::uint64_t& number) {
    if (value.type != type || value.data.size() != bytes) return false;
    number = 0;
    for (std::size_t i = bytes; i-- > 0;) {
        number = (number << 8) | static_cast<unsigned char>(value.data[i]);
    }
    return true;
}

}  // namespace

RegValue RegValue::Dword(std::uint32_t value) {
    return LittleEndian(REG_DWORD, value, 4);
}

RegValue RegValue::Qword(std::uint64_t value) {
    return LittleEndian(REG_QWORD, value, 8);
}

bool DecodeString(const RegValue& value, std::string& text) {
    if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) return false;
    text.assign(value.data, 0, value.data.find('\0'));
    return true;
}

bool DecodeDword(const RegValue& value, std::uint32_t& number) {
    std::uint64_t n;
    if (!FromLittleEndian(value, REG_DWORD, 4, n)) return false;
    number = static_cast<std::uint32_t>(n);
    return true;
}

bool DecodeQword(const RegValue& value, std::uint64_t& number) {
    return FromLittleEndian(value, REG_QWORD, 8, number);
}

RegStatus SplitKeyPath(std::string_view path, std::vector<std::string_view>& names) {
    names.clear();
    if (path.empty()) return RegStatus::Ok();
    if (static_cast<std::size_t>(std::count(path.begin(), path.end(), '\\')) >= kMaxKeyDepth) {
        return RegStatus::Error(RegCode::InvalidName, "key path '" +
                                                          std::string(path.substr(0, 60)) +
                                                          "...' is nested deeper than " +
                                                          std::to_string(kMaxKeyDepth) + " levels");
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find('\\', start);
        const std::string_view name = path.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (name.empty()) {
            return RegStatus::Error(RegCode::InvalidName,
                                    "key path '" + std::string(path) + "' has an empty key name");
        }
        if (Utf16Length(name) > kMaxKeyNameLength) {
            return RegStatus::Error(RegCode::InvalidName,
                                    "key name '" + std::string(name.substr(0, 40)) +
                                        "...' is longer than " + std::to_string(kMaxKeyNameLength) +
                                        " characters");
        }
        if (RegStatus s = CheckNameText(name, "key"); !s.ok()) return s;
        names.push_back(name);
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return RegStatus::Ok();
}

RegStatus CheckValueName(std::string_view name) {
    if (Utf16Length(name) > kMaxValueNameLength) {
        return RegStatus::Error(RegCode::InvalidName,
                                "value name '" + std::string(name.substr(0, 40)) +
                                    "...' is longer than " + std::to_string(kMaxValueNameLength) +
                                    " characters");
    }
    return CheckNameText(name, "value");
}

RegStatus CheckNameText(std::string_view name, const char* what) {
    // Names travel as lines of .reg files and of listings: a line break or
    // any other control character in one could start a line of its own.
    if (HasControlCharacter(name)) {
        return RegStatus::Error(RegCode::InvalidName, std::string(what) + " name '" +
                                                          Printable(name.substr(0, 60)) +
                                                          "' contains a control character");
    }
    if (!IsValidUtf8(name)) {
        return RegStatus::Error(RegCode::InvalidName,
                                std::string(what) + " name '" +
                                    Printable(ToValidUtf8(name.substr(0, 60))) +
                                    "' is not UTF-8 text");
    }
    return RegStatus::Ok();
}

RegStatus ListKeyTree(RegistryHive& hive, std::string_view path, std::vector<std::string>& paths) {
    paths.clear();
    std::vector<std::string> pending{std::string(path)};
    while (!pending.empty()) {
        std::string current = std::move(pending.back());
        pending.pop_back();
        std::unique_ptr<RegistryKey> key;
        if (RegStatus s = hive.OpenKey(current, RegAccess::Read, key); !s.ok()) return s;
        std::vector<std::string> subkeys;
        if (RegStatus s = key->EnumSubKeys(subkeys); !s.ok()) return s;
        const std::string prefix = key->Path().empty() ? "" : key->Path() + "\\";
        // Pushed last to first, so that the first subkey is visited next.
        for (auto it = subkeys.rbegin(); it != subkeys.rend(); ++it)
            pending.push_back(prefix + *it);
        paths.push_back(key->Path());
    }
    return RegStatus::Ok();
}

RegStatus RegistryHive::DeleteKeyTree(std::string_view path) {
    std::vector<std::string> paths;
    if (RegStatus s = ListKeyTree(*this, path, paths); !s.ok()) return s;
    for (auto it = paths.rbegin(); it != paths.rend(); ++it) {
        if (RegStatus s = DeleteKey(*it); !s.ok()) return s;
    }
    return RegStatus::Ok();
}

RegStatus OpenCurrentUserHive(std::unique_ptr<RegistryHive>& hive) {
    if (tTransaction) {
        hive = std::make_unique<JoinedHive>(*tTransaction->hive_, *tTransaction);
        return RegStatus::Ok();
    }
    return OpenOwnHive(hive);
}

RegistryTransaction::~RegistryTransaction() {
    Rollback();
}

RegStatus RegistryTransaction::Note(RegStatus status, bool notFoundIsFine) {
    if (failure_.ok() && IsRefusal(status, notFoundIsFine)) failure_ = status;
    return status;
}

RegStatus RegistryTransaction::Begin() {
    if (hive_ || tTransaction) {
        return RegStatus::Error(RegCode::AccessDenied, "a transaction is already open");
    }
    failure_ = RegStatus::Ok();
    if (RegStatus s = OpenOwnHive(hive_); !s.ok()) {
        hive_.reset();
        return s;
    }
    if (RegStatus s = hive_->BeginTransaction(kind_); !s.ok()) {
        hive_.reset();
        return s;
    }
    tTransaction = this;
    return RegStatus::Ok();
}

RegStatus RegistryTransaction::Commit() {
    if (!hive_) return RegStatus::Error(RegCode::StoreError, "no transaction is open");
    // One refused write, even one its caller let pass, fails the whole.
    if (!failure_.ok()) return Rollback();
    tTransaction = nullptr;
    RegStatus s = hive_->EndTransaction(true);
    hive_.reset();
    return s;
}

RegStatus RegistryTransaction::Rollback() {
    if (!hive_) return failure_;
    tTransaction = nullptr;
    RegStatus s = hive_->EndTransaction(false);
    hive_.reset();
    return failure_.ok() ? s : failure_;
}

HiveOpener SetCurrentUserHiveOpener(HiveOpener opener) {
    std::lock_guard lock(OpenerMutex());
    return std::exchange(Opener(), std::move(opener));
}

}  // namespace platform
