#include "platform/RegistryAccessor.h"

namespace platform {

RegistryAccessor::~RegistryAccessor() {
    CloseKey();
}

RegStatus RegistryAccessor::EnsureHive() {
    if (hive_) return RegStatus::Ok();
    return OpenCurrentUserHive(hive_);
}

RegStatus RegistryAccessor::NoKey() const {
    return RegStatus::Error(RegCode::NotFound, "no key is open");
}

RegStatus RegistryAccessor::OpenKey(std::string_view path, bool canCreate) {
    CloseKey();
    if (RegStatus s = EnsureHive(); !s.ok()) return s;
    RegStatus s = hive_->OpenKey(path, RegAccess::ReadWrite, key_);
    if (s.code == RegCode::AccessDenied) s = hive_->OpenKey(path, RegAccess::Read, key_);
    if (s.code == RegCode::NotFound && canCreate) {
        s = hive_->CreateKey(path, key_);
        written_ = true;
    }
    if (!s.ok()) {
        key_.reset();
        if (written_) hive_->Discard();
        written_ = false;
    }
    return s;
}

RegStatus RegistryAccessor::OpenKeyReadOnly(std::string_view path) {
    CloseKey();
    if (RegStatus s = EnsureHive(); !s.ok()) return s;
    RegStatus s = hive_->OpenKey(path, RegAccess::Read, key_);
    if (!s.ok()) key_.reset();
    return s;
}

RegStatus RegistryAccessor::CloseKey() {
    RegStatus s;
    if (written_ && hive_) s = hive_->Flush();
    written_ = false;
    key_.reset();
    return s;
}

void RegistryAccessor::DiscardAndCloseKey() {
    if (written_ && hive_) hive_->Discard();
    written_ = false;
    key_.reset();
}

std::string RegistryAccessor::CurrentPath() const {
    return key_ ? key_->Path() : std::string();
}

bool RegistryAccessor::KeyExists(std::string_view path) {
    if (!EnsureHive().ok()) return false;
    std::unique_ptr<RegistryKey> probe;
    return hive_->OpenKey(path, RegAccess::Read, probe).ok();
}

RegStatus RegistryAccessor::DeleteKey(std::string_view path) {
    if (RegStatus s = EnsureHive(); !s.ok()) return s;
    if (hive_->ReadOnly()) {
        return RegStatus::Error(RegCode::AccessDenied,
                                "settings store '" + hive_->Location() + "' is read-only");
    }
    RegStatus s = hive_->DeleteKey(path);
    if (!s.ok()) return s;
    // An open key's pending writes go with this flush, as they would on the platform.
    written_ = false;
    return hive_->Flush();
}

RegStatus RegistryAccessor::GetKeyNames(std::vector<std::string>& names) {
    names.clear();
    return key_ ? key_->EnumSubKeys(names) : NoKey();
}

bool RegistryAccessor::HasSubKeys() {
    std::vector<std::string> names;
    return GetKeyNames(names).ok() && !names.empty();
}

bool RegistryAccessor::ValueExists(std::string_view name) {
    RegValue v;
    return ReadValue(name, v).ok();
}

RegStatus RegistryAccessor::ReadValue(std::string_view name, RegValue& value) {
    return key_ ? key_->QueryValue(name, value) : NoKey();
}

RegStatus RegistryAccessor::WriteValue(std::string_view name, const RegValue& value) {
    if (!key_) return NoKey();
    RegStatus s = key_->SetValue(name, value);
    if (s.ok()) written_ = true;
    return s;
}

RegStatus RegistryAccessor::DeleteValue(std::string_view name) {
    if (!key_) return NoKey();
    RegStatus s = key_->DeleteValue(name);
    if (s.ok()) written_ = true;
    return s;
}

}  // namespace platform
