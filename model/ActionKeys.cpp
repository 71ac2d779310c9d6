#include "model/ActionKeys.h"

#include "model/FileActionStorage.h"
#include "model/RegActionStorage.h"
#include "platform/Registry.h"
#include "platform/ThreadHotKeys.h"

EListError::EListError(int index)
    : std::out_of_range("List index out of bounds (" + std::to_string(index) + ")"),
      index_(index) {}

TActionKeys::TActionKeys(std::string keyPath) : KeyPath(std::move(keyPath)) {}

TActionKeys::~TActionKeys() {
    Clear();
}

void TActionKeys::CheckIndex(int index) const {
    if (index < 0 || index >= Count()) throw EListError(index);
}

TActionKey& TActionKeys::Get(int index) {
    CheckIndex(index);
    return *Items[static_cast<std::size_t>(index)];
}

const TActionKey& TActionKeys::Get(int index) const {
    CheckIndex(index);
    return *Items[static_cast<std::size_t>(index)];
}

int TActionKeys::Add(std::unique_ptr<TActionKey> action) {
    Items.push_back(std::move(action));
    return Count() - 1;
}

void TActionKeys::Delete(int index) {
    CheckIndex(index);
    Items.erase(Items.begin() + index);
}

void TActionKeys::Clear() {
    ReleaseHotKeys();
    Items.clear();
}

bool TActionKeys::ReleaseHotKey(int id) {
    return platform::CurrentThreadHotKeys().Unregister(id);
}

bool TActionKeys::ReleaseHotKeys() {
    bool ok = true;
    for (int id = 0; id < Count(); ++id) {
        if (!ReleaseHotKey(id)) ok = false;
    }
    return ok;
}

// Every load: cleared first, any error a false result, the report kept.
bool TActionKeys::LoadWith(const std::function<std::unique_ptr<TActionReader>()>& makeReader) {
    FLastLoad = TLoadReport();
    try {
        Clear();
        const std::unique_ptr<TActionReader> reader = makeReader();
        const bool ok = reader->ReadAll(*this);
        FLastLoad = reader->Report;
        return ok;
    } catch (...) {
        FLastLoad.settingsUnreadable = true;
        return false;
    }
}

bool TActionKeys::LoadFromRegistry() {
    // One snapshot for the whole list: a commit by another process meanwhile
    // must not give the old count with the new actions. A store that cannot
    // be opened is reported by the reading itself.
    platform::RegistryTransaction snapshot(platform::TransactionKind::Read);
    snapshot.Begin();
    return LoadWith([this] { return std::make_unique<TRegActionReader>(KeyPath); });
}

bool TActionKeys::SaveToRegistry() {
    try {
        TRegActionWriter writer(KeyPath);
        return writer.WriteAll(*this);
    } catch (...) {
        return false;
    }
}

bool TActionKeys::LoadFromFile(const std::string& fileName) {
    FLastFileError.clear();
    if (!platform::IsRegularFile(fileName, FLastFileError)) return false;
    return LoadWith([&] {
        auto reader = std::make_unique<TFileActionReader>(KeyPath, fileName);
        FLastFileError = reader->Error();
        return reader;
    });
}

bool TActionKeys::SaveToFile(const std::string& fileName) {
    // The new profile is written beside the old one and replaces it only
    // when complete, so a failed save never costs the user the old file.
    FLastFileError.clear();
    try {
        TFileActionWriter writer(KeyPath, fileName);
        const bool ok = writer.WriteAll(*this) && writer.Commit();
        FLastFileError = writer.Error();
        return ok;
    } catch (...) {
        return false;
    }
}
