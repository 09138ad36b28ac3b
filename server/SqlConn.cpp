#include "server/SqlConn.h"

bool IsPostgresUri(const std::string& strDb) {
    return strDb.rfind("postgresql://", 0) == 0 || strDb.rfind("postgres://", 0) == 0;
}

std::unique_ptr<CSqlConn> OpenSqlConn(const std::string& strDb, std::string& strError) {
    return IsPostgresUri(strDb) ? OpenPgConn(strDb, strError) : OpenSqliteConn(strDb, strError);
}

std::unique_ptr<CSqlStmt> SqlRun(CSqlConn& conn, const std::string& strSql,
                                 std::initializer_list<SqlArg> args) {
    auto stmt = conn.Prepare(strSql);
    if (!stmt)
        return nullptr;
    int i = 1;
    for (const SqlArg& a : args) {
        if (const auto* n = std::get_if<int64_t>(&a))
            stmt->Bind(i, *n);
        else if (const auto* s = std::get_if<std::string>(&a))
            stmt->Bind(i, *s);
        else
            stmt->BindNull(i);
        ++i;
    }
    return stmt;
}

bool SqlDo(CSqlConn& conn, const std::string& strSql, std::initializer_list<SqlArg> args,
           int64_t* pChanges) {
    auto stmt = SqlRun(conn, strSql, args);
    if (!stmt)
        return false;
    while (stmt->Step()) {
    }
    if (pChanges)
        *pChanges = stmt->Changes();
    return !stmt->Failed();
}

bool SqlScalar(CSqlConn& conn, const std::string& strSql, std::initializer_list<SqlArg> args,
               int64_t& nValue) {
    auto stmt = SqlRun(conn, strSql, args);
    if (!stmt || !stmt->Step())
        return false;
    nValue = stmt->Int(0);
    return true;
}
