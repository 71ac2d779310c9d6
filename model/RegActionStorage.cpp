#include "model/RegActionStorage.h"

using platform::RegCode;
using platform::RegStatus;
using platform::RegValue;

namespace {

// True with the value when it exists; false when it does not; raises when
// it cannot be read.
bool Fetch(platform::RegistryAccessor& registry, const std::string& name, RegValue& value) {
    const RegStatus s = registry.ReadValue(name, value);
    if (s.code == RegCode::NotFound) return false;
    if (!s.ok()) throw EStorageError(s.message);
    return true;
}

[[noreturn]] void WrongType(const std::string& name) {
    throw EStorageError("Invalid data type for '" + name + "'");
}

std::uint32_t FetchDword(platform::RegistryAccessor& registry, const std::string& name,
                         std::uint32_t def) {
    RegValue value;
    if (!Fetch(registry, name, value)) return def;
    std::uint32_t number;
    if (!platform::DecodeDword(value, number)) WrongType(name);
    return number;
}

void Store(platform::RegistryAccessor& registry, const std::string& name, const RegValue& value) {
    const RegStatus s = registry.WriteValue(name, value);
    if (!s.ok()) throw EStorageError("Failed to set data for '" + name + "': " + s.message);
}

}  // namespace

std::string TRegActionReader::ReadString(const std::string& name, const std::string& def) {
    RegValue value;
    if (!Fetch(Registry, name, value)) return def;
    std::string text;
    if (!platform::DecodeString(value, text)) WrongType(name);
    return text;
}

std::int32_t TRegActionReader::ReadInteger(const std::string& name, std::int32_t def) {
    return static_cast<std::int32_t>(FetchDword(Registry, name, static_cast<std::uint32_t>(def)));
}

bool TRegActionReader::ReadBool(const std::string& name, bool def) {
    return FetchDword(Registry, name, def ? 1 : 0) != 0;
}

bool TRegActionReader::OpenKey(const std::string& path, bool canCreate) {
    return Registry.OpenKey(path, canCreate).ok();
}

void TRegActionReader::CloseKey() {
    Registry.CloseKey();
}

void TRegActionWriter::WriteString(const std::string& name, const std::string& value) {
    Store(Registry, name, RegValue::String(value));
}

void TRegActionWriter::WriteInteger(const std::string& name, std::int32_t value) {
    Store(Registry, name, RegValue::Dword(static_cast<std::uint32_t>(value)));
}

void TRegActionWriter::WriteBool(const std::string& name, bool value) {
    Store(Registry, name, RegValue::Dword(value ? 1 : 0));
}

bool TRegActionWriter::OpenKey(const std::string& path, bool canCreate) {
    return Registry.OpenKey(path, canCreate).ok();
}

void TRegActionWriter::CloseKey() {
    const RegStatus s = Registry.CloseKey();
    if (!s.ok()) throw EStorageError("Failed to flush the key: " + s.message);
}
