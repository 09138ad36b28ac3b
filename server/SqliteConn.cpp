// The embedded engine: one file, WAL, every commit synced before it returns.
#include <sqlite3.h>

#include <map>

#include "server/SqlConn.h"

namespace {

// A compiled statement kept by its connection for the next use of the same text.
struct SCached {
    sqlite3_stmt* pStmt = nullptr;
    bool bInUse = false;
};

class CSqliteStmt : public CSqlStmt {
public:
    CSqliteStmt(sqlite3* pDb, sqlite3_stmt* pStmt, SCached* pCache)
        : m_pDb(pDb), m_pStmt(pStmt), m_pCache(pCache) {}
    ~CSqliteStmt() override {
        if (m_pCache) {
            sqlite3_reset(m_pStmt);
            sqlite3_clear_bindings(m_pStmt);
            m_pCache->bInUse = false;
        } else {
            sqlite3_finalize(m_pStmt);
        }
    }
    void Bind(int i, int64_t n) override { sqlite3_bind_int64(m_pStmt, i, n); }
    void Bind(int i, const std::string& s) override {
        sqlite3_bind_text(m_pStmt, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    }
    void BindBlob(int i, const std::string& s) override {
        sqlite3_bind_blob(m_pStmt, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
    }
    void BindNull(int i) override { sqlite3_bind_null(m_pStmt, i); }
    bool Step() override {
        if (m_bDone)
            return false;
        const int rc = sqlite3_step(m_pStmt);
        if (rc == SQLITE_ROW)
            return true;
        m_bDone = true;
        m_bFailed = rc != SQLITE_DONE;
        m_nChanges = m_bFailed ? 0 : sqlite3_changes(m_pDb);
        return false;
    }
    bool Failed() const override { return m_bFailed; }
    int64_t Int(int c) const override { return sqlite3_column_int64(m_pStmt, c); }
    std::string Text(int c) const override {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_pStmt, c));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(m_pStmt, c)))
                 : std::string();
    }
    std::string Blob(int c) const override {
        const auto* p = static_cast<const char*>(sqlite3_column_blob(m_pStmt, c));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(m_pStmt, c)))
                 : std::string();
    }
    bool Null(int c) const override { return sqlite3_column_type(m_pStmt, c) == SQLITE_NULL; }
    int64_t Changes() const override { return m_nChanges; }

private:
    sqlite3* m_pDb;
    sqlite3_stmt* m_pStmt;
    SCached* m_pCache;
    bool m_bDone = false;
    bool m_bFailed = false;
    int64_t m_nChanges = 0;
};

class CSqliteConn : public CSqlConn {
public:
    ~CSqliteConn() override {
        for (auto& [sql, cached] : m_cache)
            sqlite3_finalize(cached.pStmt);
        sqlite3_close(m_pDb);
    }
    bool Open(const std::string& strPath, std::string& strError) {
        if (sqlite3_open_v2(strPath.c_str(), &m_pDb,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK) {
            strError = m_pDb ? sqlite3_errmsg(m_pDb) : "out of memory";
            return false;
        }
        // Another process's writer holds the lock for one batch at most.
        sqlite3_busy_timeout(m_pDb, 10000);
        // WAL: readers never wait for the writer; FULL: a commit is on the disk
        // before it returns, so an answered record survives a power loss. The
        // store's own thread checkpoints the log, never a commit.
        if (!Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=OFF; "
                  "PRAGMA wal_autocheckpoint=0")) {
            strError = sqlite3_errmsg(m_pDb);
            return false;
        }
        return true;
    }
    EEngine Engine() const override { return EEngine::Sqlite; }
    std::unique_ptr<CSqlStmt> Prepare(const std::string& strSql) override {
        SCached& cached = m_cache[strSql];
        if (!cached.pStmt &&
            sqlite3_prepare_v3(m_pDb, strSql.c_str(), static_cast<int>(strSql.size()),
                               SQLITE_PREPARE_PERSISTENT, &cached.pStmt, nullptr) != SQLITE_OK) {
            m_cache.erase(strSql);
            return nullptr;
        }
        if (!cached.bInUse) {
            cached.bInUse = true;
            return std::make_unique<CSqliteStmt>(m_pDb, cached.pStmt, &cached);
        }
        // The same text still running further up: a statement of its own.
        sqlite3_stmt* p = nullptr;
        if (sqlite3_prepare_v2(m_pDb, strSql.c_str(), -1, &p, nullptr) != SQLITE_OK) {
            sqlite3_finalize(p);
            return nullptr;
        }
        return std::make_unique<CSqliteStmt>(m_pDb, p, nullptr);
    }
    bool Exec(const std::string& strSql) override {
        return sqlite3_exec(m_pDb, strSql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    bool Begin() override { return Exec("BEGIN IMMEDIATE"); }
    bool Commit() override { return Exec("COMMIT"); }
    void Rollback() override {
        if (!sqlite3_get_autocommit(m_pDb))
            Exec("ROLLBACK");
    }
    bool Usable() override { return m_pDb != nullptr; }
    std::string Error() const override { return sqlite3_errmsg(m_pDb); }

private:
    sqlite3* m_pDb = nullptr;
    // std::map keeps each entry where it is, so statements may point at theirs.
    std::map<std::string, SCached> m_cache;
};

}  // namespace

std::unique_ptr<CSqlConn> OpenSqliteConn(const std::string& strPath, std::string& strError) {
    auto conn = std::make_unique<CSqliteConn>();
    if (!conn->Open(strPath, strError))
        return nullptr;
    return conn;
}
