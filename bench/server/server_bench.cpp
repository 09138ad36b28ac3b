// The ranking on a table of a million records: each result page built from
// the store, and one submission through the real server on the loopback.
// The table is filled once, in one transaction, in a file below the system's
// temporary folder (DORUZORO_BENCH_DB names another).
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "http/KoruHttpConnect.h"
#include "ranking/AreaList.h"
#include "server/RankPages.h"
#include "server/RankServer.h"

namespace {

constexpr int kRecords = 1000000;

std::string DbPath() {
    const char* env = std::getenv("DORUZORO_BENCH_DB");
    return env ? env : (std::filesystem::temp_directory_path() / "doruzoro-bench-1m.db").string();
}

// Rows straight into the table without its indexes, its totals' triggers and
// syncs; the store builds them all once when it opens the file again.
bool Fill(const std::string& path) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
              sqlite3_exec(db,
                           "PRAGMA synchronous=OFF; DROP INDEX IF EXISTS by_score; "
                           "DROP INDEX IF EXISTS by_area; DROP TRIGGER IF EXISTS records_added; "
                           "DROP TRIGGER IF EXISTS records_removed; "
                           "DROP TRIGGER IF EXISTS records_changed; BEGIN",
                           nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt* s = nullptr;
    ok = ok &&
         sqlite3_prepare_v2(db, "INSERT INTO records(aria, name, level, score) VALUES(?, ?, ?, ?)",
                            -1, &s, nullptr) == SQLITE_OK;
    unsigned seed = 12345;
    for (int i = 0; ok && i < kRecords; ++i) {
        seed = seed * 1103515245u + 12345u;
        const char* aria = ranking::kAreaList[(seed >> 8) % ranking::kAreaCount];
        const std::string name = "player " + std::to_string(i) + " <&>";
        sqlite3_bind_text(s, 1, aria, -1, SQLITE_STATIC);
        sqlite3_bind_text(s, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(s, 3, (seed >> 4) % 10 == 0 ? 0 : 1);  // a tenth from the tutorial
        // Points come in tens, as in the game, up to far past a good game.
        sqlite3_bind_int(s, 4, 10 * static_cast<int>((seed >> 12) % 10000));
        ok = sqlite3_step(s) == SQLITE_DONE && sqlite3_reset(s) == SQLITE_OK;
    }
    sqlite3_finalize(s);
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

int Rows(const std::string& path) {
    sqlite3* db = nullptr;
    int n = 0;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK)
        sqlite3_exec(
            db, "SELECT COUNT(*) FROM records",
            [](void* out, int, char** v, char**) {
                return *static_cast<int*>(out) = std::atoi(v[0]), 0;
            },
            &n, nullptr);
    sqlite3_close(db);
    return n;
}

// The filled file, opened by the store: made on the first call of a run, and
// kept for the next run while it still holds the million.
CRankStore* Store() {
    static std::unique_ptr<CRankStore> store = [] {
        const std::string path = DbPath();
        std::string err;
        if (Rows(path) < kRecords) {
            for (const char* ext : {"", "-wal", "-shm"})
                std::filesystem::remove(path + ext);
            if (!CRankStore::Open(path, err) || !Fill(path))
                std::fprintf(stderr, "cannot fill %s\n", path.c_str());
        }
        auto s = CRankStore::Open(path, err);
        if (!s)
            std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), err.c_str());
        return s;
    }();
    return store.get();
}

void Page(benchmark::State& state, std::map<std::string, std::string> query) {
    CRankStore* store = Store();
    if (!store) {
        state.SkipWithError("no database");
        return;
    }
    const QueryLookup lookup = [&query](const char* key, std::string& value) {
        const auto it = query.find(key);
        if (it == query.end())
            return false;
        value = it->second;
        return true;
    };
    std::string page;
    for (auto _ : state) {
        page.clear();
        if (!ResultPage(*store, lookup, page))
            state.SkipWithError("page refused");
        benchmark::DoNotOptimize(page.data());
    }
    state.counters["bytes"] = static_cast<double>(page.size());
}

void BM_NewestChallengers(benchmark::State& state) {
    Page(state, {{"data", "0"}});
}
void BM_NewestChallengersPage1000(benchmark::State& state) {
    Page(state, {{"data", "0"}, {"page", "1000"}});
}
void BM_Ranking(benchmark::State& state) {
    Page(state, {{"data", "1"}});
}
void BM_RankingPage1000(benchmark::State& state) {
    Page(state, {{"data", "1"}, {"page", "1000"}});
}
void BM_AreaList(benchmark::State& state) {
    Page(state, {{"data", "2"}});
}
void BM_OneArea(benchmark::State& state) {
    Page(state, {{"data", "2"}, {"aria", "Japan"}});
}

// One record through the whole server: HTTP on the loopback, checks, the
// durable insert, and the rank and count in the reply.
void BM_Submission(benchmark::State& state) {
    if (!Store()) {
        state.SkipWithError("no database");
        return;
    }
    SServerOptions opt;
    opt.nPort = 0;
    opt.strDb = DbPath();
    opt.nSubmitsPerMinute = 1000000000;
    std::string err;
    const auto server = CRankServer::Start(opt, err);
    if (!server) {
        state.SkipWithError(err.c_str());
        return;
    }
    const std::string url = "http://127.0.0.1:" + std::to_string(server->Port()) +
                            "/game/quibbix/GameSet.asp?aria=Japan&name=bench&mode=0&level=1&score=";
    int n = 0;
    for (auto _ : state) {
        CKoruHttpConnect http;
        http.GetPage(url + std::to_string(n++ % 100000), "", "");
        if (http.m_arrLines.empty())
            state.SkipWithError("no reply");
    }
    // The bench's own records leave the table as it was filled.
    sqlite3* db = nullptr;
    if (sqlite3_open(opt.strDb.c_str(), &db) == SQLITE_OK)
        sqlite3_exec(db, "DELETE FROM records WHERE name = 'bench'", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

}  // namespace

BENCHMARK(BM_NewestChallengers)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NewestChallengersPage1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ranking)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RankingPage1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AreaList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OneArea)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Submission)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
