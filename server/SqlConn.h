// The little the ranking store needs of an SQL engine, so that it is written
// once for the embedded file and for the shared database server. The engines'
// own headers stay in their source files.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <variant>

enum class EEngine { Sqlite, Postgres };

// One statement with its parameters; Step runs it and walks its rows.
class CSqlStmt {
public:
    virtual ~CSqlStmt() = default;
    // Parameters are numbered from 1 as they stand in the text ("?").
    virtual void Bind(int nIndex, int64_t nValue) = 0;
    virtual void Bind(int nIndex, const std::string& strValue) = 0;
    virtual void BindBlob(int nIndex, const std::string& strBytes) = 0;
    virtual void BindNull(int nIndex) = 0;
    // True while a row is ready to read; false at the end or on a failure.
    virtual bool Step() = 0;
    virtual bool Failed() const = 0;
    // Columns are numbered from 0.
    virtual int64_t Int(int nCol) const = 0;
    virtual std::string Text(int nCol) const = 0;
    virtual std::string Blob(int nCol) const = 0;
    virtual bool Null(int nCol) const = 0;
    // Rows the statement changed, once it ran.
    virtual int64_t Changes() const = 0;
};

class CSqlConn {
public:
    virtual ~CSqlConn() = default;
    virtual EEngine Engine() const = 0;
    // Parameters are written "?" for both engines. nullptr when the text is refused.
    virtual std::unique_ptr<CSqlStmt> Prepare(const std::string& strSql) = 0;
    // Statements without parameters, several allowed.
    virtual bool Exec(const std::string& strSql) = 0;
    // A transaction that writes: it holds the write lock from its start.
    virtual bool Begin() = 0;
    virtual bool Commit() = 0;
    virtual void Rollback() = 0;
    // False when the link is lost and could not be made again.
    virtual bool Usable() = 0;
    virtual std::string Error() const = 0;
};

bool IsPostgresUri(const std::string& strDb);
// A file path opens the embedded engine, a postgresql:// URI the server.
std::unique_ptr<CSqlConn> OpenSqlConn(const std::string& strDb, std::string& strError);
std::unique_ptr<CSqlConn> OpenSqliteConn(const std::string& strPath, std::string& strError);
std::unique_ptr<CSqlConn> OpenPgConn(const std::string& strUri, std::string& strError);

// Small helpers over the interface: prepare, bind in order, run.
using SqlArg = std::variant<int64_t, std::string, std::nullptr_t>;
std::unique_ptr<CSqlStmt> SqlRun(CSqlConn& conn, const std::string& strSql,
                                 std::initializer_list<SqlArg> args);
// Runs a statement that returns no rows (or whose rows are not wanted).
bool SqlDo(CSqlConn& conn, const std::string& strSql, std::initializer_list<SqlArg> args,
           int64_t* pChanges = nullptr);
// The first column of the first row; false when there is none or it failed.
bool SqlScalar(CSqlConn& conn, const std::string& strSql, std::initializer_list<SqlArg> args,
               int64_t& nValue);
