// The ranking store on both engines side by side, on a table of a million
// records whose scores spread over the whole range (about half a million
// distinct scores a level and state, as a real ranking has) and on a hundred
// records as the anchor: a submission, a batch of 64 concurrent submissions
// (one group commit), a rank, the first page, a deep keyset page, an area's
// first page, the areas.
// The filled tables are kept in the build folder for the next run
// (DORUZORO_BENCH_DIR names another folder).
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <string>

#include "ranking/AreaList.h"
#include "server/RankPages.h"
#include "server/RankStore.h"
#include "server/SqlConn.h"
#include "tests/support/PgCluster.h"

namespace {

constexpr int kBig = 1000000;
constexpr int kSmall = 100;

std::string BenchDir() {
    const char* env = std::getenv("DORUZORO_BENCH_DIR");
    return env ? env : DORUZORO_BENCH_DIR;
}

std::string Quoted(const std::string& s) {
    std::string out;
    for (const char c : s)
        out += c == '\'' ? std::string("''") : std::string(1, c);
    return out;
}

// Rows straight into the table, without the counters' triggers and the
// indexes: the store builds them all once when it opens the database again.
bool Fill(const std::string& strDb, int nRecords, std::string& err) {
    auto conn = OpenSqlConn(strDb, err);
    if (!conn)
        return false;
    const bool pg = conn->Engine() == EEngine::Postgres;
    std::string areas;
    for (size_t i = 0; i < ranking::kAreaCount; ++i)
        areas += std::string(i ? "," : "") + "(" + std::to_string(i) + ", '" +
                 Quoted(ranking::kAreaList[i]) + "')";
    // Scores at random over 0..1,000,000; a tenth from the tutorial, a fifth verified.
    const std::string columns =
        "INSERT INTO records(aria, name, level, score, verified, at) SELECT a.name, 'player ' || "
        "i, CASE WHEN i % 10 = 0 THEN 0 ELSE 1 END, ";
    const std::string rows =
        pg ? columns +
                 "floor(random() * 1000001)::int, CASE WHEN i % 5 = 0 THEN 1 ELSE 0 END, 0 FROM "
                 "generate_series(1, " +
                 std::to_string(nRecords) + ") AS i JOIN bench_areas a ON a.k = i % " +
                 std::to_string(ranking::kAreaCount)
           : "WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < " +
                 std::to_string(nRecords) + ") " + columns +
                 "abs(random()) % 1000001, CASE WHEN i % 5 = 0 THEN 1 ELSE 0 END, 0 FROM c JOIN "
                 "bench_areas a ON a.k = i % " +
                 std::to_string(ranking::kAreaCount);
    const bool ok =
        conn->Exec(std::string(pg ? "SET synchronous_commit = off" : "PRAGMA synchronous = OFF")) &&
        conn->Begin() &&
        conn->Exec(pg ? "DROP TRIGGER records_counted ON records"
                      : "DROP TRIGGER records_added; DROP TRIGGER records_removed; "
                        "DROP TRIGGER records_changed") &&
        conn->Exec(
            "DROP INDEX records_best; DROP INDEX records_area; DELETE FROM records; "
            "DELETE FROM meta WHERE key = 'schema'") &&
        conn->Exec(
            "CREATE TEMP TABLE bench_areas(k INTEGER PRIMARY KEY, name TEXT NOT NULL); "
            "INSERT INTO bench_areas VALUES " +
            areas) &&
        conn->Exec(rows) && conn->Commit() && (!pg || conn->Exec("ANALYZE"));
    if (!ok)
        err = conn->Error();
    return ok;
}

int Records(CRankStore& store) {
    int n = 0;
    for (int level : {0, 1})
        for (bool v : {false, true})
            n += store.Count(level, v);
    return n;
}

struct SFixture {
    std::unique_ptr<CPgCluster> pCluster;
    std::unique_ptr<CRankStore> pStore;
    std::string strDb;
};
std::map<std::pair<EEngine, int>, SFixture> g_fixtures;

// Opened once a run for each engine and size; filled only when not yet full.
CRankStore* Store(EEngine engine, int nRecords, std::string& err) {
    SFixture& f = g_fixtures[{engine, nRecords}];
    if (f.pStore)
        return f.pStore.get();
    const std::string name =
        (engine == EEngine::Sqlite ? "sqlite-" : "pg-") + std::to_string(nRecords);
    std::filesystem::create_directories(BenchDir());
    if (engine == EEngine::Postgres) {
        f.pCluster = CPgCluster::Open(BenchDir() + "/" + name, err);
        if (!f.pCluster)
            return nullptr;
        f.strDb = f.pCluster->Uri();
    } else {
        f.strDb = BenchDir() + "/" + name + ".db";
    }
    f.pStore = CRankStore::Open(f.strDb, err);
    if (f.pStore && Records(*f.pStore) < nRecords) {
        f.pStore.reset();
        std::fprintf(stderr, "filling %s with %d records\n", name.c_str(), nRecords);
        if (!Fill(f.strDb, nRecords, err))
            return nullptr;
        f.pStore = CRankStore::Open(f.strDb, err);
    }
    return f.pStore.get();
}

// Each submission of a run is a new one: never a repeat of an earlier request.
std::atomic<int> g_nSubmission{0};

SSubmission BenchSubmission(std::mt19937& rng) {
    const int n = g_nSubmission++;
    SSubmission s;
    s.rec.strAria = "Japan";
    s.rec.strName = "bench";
    s.rec.nLevel = 1;
    s.rec.nScore = static_cast<int>(rng() % 1000001);
    s.strClient = "10.9." + std::to_string(n / 250 % 250) + "." + std::to_string(n % 250);
    s.strFingerprint = "bench " + std::to_string(n) + " " + std::to_string(rng());
    return s;
}

void Submit(benchmark::State& state, EEngine engine, int nRecords) {
    std::string err;
    CRankStore* store = Store(engine, nRecords, err);
    if (!store) {
        state.SkipWithError(err.c_str());
        return;
    }
    std::mt19937 rng(1);
    for (auto _ : state) {
        const ESubmit e = store->SubmitAndWait(BenchSubmission(rng)).eResult;
        if (e != ESubmit::Stored) {
            state.SkipWithError(("not stored: " + std::to_string(static_cast<int>(e))).c_str());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

// 64 submissions queued at once: the writer commits them together.
void Batch64(benchmark::State& state, EEngine engine, int nRecords) {
    std::string err;
    CRankStore* store = Store(engine, nRecords, err);
    if (!store) {
        state.SkipWithError(err.c_str());
        return;
    }
    std::mt19937 rng(2);
    std::mutex mutex;
    std::condition_variable cv;
    for (auto _ : state) {
        int left = 64;
        std::atomic<int> failed{0};
        for (int i = 0; i < 64; ++i)
            store->Submit(BenchSubmission(rng), [&](const SSubmitResult& r) {
                if (r.eResult != ESubmit::Stored)
                    failed++;
                std::lock_guard<std::mutex> lock(mutex);
                if (--left == 0)
                    cv.notify_one();
            });
        std::unique_lock<std::mutex> lock(mutex);
        cv.wait(lock, [&] { return left == 0; });
        if (failed)
            state.SkipWithError("not stored");
    }
    state.SetItemsProcessed(state.iterations() * 64);
}

void RankOf(benchmark::State& state, EEngine engine, int nRecords) {
    std::string err;
    CRankStore* store = Store(engine, nRecords, err);
    if (!store) {
        state.SkipWithError(err.c_str());
        return;
    }
    std::mt19937 rng(3);
    for (auto _ : state)
        benchmark::DoNotOptimize(store->RankOf(1, false, static_cast<int>(rng() % 1000001)));
}

void Page(benchmark::State& state, EEngine engine, int nRecords,
          std::map<std::string, std::string> query) {
    std::string err;
    CRankStore* store = Store(engine, nRecords, err);
    if (!store) {
        state.SkipWithError(err.c_str());
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
        if (ResultPage(*store, lookup, page) != 200)
            state.SkipWithError("page refused");
        benchmark::DoNotOptimize(page.data());
    }
    state.counters["bytes"] = static_cast<double>(page.size());
}

// The bench's own records leave the tables as they were filled.
void Cleanup() {
    for (auto& [key, f] : g_fixtures) {
        if (!f.pStore)
            continue;
        f.pStore.reset();
        std::string err;
        auto conn = OpenSqlConn(f.strDb, err);
        if (!conn || !conn->Exec("DELETE FROM records WHERE name = 'bench'"))
            std::fprintf(stderr, "cannot remove the bench's records: %s\n", err.c_str());
    }
    g_fixtures.clear();
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    for (const int n : {kSmall, kBig})
        for (const EEngine e : {EEngine::Sqlite, EEngine::Postgres}) {
            const std::string tag = std::string(e == EEngine::Sqlite ? "sqlite" : "pg") + "/" +
                                    (n == kBig ? "1M" : "100");
            const auto unit = benchmark::kMicrosecond;
            benchmark::RegisterBenchmark(("Submit/" + tag).c_str(), Submit, e, n)
                ->Unit(unit)
                ->UseRealTime();
            benchmark::RegisterBenchmark(("Batch64/" + tag).c_str(), Batch64, e, n)
                ->Unit(unit)
                ->UseRealTime();
            benchmark::RegisterBenchmark(("RankOf/" + tag).c_str(), RankOf, e, n)
                ->Unit(unit)
                ->UseRealTime();
            benchmark::RegisterBenchmark(("FirstPage/" + tag).c_str(), Page, e, n,
                                         std::map<std::string, std::string>{{"data", "1"}})
                ->Unit(unit)
                ->UseRealTime();
            benchmark::RegisterBenchmark(
                ("DeepPage/" + tag).c_str(), Page, e, n,
                std::map<std::string, std::string>{
                    {"data", "1"}, {"verified", "0"}, {"after", "500000.1"}})
                ->Unit(unit)
                ->UseRealTime();
            benchmark::RegisterBenchmark(
                ("NewestDeep/" + tag).c_str(), Page, e, n,
                std::map<std::string, std::string>{{"data", "0"}, {"after", "500000"}})
                ->Unit(unit)
                ->UseRealTime();
            // An area's first page: each of its scores placed in the whole ranking.
            benchmark::RegisterBenchmark(
                ("AreaPage/" + tag).c_str(), Page, e, n,
                std::map<std::string, std::string>{{"data", "2"}, {"aria", "Japan"}})
                ->Unit(unit)
                ->UseRealTime();
            benchmark::RegisterBenchmark(("Areas/" + tag).c_str(), Page, e, n,
                                         std::map<std::string, std::string>{{"data", "2"}})
                ->Unit(unit)
                ->UseRealTime();
        }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    Cleanup();
    return 0;
}
