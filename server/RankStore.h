// The records, in SQLite: every write is durable before it is answered.
#pragma once
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

struct SRecord {
    std::string strAria;
    std::string strName;
    int nLevel = 0;
    int nScore = 0;
};

struct SAreaRow {
    std::string strAria;
    int nPlayers = 0;
    int nBest = 0;
};

class CRankStore {
public:
    ~CRankStore();
    // nullptr with the reason in strError when the file cannot be used.
    static std::unique_ptr<CRankStore> Open(const std::string& path, std::string& strError);
    bool Add(const SRecord& rec);
    // 1-based place among records of the same level; ties share the place.
    int RankOf(const SRecord& rec);
    int Count(int nLevel);
    std::vector<SRecord> Newest(int nOffset, int nLimit);
    std::vector<SRecord> Best(int nOffset, int nLimit, const std::string* pAria);
    std::vector<SAreaRow> Areas();

private:
    CRankStore() = default;
    bool Exec(const char* sql);
    bool HasTotals();
    bool KeepTotals(std::string& strError);
    sqlite3* m_pDb = nullptr;
};
