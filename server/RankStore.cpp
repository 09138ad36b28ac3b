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
    return store->KeepTotals(strError) ? std::move(store) : nullptr;
}

// Counting a million rows for every rank and for the area list took a tenth of
// a second each time; triggers keep the counts beside the records instead, in
// the same transaction as each change. A file without them gets them once.
bool CRankStore::HasTotals() {
    const Stmt s = Prepare(
        m_pDb, "SELECT 1 FROM sqlite_master WHERE type = 'trigger' AND name = 'records_changed'");
    return s && sqlite3_step(s.get()) == SQLITE_ROW;
}

// The totals' share of one record, added for new and taken away for old.
const std::string kCountNew =
    "INSERT INTO score_counts VALUES(new.level, new.score, 1) "
    "ON CONFLICT(level, score) DO UPDATE SET n = n + 1; "
    "INSERT INTO area_totals VALUES(new.aria, 1, new.score) "
    "ON CONFLICT(aria) DO UPDATE SET players = players + 1, best = max(best, excluded.best); ";
const std::string kUncountOld =
    "UPDATE score_counts SET n = n - 1 WHERE level = old.level AND score = old.score; "
    "DELETE FROM score_counts WHERE level = old.level AND score = old.score AND n <= 0; "
    "UPDATE area_totals SET players = players - 1, best = coalesce((SELECT MAX(score) "
    "FROM records WHERE aria = old.aria), 0) WHERE aria = old.aria; "
    "DELETE FROM area_totals WHERE aria = old.aria AND players <= 0; ";

bool CRankStore::KeepTotals(std::string& strError) {
    if (!Exec("BEGIN IMMEDIATE")) {
        strError = sqlite3_errmsg(m_pDb);
        return false;
    }
    if (HasTotals())
        return Exec("COMMIT");
    const bool ok =
        Exec("DROP TABLE IF EXISTS score_counts") && Exec("DROP TABLE IF EXISTS area_totals") &&
        Exec(
            "CREATE TABLE score_counts(level INTEGER NOT NULL, score INTEGER NOT NULL, "
            "n INTEGER NOT NULL, PRIMARY KEY(level, score)) WITHOUT ROWID") &&
        Exec(
            "CREATE TABLE area_totals(aria TEXT PRIMARY KEY, players INTEGER NOT NULL, "
            "best INTEGER NOT NULL) WITHOUT ROWID") &&
        Exec(
            "INSERT INTO score_counts SELECT level, score, COUNT(*) FROM records "
            "GROUP BY level, score") &&
        Exec(
            "INSERT INTO area_totals SELECT aria, COUNT(*), MAX(score) FROM records GROUP BY "
            "aria") &&
        Exec("DROP TRIGGER IF EXISTS records_added") &&
        Exec(("CREATE TRIGGER records_added AFTER INSERT ON records BEGIN " + kCountNew + "END")
                 .c_str()) &&
        Exec("DROP TRIGGER IF EXISTS records_removed") &&
        Exec(("CREATE TRIGGER records_removed AFTER DELETE ON records BEGIN " + kUncountOld + "END")
                 .c_str()) &&
        // An operator's correction by hand is a removal and an addition.
        Exec(
            ("CREATE TRIGGER records_changed AFTER UPDATE OF aria, level, score ON records BEGIN " +
             kUncountOld + kCountNew + "END")
                .c_str());
    if (!ok || !Exec("COMMIT")) {
        strError = sqlite3_errmsg(m_pDb);
        Exec("ROLLBACK");
        return false;
    }
    return true;
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
    const Stmt s = Prepare(
        m_pDb, "SELECT coalesce(SUM(n), 0) FROM score_counts WHERE level = ? AND score > ?");
    if (!s)
        return 0;
    sqlite3_bind_int(s.get(), 1, rec.nLevel);
    sqlite3_bind_int(s.get(), 2, rec.nScore);
    return sqlite3_step(s.get()) == SQLITE_ROW ? sqlite3_column_int(s.get(), 0) + 1 : 0;
}

int CRankStore::Count(int nLevel) {
    const Stmt s = Prepare(m_pDb, "SELECT coalesce(SUM(n), 0) FROM score_counts WHERE level = ?");
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
                           "SELECT aria, players, best FROM area_totals "
                           "ORDER BY best DESC, aria LIMIT 300");
    std::vector<SAreaRow> out;
    while (s && sqlite3_step(s.get()) == SQLITE_ROW)
        out.push_back(
            {Text(s.get(), 0), sqlite3_column_int(s.get(), 1), sqlite3_column_int(s.get(), 2)});
    return out;
}
