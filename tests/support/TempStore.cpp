#include "tests/support/TempStore.h"

#include <sqlite3.h>

#include "platform/Unicode.h"

#include <algorithm>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "platform/SqliteRegistry.h"

namespace testsupport {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lgtest.XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

TempRuntimeDir::TempRuntimeDir() {
    if (const char* p = std::getenv("XDG_RUNTIME_DIR")) {
        hadPrevious_ = true;
        previous_ = p;
    }
    ::setenv("XDG_RUNTIME_DIR", dir_.path().c_str(), 1);
}

TempRuntimeDir::~TempRuntimeDir() {
    if (hadPrevious_) {
        ::setenv("XDG_RUNTIME_DIR", previous_.c_str(), 1);
    } else {
        ::unsetenv("XDG_RUNTIME_DIR");
    }
}

TempStore::TempStore() : path_(dir_.file("registry.db")) {
    if (const char* p = std::getenv("LUMAGRABBER_REGISTRY")) {
        hadPrevious_ = true;
        previous_ = p;
    }
    ::setenv("LUMAGRABBER_REGISTRY", path_.c_str(), 1);
}

TempStore::~TempStore() {
    if (hadPrevious_) {
        ::setenv("LUMAGRABBER_REGISTRY", previous_.c_str(), 1);
    } else {
        ::unsetenv("LUMAGRABBER_REGISTRY");
    }
}

std::unique_ptr<platform::RegistryHive> TempStore::Open(bool readOnly) const {
    platform::SqliteHiveOptions options;
    options.path = path_;
    options.readOnly = readOnly;
    std::unique_ptr<platform::RegistryHive> hive;
    platform::RegStatus s = platform::OpenSqliteHive(options, hive);
    if (!s.ok()) throw std::runtime_error("cannot open test store: " + s.message);
    return hive;
}

void TempStore::SetRaw(const std::string& key, const std::string& name,
                       const platform::RegValue& v) const {
    auto hive = Open();
    std::unique_ptr<platform::RegistryKey> k;
    if (!hive->CreateKey(key, k).ok() || !k->SetValue(name, v).ok() || !hive->Flush().ok()) {
        throw std::runtime_error("cannot seed " + key + "\\" + name);
    }
}

void TempStore::SetString(const std::string& key, const std::string& name,
                          const std::string& text) const {
    SetRaw(key, name, platform::RegValue::String(text));
}

void TempStore::SetDword(const std::string& key, const std::string& name,
                         std::uint32_t value) const {
    SetRaw(key, name, platform::RegValue::Dword(value));
}

void TempStore::CreateKey(const std::string& key) const {
    auto hive = Open();
    std::unique_ptr<platform::RegistryKey> k;
    if (!hive->CreateKey(key, k).ok() || !hive->Flush().ok()) {
        throw std::runtime_error("cannot create " + key);
    }
}

bool TempStore::KeyExists(const std::string& key) const {
    auto hive = Open(true);
    std::unique_ptr<platform::RegistryKey> k;
    return hive->OpenKey(key, platform::RegAccess::Read, k).ok();
}

bool TempStore::Get(const std::string& key, const std::string& name, platform::RegValue& v) const {
    auto hive = Open(true);
    std::unique_ptr<platform::RegistryKey> k;
    return hive->OpenKey(key, platform::RegAccess::Read, k).ok() && k->QueryValue(name, v).ok();
}

bool TempStore::ValueExists(const std::string& key, const std::string& name) const {
    platform::RegValue v;
    return Get(key, name, v);
}

std::string TempStore::GetString(const std::string& key, const std::string& name) const {
    platform::RegValue v;
    std::string text;
    if (!Get(key, name, v) || !platform::DecodeString(v, text)) {
        throw std::runtime_error("no string " + key + "\\" + name);
    }
    return text;
}

std::uint32_t TempStore::GetDword(const std::string& key, const std::string& name) const {
    platform::RegValue v;
    std::uint32_t n;
    if (!Get(key, name, v) || !platform::DecodeDword(v, n)) {
        throw std::runtime_error("no dword " + key + "\\" + name);
    }
    return n;
}

std::string TempStore::Dump(const std::string& path) const {
    auto hive = Open(true);
    std::vector<std::string> paths;
    if (!platform::ListKeyTree(*hive, path, paths).ok()) return "(no such key)";
    std::string out;
    for (const std::string& p : paths) {
        std::unique_ptr<platform::RegistryKey> k;
        std::vector<std::pair<std::string, platform::RegValue>> values;
        if (!hive->OpenKey(p, platform::RegAccess::Read, k).ok() || !k->EnumValues(values).ok()) {
            throw std::runtime_error("cannot read " + p);
        }
        out += "[" + p + "]\n";
        for (const auto& [name, v] : values) {
            out += name + "=" + std::to_string(v.type) + ":" + v.data + "\n";
        }
    }
    return out;
}

ReadOnlyStoreInPlace::ReadOnlyStoreInPlace(const TempStore& store) {
    const std::string path = store.path();
    previous_ = platform::SetCurrentUserHiveOpener([path](auto& hive) {
        platform::SqliteHiveOptions o;
        o.path = path;
        o.readOnly = true;
        return platform::OpenSqliteHive(o, hive);
    });
}

ReadOnlyStoreInPlace::~ReadOnlyStoreInPlace() {
    platform::SetCurrentUserHiveOpener(previous_);
}

bool RunningAsRoot() {
    return ::geteuid() == 0;
}

int RunUnprivileged(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        if (RunningAsRoot() &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            _exit(125);
        }
        _exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void TempStore::NestBeyondTheLimit(const std::string& path, int levels) const {
    sqlite3* db = nullptr;
    sqlite3_open(path_.c_str(), &db);
    sqlite3_int64 id = 1;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        const std::string fold = platform::FoldCase(path.substr(start, end - start));
        sqlite3_stmt* q = nullptr;
        sqlite3_prepare_v2(db, "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2", -1, &q,
                           nullptr);
        sqlite3_bind_int64(q, 1, id);
        sqlite3_bind_text(q, 2, fold.c_str(), -1, SQLITE_TRANSIENT);
        id = sqlite3_step(q) == SQLITE_ROW ? sqlite3_column_int64(q, 0) : -1;
        sqlite3_finalize(q);
        start = end + 1;
    }
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (int i = 0; i < levels && id > 0; ++i) {
        sqlite3_stmt* q = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO keys(parent, name, fold) VALUES(?1, 'd', ?2)", -1, &q,
                           nullptr);
        sqlite3_bind_int64(q, 1, id);
        sqlite3_bind_text(q, 2, platform::FoldCase("d").c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_step(q);
        sqlite3_finalize(q);
        id = sqlite3_last_insert_rowid(db);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

std::size_t TempStore::KeyCount() const {
    sqlite3* db = nullptr;
    sqlite3_open(path_.c_str(), &db);
    sqlite3_stmt* q = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM keys", -1, &q, nullptr);
    const std::size_t n =
        sqlite3_step(q) == SQLITE_ROW ? static_cast<std::size_t>(sqlite3_column_int64(q, 0)) : 0;
    sqlite3_finalize(q);
    sqlite3_close(db);
    return n;
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace testsupport
