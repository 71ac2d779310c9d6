// A private settings store for one test: a fresh directory, with
// LUMAGRABBER_REGISTRY pointing into it while the object lives.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Registry.h"

namespace testsupport {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A private XDG_RUNTIME_DIR for the named objects of one test.
class TempRuntimeDir {
public:
    TempRuntimeDir();
    ~TempRuntimeDir();
    const std::string& path() const { return dir_.path(); }

private:
    TempDir dir_;
    std::string previous_;
    bool hadPrevious_ = false;
};

class TempStore {
public:
    TempStore();
    ~TempStore();
    const std::string& path() const { return path_; }
    const TempDir& dir() const { return dir_; }

    // Direct access to the store, for seeding and checking.
    std::unique_ptr<platform::RegistryHive> Open(bool readOnly = false) const;
    void SetString(const std::string& key, const std::string& name, const std::string& text) const;
    void SetDword(const std::string& key, const std::string& name, std::uint32_t value) const;
    void SetRaw(const std::string& key, const std::string& name, const platform::RegValue& v) const;
    void CreateKey(const std::string& key) const;
    bool KeyExists(const std::string& key) const;
    // The value, or nullopt-like false when missing.
    bool Get(const std::string& key, const std::string& name, platform::RegValue& v) const;
    std::string GetString(const std::string& key, const std::string& name) const;
    std::uint32_t GetDword(const std::string& key, const std::string& name) const;
    bool ValueExists(const std::string& key, const std::string& name) const;
    // A chain of levels keys "d" below the existing key path, written past
    // the store's depth limit as another program could.
    void NestBeyondTheLimit(const std::string& path, int levels) const;
    std::size_t KeyCount() const;
    // Every key below path with its values, one line each, for comparing
    // whole stores.
    std::string Dump(const std::string& path = "") const;

private:
    TempDir dir_;
    std::string path_;
    std::string previous_;
    bool hadPrevious_ = false;
};

// While it lives, the current user's hive is the test store opened for
// reading only, as when the store's file cannot be written.
class ReadOnlyStoreInPlace {
public:
    explicit ReadOnlyStoreInPlace(const TempStore& store);
    ~ReadOnlyStoreInPlace();
    ReadOnlyStoreInPlace(const ReadOnlyStoreInPlace&) = delete;
    ReadOnlyStoreInPlace& operator=(const ReadOnlyStoreInPlace&) = delete;

private:
    platform::HiveOpener previous_;
};

// Runs body in a child process as a user without privileges, so that file
// permissions apply even when the tests run as root; returns its exit code.
// The child sees the same environment; paths it needs must be open to it.
int RunUnprivileged(const std::function<int()>& body);
// True when RunUnprivileged changes the user (the tests run as root).
bool RunningAsRoot();

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

}  // namespace testsupport
