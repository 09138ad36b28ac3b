// The shared engine: a database server that several ranking servers use at once.
#include <libpq-fe.h>

#include <cstdlib>
#include <map>
#include <vector>

#include "server/SqlConn.h"

namespace {

struct PgResultFree {
    void operator()(PGresult* p) const { PQclear(p); }
};
using PgResult = std::unique_ptr<PGresult, PgResultFree>;

// "?" placeholders become $1, $2...; the store's texts hold no "?" in literals.
std::string Numbered(const std::string& strSql) {
    std::string out;
    int n = 0;
    for (const char c : strSql) {
        if (c == '?')
            out += "$" + std::to_string(++n);
        else
            out += c;
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

class CPgStmt : public CSqlStmt {
public:
    CPgStmt(PGconn* pConn, std::string strName) : m_pConn(pConn), m_strName(std::move(strName)) {}
    void Bind(int i, int64_t n) override { Set(i, std::to_string(n), 0); }
    void Bind(int i, const std::string& s) override { Set(i, s, 0); }
    void BindBlob(int i, const std::string& s) override { Set(i, s, 1); }
    void BindNull(int i) override {
        Set(i, std::string(), 0);
        m_arrNull[static_cast<size_t>(i - 1)] = true;
    }
    bool Step() override {
        if (!m_pResult && !Run())
            return false;
        if (m_nRow + 1 >= PQntuples(m_pResult.get()))
            return false;
        ++m_nRow;
        return true;
    }
    bool Failed() const override { return m_bFailed; }
    int64_t Int(int c) const override {
        return std::strtoll(PQgetvalue(m_pResult.get(), m_nRow, c), nullptr, 10);
    }
    std::string Text(int c) const override {
        return std::string(PQgetvalue(m_pResult.get(), m_nRow, c),
                           static_cast<size_t>(PQgetlength(m_pResult.get(), m_nRow, c)));
    }
    // Byte strings come back in the server's hex form: \x0a1b...
    std::string Blob(int c) const override {
        const std::string hex = Text(c);
        std::string out;
        if (hex.size() < 2 || hex[0] != '\\' || hex[1] != 'x')
            return out;
        out.reserve(hex.size() / 2);
        for (size_t i = 2; i + 1 < hex.size(); i += 2) {
            const int hi = HexValue(hex[i]), lo = HexValue(hex[i + 1]);
            if (hi < 0 || lo < 0)
                return std::string();
            out += static_cast<char>(hi * 16 + lo);
        }
        return out;
    }
    bool Null(int c) const override { return PQgetisnull(m_pResult.get(), m_nRow, c) != 0; }
    int64_t Changes() const override { return m_nChanges; }

private:
    void Set(int i, std::string v, int format) {
        const auto k = static_cast<size_t>(i - 1);
        if (m_arrValues.size() <= k) {
            m_arrValues.resize(k + 1);
            m_arrNull.resize(k + 1);
            m_arrFormat.resize(k + 1);
        }
        m_arrValues[k] = std::move(v);
        m_arrNull[k] = false;
        m_arrFormat[k] = format;
    }
    bool Run() {
        std::vector<const char*> values;
        std::vector<int> lengths;
        for (size_t k = 0; k < m_arrValues.size(); ++k) {
            values.push_back(m_arrNull[k] ? nullptr : m_arrValues[k].data());
            lengths.push_back(static_cast<int>(m_arrValues[k].size()));
        }
        m_pResult.reset(PQexecPrepared(m_pConn, m_strName.c_str(), static_cast<int>(values.size()),
                                       values.data(), lengths.data(), m_arrFormat.data(), 0));
        const ExecStatusType st = m_pResult ? PQresultStatus(m_pResult.get()) : PGRES_FATAL_ERROR;
        m_bFailed = st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK;
        if (m_bFailed) {
            m_pResult.reset(PQmakeEmptyPGresult(m_pConn, PGRES_EMPTY_QUERY));
            return false;
        }
        m_nChanges = std::strtoll(PQcmdTuples(m_pResult.get()), nullptr, 10);
        return true;
    }

    PGconn* m_pConn;
    std::string m_strName;
    std::vector<std::string> m_arrValues;
    std::vector<bool> m_arrNull;
    std::vector<int> m_arrFormat;
    PgResult m_pResult;
    int m_nRow = -1;
    bool m_bFailed = false;
    int64_t m_nChanges = 0;
};

class CPgConn : public CSqlConn {
public:
    ~CPgConn() override { PQfinish(m_pConn); }
    bool Open(const std::string& strUri, std::string& strError) {
        // A server that is gone without a word (a cable, a crashed machine)
        // is noticed within about a minute instead of the system's two hours,
        // and a connection attempt gives up after five seconds. The URI's own
        // settings come last, so they win.
        static const char* const kKeys[] = {
            "connect_timeout",  "keepalives",       "keepalives_idle", "keepalives_interval",
            "keepalives_count", "tcp_user_timeout", "dbname",          nullptr};
        const char* const values[] = {"5", "1", "30", "10", "3", "60000", strUri.c_str(), nullptr};
        m_pConn = PQconnectdbParams(kKeys, values, 1);
        if (!m_pConn || PQstatus(m_pConn) != CONNECTION_OK) {
            strError = m_pConn ? PQerrorMessage(m_pConn) : "out of memory";
            return false;
        }
        Quiet();
        return true;
    }
    EEngine Engine() const override { return EEngine::Postgres; }
    std::unique_ptr<CSqlStmt> Prepare(const std::string& strSql) override {
        auto it = m_prepared.find(strSql);
        if (it == m_prepared.end()) {
            const std::string name = "s" + std::to_string(m_prepared.size());
            const PgResult r(
                PQprepare(m_pConn, name.c_str(), Numbered(strSql).c_str(), 0, nullptr));
            if (!r || PQresultStatus(r.get()) != PGRES_COMMAND_OK)
                return nullptr;
            it = m_prepared.emplace(strSql, name).first;
        }
        return std::make_unique<CPgStmt>(m_pConn, it->second);
    }
    bool Exec(const std::string& strSql) override {
        const PgResult r(PQexec(m_pConn, strSql.c_str()));
        const ExecStatusType st = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
        return st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK;
    }
    bool Begin() override { return Exec("BEGIN"); }
    bool Commit() override {
        // A COMMIT of a failed transaction answers ROLLBACK, not an error.
        const PgResult r(PQexec(m_pConn, "COMMIT"));
        return r && PQresultStatus(r.get()) == PGRES_COMMAND_OK &&
               std::string(PQcmdStatus(r.get())) == "COMMIT";
    }
    void Rollback() override {
        if (PQtransactionStatus(m_pConn) != PQTRANS_IDLE)
            Exec("ROLLBACK");
    }
    // After the server went away (a restart, a fail-over) the next use links again.
    bool Usable() override {
        if (PQstatus(m_pConn) == CONNECTION_OK)
            return true;
        PQreset(m_pConn);
        m_prepared.clear();
        if (PQstatus(m_pConn) != CONNECTION_OK)
            return false;
        Quiet();
        return true;
    }
    std::string Error() const override { return PQerrorMessage(m_pConn); }

private:
    // Notices ("already exists, skipping") are for a person at a console.
    void Quiet() {
        PQsetNoticeProcessor(
            m_pConn, [](void*, const char*) {}, nullptr);
    }
    PGconn* m_pConn = nullptr;
    std::map<std::string, std::string> m_prepared;
};

}  // namespace

std::unique_ptr<CSqlConn> OpenPgConn(const std::string& strUri, std::string& strError) {
    auto conn = std::make_unique<CPgConn>();
    if (!conn->Open(strUri, strError))
        return nullptr;
    return conn;
}
