#include "server/RankStore.h"

#include <sqlite3.h>

namespace {

struct StmtCloser {
    void operator()(sqlite3_stmt* p) const { sqlite3_finalize(p); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtCloser>;

Stmt Prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* p = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &p, nullptr);
    return Stmt(p);
}

void BindText(sqlite3_stmt* s, int i, const std::string& v) {
    sqlite3_bind_text(s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}

std::string Text(sqlite3_stmt* s, int i) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
    return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(s, i))) : std::string();
}

std::vector<SRecord> Rows(sqlite3_stmt* s) {
    std::vector<SRecord> out;
    while (s && sqlite3_step(s) == SQLITE_ROW)
        out.push_back({Text(s, 0), Text(s, 1), sqlite3_column_int(s, 2), sqlite3_column_int(s, 3)});
    return out;
}

}  // namespace

CRankStore::~CRankStore() {
    sqlite3_close(m_pDb);
}

std::unique_ptr<CRankStore> CRankStore::Open(const std::string& path, std::string& strError) {
    std::unique_ptr<CRankStore> store(new CRankStore);
    if (sqlite3_open(path.c_str(), &store->m_pDb) != SQLITE_OK) {
        strError = sqlite3_errmsg(store->m_pDb);
        return nullptr;
    }
    sqlite3_busy_timeout(store->m_pDb, 2000);
    // WAL with full syncs: an answered record survives a crash or power loss.
    const bool ok =
        store->Exec("PRAGMA journal_mode=WAL") && store->Exec("PRAGMA synchronous=FULL") &&
        store->Exec(
            "CREATE TABLE IF NOT EXISTS records(id INTEGER PRIMARY KEY, "
            "aria TEXT NOT NULL, name TEXT NOT NULL, level INTEGER NOT NULL, "
            "score INTEGER NOT NULL)") &&
        store->Exec("CREATE INDEX IF NOT EXISTS by_score ON records(level, score DESC)") &&
        store->Exec("CREATE INDEX IF NOT EXISTS by_area ON records(aria, score DESC)");
    if (!ok) {
        strError = sqlite3_errmsg(store->m_pDb);
        return nullptr;
    }
    return store;
}

bool CRankStore::Exec(const char* sql) {
    return sqlite3_exec(m_pDb, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool CRankStore::Add(const SRecord& rec) {
    const Stmt s =
        Prepare(m_pDb, "INSERT INTO records(aria, name, level, score) VALUES(?, ?, ?, ?)");
    if (!s)
        return false;
    BindText(s.get(), 1, rec.strAria);
    BindText(s.get(), 2, rec.strName);
    sqlite3_bind_int(s.get(), 3, rec.nLevel);
    sqlite3_bind_int(s.get(), 4, rec.nScore);
    return sqlite3_step(s.get()) == SQLITE_DONE;
}

int CRankStore::RankOf(const SRecord& rec) {
    const Stmt s = Prepare(m_pDb, "SELECT COUNT(*) FROM records WHERE level = ? AND score > ?");
    if (!s)
        return 0;
    sqlite3_bind_int(s.get(), 1, rec.nLevel);
    sqlite3_bind_int(s.get(), 2, rec.nScore);
    return sqlite3_step(s.get()) == SQLITE_ROW ? sqlite3_column_int(s.get(), 0) + 1 : 0;
}

int CRankStore::Count(int nLevel) {
    const Stmt s = Prepare(m_pDb, "SELECT COUNT(*) FROM records WHERE level = ?");
    if (!s)
        return 0;
    sqlite3_bind_int(s.get(), 1, nLevel);
    return sqlite3_step(s.get()) == SQLITE_ROW ? sqlite3_column_int(s.get(), 0) : 0;
}

std::vector<SRecord> CRankStore::Newest(int nOffset, int nLimit) {
    const Stmt s = Prepare(m_pDb,
                           "SELECT aria, name, level, score FROM records ORDER BY id DESC "
                           "LIMIT ? OFFSET ?");
    if (!s)
        return {};
    sqlite3_bind_int(s.get(), 1, nLimit);
    sqlite3_bind_int(s.get(), 2, nOffset);
    return Rows(s.get());
}

std::vector<SRecord> CRankStore::Best(int nOffset, int nLimit, const std::string* pAria) {
    const Stmt s = Prepare(m_pDb, pAria ? "SELECT aria, name, level, score FROM records WHERE "
                                          "aria = ? ORDER BY score DESC, id LIMIT ? OFFSET ?"
                                        : "SELECT aria, name, level, score FROM records WHERE "
                                          "level = 1 ORDER BY score DESC, id LIMIT ? OFFSET ?");
    if (!s)
        return {};
    int i = 1;
    if (pAria)
        BindText(s.get(), i++, *pAria);
    sqlite3_bind_int(s.get(), i++, nLimit);
    sqlite3_bind_int(s.get(), i, nOffset);
    return Rows(s.get());
}

std::vector<SAreaRow> CRankStore::Areas() {
    const Stmt s = Prepare(m_pDb,
                           "SELECT aria, COUNT(*), MAX(score) FROM records GROUP BY aria "
                           "ORDER BY MAX(score) DESC LIMIT 300");
    std::vector<SAreaRow> out;
    while (s && sqlite3_step(s.get()) == SQLITE_ROW)
        out.push_back(
            {Text(s.get(), 0), sqlite3_column_int(s.get(), 1), sqlite3_column_int(s.get(), 2)});
    return out;
}
