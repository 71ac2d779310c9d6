#include "platform/SqliteRegistry.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <unordered_map>

#include "platform/Numbers.h"
#include "platform/Unicode.h"
#include "platform/UserFolders.h"

namespace platform {

// What a failed SQLite call means for the user of the store.
RegStatus StoreFailure(sqlite3* db, const std::string& path, int rc);

namespace {

// "LGRG" in the database header marks a file as ours.
constexpr int kApplicationId = 0x4C475247;
constexpr int kSchemaVersion = 1;
constexpr sqlite3_int64 kRootId = 1;

constexpr const char* kTables = R"sql(
CREATE TABLE keys(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER REFERENCES keys(id),
    name TEXT NOT NULL,
    fold TEXT NOT NULL,
    UNIQUE(parent, fold));
INSERT INTO keys(id, parent, name, fold) VALUES(1, NULL, '', '');
CREATE TABLE vals(
    key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
    name TEXT NOT NULL,
    fold TEXT NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    UNIQUE(key, fold));
)sql";

// A new store: the tables, then the marks that tell it is ours.
const std::string& SchemaSql() {
    static const std::string sql =
        std::string(kTables) + "PRAGMA application_id = " + std::to_string(kApplicationId) +
        ";\nPRAGMA user_version = " + std::to_string(kSchemaVersion) + ";\n";
    return sql;
}

enum Stmt {
    kFindChild,
    kInsertKey,
    kKeyExists,
    kHasChildren,
    kChildren,
    kDeleteKey,
    kDeleteTree,
    kSetValue,
    kDeleteValue,
    kValues,
    kBegin,
    kBeginImmediate,
    kCommit,
    kRollback,
    kStmtCount
};

constexpr const char* kStmtSql[kStmtCount] = {
    "SELECT id, name FROM keys WHERE parent = ?1 AND fold = ?2",
    "INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)",
    "SELECT 1 FROM keys WHERE id = ?1",
    "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    "SELECT name FROM keys WHERE parent = ?1 ORDER BY fold",
    "DELETE FROM keys WHERE id = ?1",
    // The key and everything below it, at any depth; values go along.
    ("WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL "
     "SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
     "DELETE FROM keys WHERE id IN tree"),
    ("INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
     "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data"),
    "DELETE FROM vals WHERE key = ?1 AND fold = ?2",
    "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY rowid",
    "BEGIN",
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
};

// Resets a statement when the scope ends, so no read stays open.
class Use {
public:
    explicit Use(sqlite3_stmt* s) : s_(s) {}
    ~Use() {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    sqlite3_stmt* operator*() const { return s_; }

private:
    sqlite3_stmt* s_;
};

void BindText(sqlite3_stmt* s, int i, std::string_view t) {
    sqlite3_bind_text(s, i, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
}

std::string ColumnText(sqlite3_stmt* s, int i) {
    const auto* p = sqlite3_column_text(s, i);
    return p ? std::string(reinterpret_cast<const char*>(p),
                           static_cast<std::size_t>(sqlite3_column_bytes(s, i)))
             : std::string();
}

std::string ColumnBlob(sqlite3_stmt* s, int i) {
    const auto* p = static_cast<const char*>(sqlite3_column_blob(s, i));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(s, i))) : std::string();
}

// A row of the values query: name, type, data.
RegValue ColumnValue(sqlite3_stmt* s) {
    RegValue v;
    v.type = static_cast<std::uint32_t>(sqlite3_column_int64(s, 1));
    v.data = ColumnBlob(s, 2);
    return v;
}

class Connection {
public:
    Connection(sqlite3* db, std::string path, bool readOnly)
        : db_(db), path_(std::move(path)), readOnly_(readOnly) {}

    ~Connection() {
        // Like the platform, a store closed without a flush still keeps its
        // writes; an unfinished transaction keeps nothing.
        if (batch_) EndBatch(false);
        if (inWrite_) Commit();
        EndRead();
        for (auto* s : stmts_) sqlite3_finalize(s);
        sqlite3_close(db_);
    }

    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const std::string& path() const { return path_; }
    bool readOnly() const { return readOnly_; }

    RegStatus Prepare() {
        for (int i = 0; i < kStmtCount; ++i) {
            if (sqlite3_prepare_v3(db_, kStmtSql[i], -1, SQLITE_PREPARE_PERSISTENT, &stmts_[i],
                                   nullptr) != SQLITE_OK) {
                return Failure(sqlite3_errcode(db_));
            }
        }
        return RegStatus::Ok();
    }

    sqlite3_stmt* stmt(Stmt s) { return stmts_[s]; }

    // Runs a statement without results; SQLITE_OK when it went through.
    int Run(Stmt s) {
        sqlite3_stmt* q = stmts_[s];
        const int rc = sqlite3_step(q);
        sqlite3_reset(q);
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    }

    RegStatus Failure(int rc) {
        RegStatus s = StoreFailure(db_, path_, rc);
        if (batch_ && batchFailure_.ok()) batchFailure_ = s;
        return s;
    }

    RegStatus BeginWrite() {
        if (readOnly_) return Failure(SQLITE_READONLY);
        if (batch_) {
            if (batchLost_) return batchFailure_;
            if (!step_) {
                if (const int rc = Exec("SAVEPOINT step"); rc != SQLITE_OK) return Failure(rc);
                step_ = true;
            }
            return RegStatus::Ok();
        }
        if (inWrite_) return RegStatus::Ok();
        EndRead();
        const int rc = Run(kBeginImmediate);
        if (rc != SQLITE_OK) return Failure(rc);
        inWrite_ = true;
        return RegStatus::Ok();
    }

    // One read snapshot for every read until released, whatever keys open
    // and close meanwhile.
    RegStatus HoldSnapshot() {
        if (batch_ || holding_) {
            return RegStatus::Error(RegCode::AccessDenied, "a transaction is already open");
        }
        if (RegStatus s = Commit(); !s.ok()) return s;
        EndRead();
        holding_ = true;
        return RegStatus::Ok();
    }
    bool Holding() const { return holding_; }
    RegStatus ReleaseSnapshot() {
        holding_ = false;
        if (openKeys_ == 0) EndRead();
        return RegStatus::Ok();
    }

    // A transaction around many flushes: each flush ends a savepoint inside it.
    RegStatus BeginBatch() {
        if (readOnly_) return Failure(SQLITE_READONLY);
        if (batch_ || holding_) {
            return RegStatus::Error(RegCode::AccessDenied, "a transaction is already open");
        }
        if (RegStatus s = Commit(); !s.ok()) return s;
        EndRead();
        if (const int rc = Run(kBeginImmediate); rc != SQLITE_OK) return Failure(rc);
        inWrite_ = batch_ = true;
        step_ = batchLost_ = false;
        batchFailure_ = RegStatus::Ok();
        Changed();
        return RegStatus::Ok();
    }

    RegStatus EndBatch(bool commit) {
        if (!batch_) return RegStatus::Error(RegCode::StoreError, "no transaction is open");
        RegStatus result = batchFailure_;
        if (commit && !batchLost_) {
            int rc = step_ ? Exec("RELEASE step") : SQLITE_OK;
            if (rc == SQLITE_OK) rc = Run(kCommit);
            result = rc == SQLITE_OK ? RegStatus::Ok() : Failure(rc);
        }
        if (!sqlite3_get_autocommit(db_)) Run(kRollback);
        batch_ = step_ = batchLost_ = false;
        inWrite_ = inRead_ = false;
        Changed();
        return result;
    }

    RegStatus Commit() {
        if (batch_) {
            if (batchLost_) return batchFailure_;
            if (step_) {
                if (const int rc = Exec("RELEASE step"); rc != SQLITE_OK) {
                    RegStatus failure = Failure(rc);
                    Rollback();
                    return failure;
                }
                step_ = false;
            }
            return RegStatus::Ok();
        }
        if (!inWrite_) return RegStatus::Ok();
        const int rc = Run(kCommit);
        if (rc == SQLITE_OK) {
            inWrite_ = false;
            Changed();
            return RegStatus::Ok();
        }
        RegStatus failure = Failure(rc);
        Rollback();
        return failure;
    }

    void Rollback() {
        if (batch_) {
            if (step_ && !batchLost_) {
                if (Exec("ROLLBACK TO step") != SQLITE_OK || Exec("RELEASE step") != SQLITE_OK)
                    LoseBatch();
            }
            step_ = false;
            Changed();
            return;
        }
        if (!sqlite3_get_autocommit(db_)) Run(kRollback);
        inWrite_ = inRead_ = false;
        Changed();
    }

    // After a failed statement SQLite may have rolled the transaction back.
    void NoteStatementFailure() {
        if (sqlite3_get_autocommit(db_)) {
            inWrite_ = inRead_ = false;
            if (batch_) LoseBatch();
        }
        Changed();
    }

    // The transaction is gone: nothing more may be written until it ends,
    // or later writes would be committed on their own.
    void LoseBatch() {
        batchLost_ = true;
        step_ = false;
        if (batchFailure_.ok()) {
            batchFailure_ = RegStatus::Error(RegCode::StoreError,
                                             "settings store '" + path_ + "': the commit failed");
        }
    }

    int Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }

    // Counts every change of what this connection may see, so that cached
    // values know when to be read again.
    void Changed() { ++generation_; }
    std::uint64_t generation() const { return generation_; }

    // Reads share one snapshot while any key handle is open: one lock for
    // all of them instead of one per statement, and values that agree.
    void BeginRead() {
        if (inWrite_ || inRead_) return;
        if (Run(kBegin) == SQLITE_OK) inRead_ = true;
    }

    void EndRead() {
        if (!inRead_) return;
        Run(kCommit);
        inRead_ = false;
        Changed();
    }

    void KeyOpened() { ++openKeys_; }
    void KeyClosed() {
        if (--openKeys_ == 0 && !holding_) EndRead();
    }
    void EndReadIfIdle() {
        if (openKeys_ == 0 && !holding_) EndRead();
    }

    bool KeyExists(sqlite3_int64 id) {
        BeginRead();
        Use q(stmt(kKeyExists));
        sqlite3_bind_int64(*q, 1, id);
        return sqlite3_step(*q) == SQLITE_ROW;
    }

    // Walks the path from the root, creating missing keys when asked.
    RegStatus Resolve(std::string_view path, bool create, sqlite3_int64& id,
                      std::string& canonical) {
        std::vector<std::string_view> names;
        if (RegStatus s = SplitKeyPath(path, names); !s.ok()) return s;
        // A key made by another process between our look and our insert
        // must be found, not inserted twice: creating looks under the write lock.
        if (create) {
            if (RegStatus s = BeginWrite(); !s.ok()) return s;
        }
        BeginRead();
        id = kRootId;
        canonical.clear();
        for (std::string_view name : names) {
            const std::string fold = FoldCase(name);
            sqlite3_int64 child = 0;
            std::string stored;
            {
                Use q(stmt(kFindChild));
                sqlite3_bind_int64(*q, 1, id);
                BindText(*q, 2, fold);
                const int rc = sqlite3_step(*q);
                if (rc == SQLITE_ROW) {
                    child = sqlite3_column_int64(*q, 0);
                    stored = ColumnText(*q, 1);
                } else if (rc != SQLITE_DONE) {
                    return Failure(rc);
                }
            }
            if (child == 0) {
                if (!create) {
                    return RegStatus::Error(RegCode::NotFound,
                                            "key '" + std::string(path) + "' does not exist");
                }
                if (RegStatus s = BeginWrite(); !s.ok()) return s;
                Use ins(stmt(kInsertKey));
                sqlite3_bind_int64(*ins, 1, id);
                BindText(*ins, 2, name);
                BindText(*ins, 3, fold);
                if (const int rc = sqlite3_step(*ins); rc != SQLITE_DONE) {
                    NoteStatementFailure();
                    return Failure(rc);
                }
                child = sqlite3_last_insert_rowid(db_);
                stored = std::string(name);
            }
            if (!canonical.empty()) canonical += '\\';
            canonical += stored;
            id = child;
        }
        return RegStatus::Ok();
    }

private:
    sqlite3* db_;
    std::string path_;
    bool readOnly_;
    bool inWrite_ = false;
    bool inRead_ = false;
    bool holding_ = false;    // a read transaction holds one snapshot
    bool batch_ = false;      // a transaction groups the flushes
    bool step_ = false;       // a savepoint since the last flush is open in it
    bool batchLost_ = false;  // SQLite rolled the transaction back on its own
    RegStatus batchFailure_;  // the first failure met inside the transaction
    int openKeys_ = 0;
    std::uint64_t generation_ = 0;
    sqlite3_stmt* stmts_[kStmtCount] = {};
};

class SqliteKey final : public RegistryKey {
public:
    SqliteKey(std::shared_ptr<Connection> c, sqlite3_int64 id, std::string path, RegAccess access)
        : c_(std::move(c)), id_(id), path_(std::move(path)), access_(access) {
        c_->KeyOpened();
    }
    ~SqliteKey() override { c_->KeyClosed(); }
    SqliteKey(const SqliteKey&) = delete;
    SqliteKey& operator=(const SqliteKey&) = delete;

    const std::string& Path() const override { return path_; }
    RegAccess Access() const override { return access_; }

    RegStatus QueryValue(std::string_view name, RegValue& value) override {
        if (RegStatus s = CheckValueName(name); !s.ok()) return s;
        if (RegStatus s = LoadValues(); !s.ok()) return s;
        if (auto it = cache_.find(FoldCase(name)); it != cache_.end()) {
            value = it->second;
            return RegStatus::Ok();
        }
        if (RegStatus s = CheckAlive(); !s.ok()) return s;
        return RegStatus::Error(RegCode::NotFound,
                                "value '" + std::string(name) + "' does not exist");
    }

    RegStatus SetValue(std::string_view name, const RegValue& value) override {
        if (RegStatus s = CheckWritable(name); !s.ok()) return s;
        if (RegStatus s = c_->BeginWrite(); !s.ok()) return s;
        Use q(c_->stmt(kSetValue));
        sqlite3_bind_int64(*q, 1, id_);
        BindText(*q, 2, name);
        BindText(*q, 3, FoldCase(name));
        sqlite3_bind_int64(*q, 4, value.type);
        sqlite3_bind_blob(*q, 5, value.data.data(), static_cast<int>(value.data.size()),
                          SQLITE_TRANSIENT);
        const int rc = sqlite3_step(*q);
        if (rc == SQLITE_DONE) {
            c_->Changed();
            return RegStatus::Ok();
        }
        c_->NoteStatementFailure();
        if ((rc & 0xFF) == SQLITE_CONSTRAINT) return Deleted();
        return c_->Failure(rc);
    }

    RegStatus DeleteValue(std::string_view name) override {
        if (RegStatus s = CheckWritable(name); !s.ok()) return s;
        // QueryValue tells a deleted key from a missing value.
        RegValue existing;
        if (RegStatus s = QueryValue(name, existing); !s.ok()) return s;
        if (RegStatus s = c_->BeginWrite(); !s.ok()) return s;
        Use q(c_->stmt(kDeleteValue));
        sqlite3_bind_int64(*q, 1, id_);
        BindText(*q, 2, FoldCase(name));
        if (const int rc = sqlite3_step(*q); rc != SQLITE_DONE) {
            c_->NoteStatementFailure();
            return c_->Failure(rc);
        }
        c_->Changed();
        return RegStatus::Ok();
    }

    RegStatus EnumSubKeys(std::vector<std::string>& names) override {
        names.clear();
        if (RegStatus s = CheckAlive(); !s.ok()) return s;
        c_->BeginRead();
        Use q(c_->stmt(kChildren));
        sqlite3_bind_int64(*q, 1, id_);
        int rc;
        while ((rc = sqlite3_step(*q)) == SQLITE_ROW) names.push_back(ColumnText(*q, 0));
        return rc == SQLITE_DONE ? RegStatus::Ok() : c_->Failure(rc);
    }

    RegStatus EnumValues(std::vector<std::pair<std::string, RegValue>>& values) override {
        values.clear();
        if (RegStatus s = CheckAlive(); !s.ok()) return s;
        c_->BeginRead();
        Use q(c_->stmt(kValues));
        sqlite3_bind_int64(*q, 1, id_);
        int rc;
        while ((rc = sqlite3_step(*q)) == SQLITE_ROW) {
            values.emplace_back(ColumnText(*q, 0), ColumnValue(*q));
        }
        return rc == SQLITE_DONE ? RegStatus::Ok() : c_->Failure(rc);
    }

private:
    // A key's values are read in one go and kept until anything changes;
    // the registry's callers read many values of one key at a time.
    RegStatus LoadValues() {
        c_->BeginRead();
        if (cacheGeneration_ == c_->generation()) return RegStatus::Ok();
        cache_.clear();
        Use q(c_->stmt(kValues));
        sqlite3_bind_int64(*q, 1, id_);
        int rc;
        while ((rc = sqlite3_step(*q)) == SQLITE_ROW) {
            cache_.emplace(FoldCase(ColumnText(*q, 0)), ColumnValue(*q));
        }
        if (rc != SQLITE_DONE) {
            cache_.clear();
            return c_->Failure(rc);
        }
        cacheGeneration_ = c_->generation();
        return RegStatus::Ok();
    }

    RegStatus Deleted() const {
        return RegStatus::Error(RegCode::KeyDeleted, "key '" + path_ + "' has been deleted");
    }

    RegStatus CheckAlive() { return c_->KeyExists(id_) ? RegStatus::Ok() : Deleted(); }

    RegStatus CheckWritable(std::string_view name) const {
        if (RegStatus s = CheckValueName(name); !s.ok()) return s;
        if (access_ != RegAccess::ReadWrite) {
            return RegStatus::Error(RegCode::AccessDenied,
                                    "key '" + path_ + "' is open for reading only");
        }
        return RegStatus::Ok();
    }

    std::shared_ptr<Connection> c_;
    sqlite3_int64 id_;
    std::string path_;
    RegAccess access_;
    std::unordered_map<std::string, RegValue> cache_;
    std::uint64_t cacheGeneration_ = ~std::uint64_t{0};
};

class SqliteHive final : public RegistryHive {
public:
    explicit SqliteHive(std::shared_ptr<Connection> c) : c_(std::move(c)) {}

    const std::string& Location() const override { return c_->path(); }
    bool ReadOnly() const override { return c_->readOnly(); }

    RegStatus OpenKey(std::string_view path, RegAccess access,
                      std::unique_ptr<RegistryKey>& key) override {
        RegStatus s = Open(path, access, key);
        c_->EndReadIfIdle();
        return s;
    }

    RegStatus CreateKey(std::string_view path, std::unique_ptr<RegistryKey>& key) override {
        RegStatus s = Create(path, key);
        c_->EndReadIfIdle();
        return s;
    }

    RegStatus DeleteKey(std::string_view path) override {
        RegStatus s = Delete(path, kDeleteKey);
        c_->EndReadIfIdle();
        return s;
    }
    RegStatus DeleteKeyTree(std::string_view path) override {
        RegStatus s = Delete(path, kDeleteTree);
        c_->EndReadIfIdle();
        return s;
    }

    RegStatus Flush() override { return c_->Commit(); }
    void Discard() override { c_->Rollback(); }
    RegStatus BeginTransaction(TransactionKind kind) override {
        return kind == TransactionKind::Write ? c_->BeginBatch() : c_->HoldSnapshot();
    }
    RegStatus EndTransaction(bool commit) override {
        return c_->Holding() ? c_->ReleaseSnapshot() : c_->EndBatch(commit);
    }

private:
    RegStatus Open(std::string_view path, RegAccess access, std::unique_ptr<RegistryKey>& key) {
        if (access == RegAccess::ReadWrite && c_->readOnly()) {
            return RegStatus::Error(RegCode::AccessDenied,
                                    "settings store '" + c_->path() + "' is open for reading only");
        }
        sqlite3_int64 id;
        std::string canonical;
        if (RegStatus s = c_->Resolve(path, false, id, canonical); !s.ok()) return s;
        key = std::make_unique<SqliteKey>(c_, id, std::move(canonical), access);
        return RegStatus::Ok();
    }

    RegStatus Create(std::string_view path, std::unique_ptr<RegistryKey>& key) {
        if (c_->readOnly()) {
            return RegStatus::Error(RegCode::AccessDenied,
                                    "settings store '" + c_->path() + "' is open for reading only");
        }
        sqlite3_int64 id;
        std::string canonical;
        if (RegStatus s = c_->Resolve(path, true, id, canonical); !s.ok()) return s;
        key = std::make_unique<SqliteKey>(c_, id, std::move(canonical), RegAccess::ReadWrite);
        return RegStatus::Ok();
    }

    // One key (kDeleteKey, which refuses a key with subkeys) or a whole tree.
    RegStatus Delete(std::string_view path, Stmt how) {
        if (c_->readOnly()) {
            return RegStatus::Error(RegCode::AccessDenied,
                                    "settings store '" + c_->path() + "' is open for reading only");
        }
        sqlite3_int64 id;
        std::string canonical;
        if (RegStatus s = c_->Resolve(path, false, id, canonical); !s.ok()) return s;
        if (id == kRootId) {
            return RegStatus::Error(RegCode::AccessDenied, "the hive's root cannot be deleted");
        }
        if (how == kDeleteKey) {
            Use q(c_->stmt(kHasChildren));
            sqlite3_bind_int64(*q, 1, id);
            if (sqlite3_step(*q) == SQLITE_ROW) {
                return RegStatus::Error(RegCode::HasSubkeys, "key '" + canonical + "' has subkeys");
            }
        }
        if (RegStatus s = c_->BeginWrite(); !s.ok()) return s;
        Use q(c_->stmt(how));
        sqlite3_bind_int64(*q, 1, id);
        if (const int rc = sqlite3_step(*q); rc != SQLITE_DONE) {
            c_->NoteStatementFailure();
            return c_->Failure(rc);
        }
        c_->Changed();
        return RegStatus::Ok();
    }

    std::shared_ptr<Connection> c_;
};

RegStatus NotAStore(const std::string& path, const std::string& why) {
    return RegStatus::Error(RegCode::StoreError,
                            "'" + path + "' is not a Lumagrabber settings store (" + why + ")");
}

// Reads the header marks. A database without tables and marks holds nothing
// yet: a new file, or one whose first transaction was rolled back.
RegStatus ReadMarks(sqlite3* db, const std::string& path, int& appId, int& version, int& tables) {
    // One statement, so all three come from one snapshot: read apart, they
    // could straddle another process's creation of the store and contradict
    // each other.
    static constexpr const char* kMarks =
        "SELECT (SELECT application_id FROM pragma_application_id), "
        "(SELECT user_version FROM pragma_user_version), "
        "(SELECT count(*) FROM sqlite_master)";
    sqlite3_stmt* s = nullptr;
    int rc = sqlite3_prepare_v2(db, kMarks, -1, &s, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(s);
        if (rc == SQLITE_ROW) {
            appId = sqlite3_column_int(s, 0);
            version = sqlite3_column_int(s, 1);
            tables = sqlite3_column_int(s, 2);
        }
    }
    const int fin = sqlite3_finalize(s);
    if (rc == SQLITE_ROW) return RegStatus::Ok();
    // A busy, locked or unreadable file says what it is; only one SQLite
    // cannot make sense of is "not a store".
    return StoreFailure(db, path, rc == SQLITE_OK || rc == SQLITE_DONE ? fin : rc);
}

// Lays down the schema in a database that is still empty. Two processes may
// race here; the immediate transaction lets only one of them write it.
RegStatus Initialise(sqlite3* db, const std::string& path) {
    auto fail = [&](int rc) {
        RegStatus s = StoreFailure(db, path, rc);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return s;
    };
    int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return fail(rc);
    int appId = 0, version = 0, tables = 0;
    if (RegStatus s = ReadMarks(db, path, appId, version, tables); !s.ok()) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return s;
    }
    if (appId == 0 && tables == 0 &&
        (rc = sqlite3_exec(db, SchemaSql().c_str(), nullptr, nullptr, nullptr)) != SQLITE_OK) {
        return fail(rc);
    }
    if ((rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr)) != SQLITE_OK) return fail(rc);
    // Readers then never wait for a writer, and a killed writer leaves the
    // last committed state.
    sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    return RegStatus::Ok();
}

RegStatus OpenDatabase(const std::string& path, int flags, int busyTimeoutMs, sqlite3*& db) {
    db = nullptr;
    const int rc =
        sqlite3_open_v2(path.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI, nullptr);
    if (rc == SQLITE_OK) {
        // From the first read on, header included, another process's commit
        // is waited for rather than reported.
        sqlite3_busy_timeout(db, busyTimeoutMs);
        return RegStatus::Ok();
    }
    std::string what = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close(db);
    db = nullptr;
    return RegStatus::Error(RegCode::StoreError,
                            "cannot open settings store '" + path + "': " + what);
}

// The store's folder is private: made 0700, and our own folder narrowed to
// 0700 where an older version left it open to others.
bool MakePrivateFolder(const std::filesystem::path& folder) {
    if (folder.empty()) return true;
    struct stat st = {};
    if (::stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) != 0 &&
            folder.filename() == "lumagrabber") {
            ::chmod(folder.c_str(), st.st_mode & 0700);
        }
        return S_ISDIR(st.st_mode);
    }
    if (!MakePrivateFolder(folder.parent_path())) return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

// The store and the journal files SQLite makes beside it (which copy the
// store's mode) are readable by their owner alone, whatever the umask. A
// store read while its file was read-only left journals of that mode: once
// the store may be written again, so may they.
void MakePrivateFiles(const std::string& path) {
    struct stat store = {};
    const bool storeWritable = ::lstat(path.c_str(), &store) == 0 && (store.st_mode & 0200);
    for (const char* suffix : {"", "-wal", "-shm"}) {
        const std::string file = path + suffix;
        struct stat st = {};
        if (::lstat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        mode_t mode = st.st_mode & 0700;
        if (*suffix && storeWritable) mode |= 0600;
        if (mode != (st.st_mode & 07777)) ::chmod(file.c_str(), mode);
    }
}

// A new store starts as an empty private file, so that SQLite's own files
// beside it are private too.
void CreateEmptyPrivateFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0) ::close(fd);
}

bool FolderWritable(const std::string& path) {
    const auto folder = std::filesystem::path(path).parent_path();
    return ::access(folder.empty() ? "." : folder.c_str(), W_OK) == 0;
}

RegStatus Finish(sqlite3* db, const std::string& path, bool readOnly,
                 std::unique_ptr<RegistryHive>& hive) {
    sqlite3_exec(db, "PRAGMA foreign_keys=ON", nullptr, nullptr, nullptr);
    // Each commit is atomic and survives a killed process; closing the store
    // checkpoints, which makes the writes durable on disk.
    sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    auto c = std::make_shared<Connection>(db, path, readOnly);
    if (RegStatus s = c->Prepare(); !s.ok()) return s;
    hive = std::make_unique<SqliteHive>(std::move(c));
    return RegStatus::Ok();
}

RegStatus OpenEmptyReadOnly(const std::string& path, int busyTimeoutMs,
                            std::unique_ptr<RegistryHive>& hive) {
    sqlite3* db = nullptr;
    if (RegStatus s = OpenDatabase(":memory:", SQLITE_OPEN_READWRITE, busyTimeoutMs, db); !s.ok())
        return s;
    sqlite3_exec(db, SchemaSql().c_str(), nullptr, nullptr, nullptr);
    return Finish(db, path, true, hive);
}

// A store that cannot be written: its file or its folder is read-only.
// Without a writable folder SQLite cannot make its shared-memory file, so
// the store is read as an unchanging file, which it is for us.
RegStatus OpenReadOnly(const std::string& path, int busyTimeoutMs, sqlite3*& db) {
    if (FolderWritable(path)) {
        return OpenDatabase(path, SQLITE_OPEN_READONLY, busyTimeoutMs, db);
    }
    std::string uri = "file:";
    for (unsigned char c : path) {
        if (std::isalnum(c) || std::strchr("/._-~", c)) {
            uri += static_cast<char>(c);
        } else {
            uri += PercentEscaped(c);
        }
    }
    uri += "?immutable=1";
    RegStatus s = OpenDatabase(uri, SQLITE_OPEN_READONLY, busyTimeoutMs, db);
    if (!s.ok()) s.message = "cannot open settings store '" + path + "' for reading";
    return s;
}

}  // namespace

RegStatus StoreFailure(sqlite3* db, const std::string& path, int rc) {
    const std::string what = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    const std::string store = "settings store '" + path + "'";
    // A full disk often shows as an I/O error of the journal or the shared
    // memory file: the system's own error tells.
    if ((rc & 0xFF) == SQLITE_IOERR && db && sqlite3_system_errno(db) == ENOSPC) rc = SQLITE_FULL;
    switch (rc & 0xFF) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return RegStatus::Error(RegCode::Busy,
                                    store + " is busy in another process; try again later");
        case SQLITE_READONLY:
        case SQLITE_PERM:
            return RegStatus::Error(RegCode::AccessDenied, store + " is read-only");
        case SQLITE_FULL:
            return RegStatus::Error(RegCode::StoreError,
                                    store + " cannot be written: the disk is full");
        case SQLITE_CANTOPEN:
            return RegStatus::Error(RegCode::StoreError,
                                    store + " cannot be opened (" + what + ")");
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            return NotAStore(path, what);
        default:
            return RegStatus::Error(RegCode::StoreError, store + ": " + what);
    }
}

RegStatus OpenSqliteHive(const SqliteHiveOptions& options, std::unique_ptr<RegistryHive>& hive) {
    const std::string& path = options.path;
    hive.reset();
    if (path.empty()) return RegStatus::Error(RegCode::StoreError, "no settings store path given");

    struct stat st = {};
    bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) return NotAStore(path, "not a regular file");

    sqlite3* db = nullptr;
    bool readOnly = options.readOnly;
    RegStatus opened = RegStatus::Error(RegCode::StoreError, "");
    if (!readOnly && MakePrivateFolder(std::filesystem::path(path).parent_path()) &&
        FolderWritable(path)) {
        if (!exists) CreateEmptyPrivateFile(path);
        MakePrivateFiles(path);
        opened = OpenDatabase(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                              options.busyTimeoutMs, db);
        exists = ::stat(path.c_str(), &st) == 0;
    }
    if (!opened.ok()) {
        // Nowhere to create it: an empty hive that can only be read.
        if (!exists) return OpenEmptyReadOnly(path, options.busyTimeoutMs, hive);
        readOnly = true;
        if (RegStatus s = OpenReadOnly(path, options.busyTimeoutMs, db); !s.ok()) return s;
    }

    int appId = 0, version = 0, tables = 0;
    RegStatus marks = ReadMarks(db, path, appId, version, tables);
    if (!marks.ok() && !readOnly && (marks.code == RegCode::AccessDenied)) {
        // The file itself is read-only: read it as such.
        sqlite3_close(db);
        readOnly = true;
        if (RegStatus s = OpenReadOnly(path, options.busyTimeoutMs, db); !s.ok()) return s;
        marks = ReadMarks(db, path, appId, version, tables);
    }
    if (marks.ok() && appId == 0 && tables == 0) {
        // Nothing in it to lose: lay down a new store.
        if (readOnly) {
            sqlite3_close(db);
            return OpenEmptyReadOnly(path, options.busyTimeoutMs, hive);
        }
        marks = Initialise(db, path);
        if (marks.ok()) marks = ReadMarks(db, path, appId, version, tables);
    }
    if (marks.ok() && appId != kApplicationId)
        marks = NotAStore(path, "a database of another kind");
    if (marks.ok() && version > kSchemaVersion) {
        marks = RegStatus::Error(RegCode::StoreError,
                                 "settings store '" + path + "' was written by a newer version");
    }
    if (!marks.ok()) {
        sqlite3_close(db);
        return marks;
    }
    if (!readOnly && sqlite3_db_readonly(db, "main") == 1) readOnly = true;
    return Finish(db, path, readOnly, hive);
}

std::string DefaultStorePath() {
    if (const char* p = std::getenv("LUMAGRABBER_REGISTRY"); p && *p) return p;
    // Without any home, a path that still names a place (as before).
    const std::string config = ConfigFolder();
    return (config.empty() ? std::string("/tmp/.config") : config) + "/lumagrabber/registry.db";
}

}  // namespace platform
