// The ranking store on both engines by one suite: an SQLite file written by
// the test, and a PostgreSQL server the test starts itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "server/RankStore.h"
#include "server/SqlConn.h"
#include "tests/support/PgCluster.h"

namespace {

// One PostgreSQL server for the suite; each test empties its database.
CPgCluster* SharedCluster(std::string& strError) {
    static std::string error;
    static std::unique_ptr<CPgCluster> cluster = CPgCluster::Start(error);
    strError = error;
    return cluster.get();
}

SSubmission Sub(const std::string& name, int score, const std::string& client = "10.0.0.1",
                int level = 1, const std::string& aria = "Japan") {
    SSubmission s;
    s.rec.strName = name;
    s.rec.nScore = score;
    s.rec.nLevel = level;
    s.rec.strAria = aria;
    s.strClient = client;
    s.nLimitPerMinute = 1000000;
    return s;
}

SSubmission Verified(const std::string& name, int score, const std::string& sha,
                     const std::string& aria = "Japan") {
    SSubmission s = Sub(name, score, "10.0.0.1", 1, aria);
    s.rec.bVerified = true;
    s.rec.strReplay = sha;
    s.strGame = "game of " + sha;  // one game a file, unless a test says otherwise
    return s;
}

std::string Sha(int n) {
    std::string s = std::to_string(n);
    return std::string(64 - s.size(), 'a') + s;
}

std::vector<std::string> Names(const std::vector<SRecord>& rows) {
    std::vector<std::string> out;
    for (const SRecord& r : rows)
        out.push_back(r.strName);
    return out;
}

std::string AreaSummary(CRankStore& store) {
    std::string s;
    for (const SAreaRow& a : store.Areas())
        s += a.strAria + ":" + std::to_string(a.nPlayers) + ":" + std::to_string(a.nBest) + " ";
    return s;
}

class StoreTest : public ::testing::TestWithParam<EEngine> {
protected:
    void SetUp() override {
        if (GetParam() == EEngine::Sqlite) {
            std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
            std::replace(name.begin(), name.end(), '/', '_');
            m_strDb = ::testing::TempDir() + "store_" + name + ".db";
            RemoveFiles();
            return;
        }
        std::string err;
        CPgCluster* cluster = SharedCluster(err);
        if (!CPgCluster::Installed())
            GTEST_SKIP() << "PostgreSQL 15 is not installed";
        ASSERT_TRUE(cluster) << err;
        m_strDb = cluster->Uri();
        Sql("DROP SCHEMA public CASCADE; CREATE SCHEMA public");
    }
    void TearDown() override {
        if (GetParam() == EEngine::Sqlite)
            RemoveFiles();
    }
    void RemoveFiles() {
        for (const char* ext : {"", "-wal", "-shm"})
            std::filesystem::remove(m_strDb + ext);
    }
    std::unique_ptr<CRankStore> Open() {
        std::string err;
        auto store = CRankStore::Open(m_strDb, err);
        EXPECT_TRUE(store) << err;
        return store;
    }
    // An operator's statement, on a connection of its own beside the store.
    void Sql(const std::string& sql) {
        std::string err;
        auto conn = OpenSqlConn(m_strDb, err);
        ASSERT_TRUE(conn) << err;
        EXPECT_TRUE(conn->Exec(sql)) << sql << ": " << conn->Error();
    }
    // Deadlocks the database server has broken in this database, ever.
    int64_t Deadlocks() {
        if (GetParam() != EEngine::Postgres)
            return 0;
        std::string err;
        auto conn = OpenSqlConn(m_strDb, err);
        int64_t n = -1;
        if (conn)
            SqlScalar(*conn,
                      "SELECT deadlocks FROM pg_stat_database WHERE datname = current_database()",
                      {}, n);
        return n;
    }
    std::string m_strDb;
};

}  // namespace

TEST_P(StoreTest, RanksAndTotalsWithTiesAndStatesApart) {
    auto store = Open();
    ASSERT_TRUE(store);
    ASSERT_EQ(store->StoreReplay(Sha(1), "game one", "10.0.0.1", 10), EUpload::Stored);
    ASSERT_EQ(store->StoreReplay(Sha(2), "game two", "10.0.0.1", 10), EUpload::Stored);
    const SSubmitResult a = store->SubmitAndWait(Sub("a", 300));
    EXPECT_EQ(a.eResult, ESubmit::Stored);
    EXPECT_GT(a.rec.nId, 0);
    EXPECT_FALSE(a.rec.bVerified);
    EXPECT_EQ(a.nRank, 1);
    EXPECT_EQ(a.nTotal, 1);
    const SSubmitResult b = store->SubmitAndWait(Sub("b", 300));
    EXPECT_EQ(b.nRank, 1);  // a tie shares the place
    EXPECT_EQ(b.nTotal, 2);
    EXPECT_EQ(store->SubmitAndWait(Sub("c", 100)).nRank, 3);
    // Verified records rank among themselves only.
    const SSubmitResult v = store->SubmitAndWait(Verified("v", 50, Sha(1)));
    EXPECT_EQ(v.eResult, ESubmit::Stored);
    EXPECT_TRUE(v.rec.bVerified);
    EXPECT_EQ(v.nRank, 1);
    EXPECT_EQ(v.nTotal, 1);
    EXPECT_EQ(store->SubmitAndWait(Verified("w", 900, Sha(2), "Peru")).nRank, 1);
    // Verified without a replay to name: stored, but not as verified.
    EXPECT_FALSE(store->SubmitAndWait(Verified("n", 70, "")).rec.bVerified);
    // The tutorial ranks apart and counts in no area.
    const SSubmitResult t = store->SubmitAndWait(Sub("t", 5000, "10.0.0.1", 0, "Chad"));
    EXPECT_EQ(t.nRank, 1);
    EXPECT_EQ(t.nTotal, 1);

    EXPECT_EQ(store->RankOf(1, false, 300), 1);
    EXPECT_EQ(store->RankOf(1, false, 299), 3);
    EXPECT_EQ(store->RankOf(1, false, 100), 3);
    EXPECT_EQ(store->RankOf(1, false, 0), 5);
    EXPECT_EQ(store->RankOf(1, true, 50), 2);
    EXPECT_EQ(store->Count(1, false), 4);
    EXPECT_EQ(store->Count(1, true), 2);
    EXPECT_EQ(store->Count(0, false), 1);
    EXPECT_EQ(AreaSummary(*store), "Peru:1:900 Japan:1:50 ");
    EXPECT_EQ(Names(store->Best(true, nullptr, 0, 0, 10)), (std::vector<std::string>{"w", "v"}));
    EXPECT_EQ(Names(store->Best(false, nullptr, 0, 0, 10)),
              (std::vector<std::string>{"a", "b", "c", "n"}));
    EXPECT_EQ(Names(store->Newest(0, 3)), (std::vector<std::string>{"t", "n", "w"}));
}

// Rank sums run over a counter a bucket width: every boundary of them against
// counting by hand.
TEST_P(StoreTest, RankAgreesWithCountingAcrossBucketEdges) {
    auto store = Open();
    ASSERT_TRUE(store);
    std::vector<int> scores = {0,      1,      9,      10,     11,      99,      100,    101,
                               199,    200,    999,    1000,   1001,    9999,    10000,  10001,
                               19999,  20000,  99999,  100000, 100001,  199999,  200000, 999999,
                               999990, 990000, 900000, 999999, 1000000, 1000000, 500000, 500000};
    std::mt19937 rng(7);
    for (int i = 0; i < 200; ++i)
        scores.push_back(static_cast<int>(rng() % 1000001));
    std::atomic<int> answered{0};
    for (size_t i = 0; i < scores.size(); ++i)
        store->Submit(Sub("p" + std::to_string(i), scores[i]),
                      [&answered](const SSubmitResult&) { ++answered; });
    store.reset();  // answers all queued
    EXPECT_EQ(answered, static_cast<int>(scores.size()));
    store = Open();
    ASSERT_TRUE(store);
    std::vector<int> probes = scores;
    for (int s : scores)
        for (int d : {-1, 1})
            probes.push_back(std::clamp(s + d, 0, 1000000));
    for (int p : probes) {
        const int higher = static_cast<int>(
            std::count_if(scores.begin(), scores.end(), [p](int s) { return s > p; }));
        ASSERT_EQ(store->RankOf(1, false, p), higher + 1) << p;
    }
    // All at once, as an area's page asks: the same places in the same order.
    std::vector<int> one;
    for (int p : probes)
        one.push_back(store->RankOf(1, false, p));
    EXPECT_EQ(store->RanksOf(1, false, probes), one);
    EXPECT_EQ(store->RanksOf(1, true, {5, 0}), (std::vector<int>{1, 1}));
    EXPECT_TRUE(store->RanksOf(1, false, {}).empty());
    EXPECT_EQ(store->Count(1, false), static_cast<int>(scores.size()));
}

TEST_P(StoreTest, KeysetPagesAreTheFullOrderAcrossTies) {
    auto store = Open();
    ASSERT_TRUE(store);
    std::mt19937 rng(3);
    for (int i = 0; i < 120; ++i)
        ASSERT_EQ(store
                      ->SubmitAndWait(Sub("r" + std::to_string(i), static_cast<int>(rng() % 6) * 10,
                                          "10.0.0.1", 1, i % 3 ? "Japan" : "Peru"))
                      .eResult,
                  ESubmit::Stored);
    const std::string japan = "Japan";
    for (const std::string* aria : {static_cast<const std::string*>(nullptr), &japan}) {
        const auto all = store->BestAt(false, aria, 0, 1000);
        ASSERT_EQ(all.size(), aria ? 80u : 120u);
        for (size_t i = 1; i < all.size(); ++i)
            ASSERT_TRUE(all[i - 1].nScore > all[i].nScore ||
                        (all[i - 1].nScore == all[i].nScore && all[i - 1].nId < all[i].nId));
        std::vector<SRecord> walked = store->Best(false, aria, 0, 0, 7);
        while (walked.size() < all.size()) {
            const SRecord last = walked.back();
            const auto next = store->Best(false, aria, last.nScore, last.nId, 7);
            ASSERT_FALSE(next.empty());
            walked.insert(walked.end(), next.begin(), next.end());
        }
        EXPECT_EQ(Names(walked), Names(all));
        EXPECT_TRUE(store->Best(false, aria, all.back().nScore, all.back().nId, 7).empty());
        EXPECT_EQ(Names(store->BestAt(false, aria, 14, 7)),
                  Names({all.begin() + 14, all.begin() + 21}));
    }
    // Newest: the same by id.
    const auto newest = store->NewestAt(0, 1000);
    ASSERT_EQ(newest.size(), 120u);
    std::vector<SRecord> walked = store->Newest(0, 50);
    while (walked.size() < newest.size()) {
        const auto next = store->Newest(walked.back().nId, 50);
        ASSERT_FALSE(next.empty());
        walked.insert(walked.end(), next.begin(), next.end());
    }
    EXPECT_EQ(Names(walked), Names(newest));
    // Offsets stop where they would start to cost.
    EXPECT_TRUE(store->BestAt(false, nullptr, CRankStore::kMaxOffset + 1, 10).empty());
    EXPECT_TRUE(store->NewestAt(CRankStore::kMaxOffset + 1, 10).empty());
}

TEST_P(StoreTest, LimitAndRepeatsHoldAcrossTwoStores) {
    auto one = Open();
    auto two = Open();
    ASSERT_TRUE(one && two);
    SSubmission s = Sub("x", 10, "192.0.2.7");
    s.nLimitPerMinute = 3;
    EXPECT_EQ(one->SubmitAndWait(s).eResult, ESubmit::Stored);
    EXPECT_EQ(two->SubmitAndWait(s).eResult, ESubmit::Stored);
    EXPECT_EQ(one->SubmitAndWait(s).eResult, ESubmit::Stored);
    EXPECT_EQ(two->SubmitAndWait(s).eResult, ESubmit::Limited);
    EXPECT_EQ(one->SubmitAndWait(s).eResult, ESubmit::Limited);
    SSubmission other = s;
    other.strClient = "192.0.2.8";
    EXPECT_EQ(two->SubmitAndWait(other).eResult, ESubmit::Stored);
    EXPECT_EQ(one->Count(1, false), 4);

    // The same request twice within the second, through either store: one record.
    SSubmission r = Sub("rep", 40, "192.0.2.9");
    r.strFingerprint = "GET aria=Japan&name=rep&score=40 from 192.0.2.9";
    const SSubmitResult first = one->SubmitAndWait(r);
    const SSubmitResult again = two->SubmitAndWait(r);
    EXPECT_EQ(first.eResult, ESubmit::Stored);
    EXPECT_EQ(again.eResult, ESubmit::Repeated);
    EXPECT_EQ(again.rec.nId, first.rec.nId);
    EXPECT_EQ(again.rec.strName, "rep");
    EXPECT_EQ(again.nRank, first.nRank);
    EXPECT_EQ(one->Count(1, false), 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    const SSubmitResult later = two->SubmitAndWait(r);
    EXPECT_EQ(later.eResult, ESubmit::Stored);
    EXPECT_NE(later.rec.nId, first.rec.nId);
}

// Two servers checking the same address at the same moment cannot both pass.
TEST_P(StoreTest, LimitHoldsUnderConcurrentSubmissionsFromTwoStores) {
    auto one = Open();
    auto two = Open();
    ASSERT_TRUE(one && two);
    std::atomic<int> stored{0}, limited{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&, t] {
            CRankStore* store = t % 2 ? one.get() : two.get();
            for (int i = 0; i < 10; ++i) {
                SSubmission s = Sub("c" + std::to_string(t), i, "203.0.113.1");
                s.nLimitPerMinute = 7;
                const ESubmit e = store->SubmitAndWait(s).eResult;
                (e == ESubmit::Stored ? stored : limited)++;
                EXPECT_TRUE(e == ESubmit::Stored || e == ESubmit::Limited);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(stored, 7);
    EXPECT_EQ(limited, 53);
    EXPECT_EQ(one->Count(1, false), 7);
}

TEST_P(StoreTest, AReplayVerifiesOneRecordOnlyAcrossStoresAndThreads) {
    auto one = Open();
    auto two = Open();
    ASSERT_TRUE(one && two);
    constexpr int kReplays = 6;
    for (int i = 0; i < kReplays; ++i)
        ASSERT_EQ(one->StoreReplay(Sha(i), "body " + std::to_string(i), "10.1.1.1", 100),
                  EUpload::Stored);
    EXPECT_EQ(two->StoreReplay(Sha(0), "other", "10.1.1.2", 100), EUpload::AlreadyThere);
    std::string body;
    ASSERT_TRUE(two->LoadReplay(Sha(0), body));
    EXPECT_EQ(body, "body 0");
    EXPECT_FALSE(two->LoadReplay(Sha(99), body));

    std::mutex mutex;
    std::vector<SSubmitResult> results;
    auto send = [&](CRankStore* store, const std::string& who) {
        for (int i = 0; i < kReplays; ++i) {
            const SSubmitResult r = store->SubmitAndWait(Verified(who, 100 + i, Sha(i)));
            std::lock_guard<std::mutex> lock(mutex);
            results.push_back(r);
        }
    };
    std::thread a(send, one.get(), "a"), b(send, two.get(), "b");
    a.join();
    b.join();
    std::map<std::string, int> verified;
    for (const SSubmitResult& r : results) {
        ASSERT_EQ(r.eResult, ESubmit::Stored);
        EXPECT_NE(r.rec.bVerified, r.bReplayTaken);
        verified[r.rec.strReplay] += r.rec.bVerified ? 1 : 0;
        std::string got;
        EXPECT_EQ(one->ReplayOfRecord(r.rec.nId, got), r.rec.bVerified);
        if (r.rec.bVerified) {
            EXPECT_EQ(got, "body " + std::to_string(r.rec.nScore - 100));
        }
    }
    ASSERT_EQ(verified.size(), static_cast<size_t>(kReplays));
    for (const auto& [sha, n] : verified)
        EXPECT_EQ(n, 1) << sha;
    EXPECT_EQ(one->Count(1, true), kReplays);
    EXPECT_EQ(one->Count(1, false), kReplays);
    // A record may name a replay that never came: it claims the hash all the same.
    EXPECT_TRUE(one->SubmitAndWait(Verified("early", 5, Sha(50))).rec.bVerified);
    EXPECT_FALSE(two->SubmitAndWait(Verified("late", 5, Sha(50))).rec.bVerified);
    EXPECT_FALSE(one->LoadReplay(Sha(50), body));
    EXPECT_EQ(one->StoreReplay(Sha(50), "late body", "10.1.1.1", 100), EUpload::Stored);
    EXPECT_TRUE(one->LoadReplay(Sha(50), body));
}

// Two files of one game (packed otherwise): the game verifies its first
// record only; a record that is not stored gives its claim back.
TEST_P(StoreTest, AGameVerifiesOneRecordWhicheverFileBringsIt) {
    auto one = Open();
    auto two = Open();
    ASSERT_TRUE(one && two);
    SSubmission first = Verified("first", 500, Sha(1));
    first.strGame = "the game";
    first.strFingerprint = "first request";
    const SSubmitResult a = one->SubmitAndWait(first);
    EXPECT_TRUE(a.rec.bVerified);
    // The same request again within the second is the same record, verified.
    const SSubmitResult again = two->SubmitAndWait(first);
    EXPECT_EQ(again.eResult, ESubmit::Repeated);
    EXPECT_EQ(again.rec.nId, a.rec.nId);
    EXPECT_TRUE(again.rec.bVerified);
    SSubmission copy = Verified("copy", 500, Sha(2));
    copy.strGame = "the game";
    const SSubmitResult b = two->SubmitAndWait(copy);
    EXPECT_EQ(b.eResult, ESubmit::Stored);
    EXPECT_FALSE(b.rec.bVerified);
    EXPECT_TRUE(b.bReplayTaken);
    std::string body;
    EXPECT_FALSE(one->ReplayOfRecord(b.rec.nId, body));
    // Over the limit: nothing stored, and the game is still free.
    SSubmission limited = Verified("limited", 400, Sha(3));
    limited.strGame = "another game";
    limited.strClient = "10.9.9.9";
    limited.nLimitPerMinute = 0;
    EXPECT_EQ(one->SubmitAndWait(limited).eResult, ESubmit::Limited);
    limited.nLimitPerMinute = 10;
    EXPECT_TRUE(two->SubmitAndWait(limited).rec.bVerified);
    // Its file claimed by an earlier record: the game is given back too.
    SSubmission sameFile = Verified("same file", 300, Sha(3));
    sameFile.strGame = "a third game";
    EXPECT_TRUE(one->SubmitAndWait(sameFile).bReplayTaken);
    SSubmission third = Verified("third", 300, Sha(4));
    third.strGame = "a third game";
    EXPECT_TRUE(one->SubmitAndWait(third).rec.bVerified);
    // Verified without its game's digest: nothing claims it, nothing is verified.
    SSubmission unknown = Verified("unknown", 200, Sha(5));
    unknown.strGame.clear();
    EXPECT_FALSE(one->SubmitAndWait(unknown).rec.bVerified);
    EXPECT_EQ(one->Count(1, true), 3);
}

TEST_P(StoreTest, UploadsAreLimitedPerAddressAcrossStores) {
    auto one = Open();
    auto two = Open();
    ASSERT_TRUE(one && two);
    EXPECT_EQ(one->StoreReplay(Sha(1), "x", "198.51.100.1", 2), EUpload::Stored);
    EXPECT_EQ(two->StoreReplay(Sha(2), "y", "198.51.100.1", 2), EUpload::Stored);
    EXPECT_EQ(two->StoreReplay(Sha(3), "z", "198.51.100.1", 2), EUpload::Limited);
    EXPECT_EQ(one->StoreReplay(Sha(3), "z", "198.51.100.2", 2), EUpload::Stored);
    // Bytes of every value come back as they went in.
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes += static_cast<char>(i);
    EXPECT_EQ(one->StoreReplay(Sha(4), bytes, "198.51.100.3", 2), EUpload::Stored);
    std::string back;
    ASSERT_TRUE(two->LoadReplay(Sha(4), back));
    EXPECT_EQ(back, bytes);
}

ESubmit Reserve(CRankStore& store, const std::string& client, int limit, const std::string& token) {
    std::promise<ESubmit> promise;
    auto future = promise.get_future();
    store.ReserveCheck(client, limit, token, [&promise](ESubmit e) { promise.set_value(e); });
    return future.get();
}

// Checks count against their address with its records, before they run:
// the record a check was for is then counted once; a check that ran for no
// new record (a repeat) still counts, one that could not run (busy) never.
TEST_P(StoreTest, ChecksCountAgainstTheirAddressWithItsRecords) {
    auto one = Open();
    auto two = Open();
    ASSERT_TRUE(one && two);
    const std::string who = "192.0.2.50";
    EXPECT_EQ(Reserve(*one, who, 3, "t1"), ESubmit::Stored);
    EXPECT_EQ(Reserve(*two, who, 3, "t2"), ESubmit::Stored);
    EXPECT_EQ(one->SubmitAndWait(Sub("r", 10, who)).eResult, ESubmit::Stored);
    EXPECT_EQ(Reserve(*two, who, 3, "t3"), ESubmit::Limited);
    EXPECT_EQ(Reserve(*one, "192.0.2.51", 3, "t4"), ESubmit::Stored);
    // Check t1's record is stored: one row for it, not two.
    SSubmission checked = Sub("checked", 20, who);
    checked.nLimitPerMinute = 3;
    checked.strCheckToken = "t1";
    checked.strFingerprint = "the checked request";
    EXPECT_EQ(two->SubmitAndWait(checked).eResult, ESubmit::Stored);
    EXPECT_EQ(Reserve(*one, who, 3, "t5"), ESubmit::Limited);
    // t2's check could not run: it is given back.
    SSubmission busy = Sub("busy", 30, who);
    busy.nLimitPerMinute = 100;
    busy.strCheckToken = "t2";
    busy.bUnjudged = true;
    busy.strFingerprint = "the checked request";  // a repeat of t1's: no new record
    EXPECT_EQ(one->SubmitAndWait(busy).eResult, ESubmit::Repeated);
    EXPECT_EQ(Reserve(*two, who, 3, "t6"), ESubmit::Stored);
    EXPECT_EQ(Reserve(*two, who, 3, "t7"), ESubmit::Limited);
    // t8's check ran, for a repeat: it still counts.
    EXPECT_EQ(Reserve(*one, who, 5, "t8"), ESubmit::Stored);
    SSubmission repeat = checked;
    repeat.strCheckToken = "t8";
    EXPECT_EQ(one->SubmitAndWait(repeat).eResult, ESubmit::Repeated);
    EXPECT_EQ(Reserve(*two, who, 5, "t9"), ESubmit::Stored);
    EXPECT_EQ(Reserve(*two, who, 5, "t10"), ESubmit::Limited);
}

// The same record sent again after its check could not run: the record
// stored before is verified, no other is added; within the address's limit.
TEST_P(StoreTest, ARecordSentAgainVerifiesTheOneKeptUnjudged) {
    auto one = Open();
    auto two = Open();
    ASSERT_TRUE(one && two);
    ASSERT_EQ(one->StoreReplay(Sha(7), "the game", "10.0.0.1", 10), EUpload::Stored);
    SSubmission first = Sub("Ear", 1200, "10.0.0.1", 1, "Japan");
    first.rec.strReplay = Sha(7);
    first.bUnjudged = true;
    const SSubmitResult kept = one->SubmitAndWait(first);
    ASSERT_EQ(kept.eResult, ESubmit::Stored);
    EXPECT_FALSE(kept.rec.bVerified);
    // Busy again: the same record answers, nothing is added.
    const SSubmitResult again = two->SubmitAndWait(first);
    EXPECT_EQ(again.rec.nId, kept.rec.nId);
    EXPECT_FALSE(again.rec.bVerified);
    // Over the address's limit: refused, and the record stays as it was.
    SSubmission checked = Verified("Ear", 1200, Sha(7));
    checked.bUnjudged = false;
    checked.nLimitPerMinute = 2;
    EXPECT_EQ(one->SubmitAndWait(checked).eResult, ESubmit::Limited);
    checked.nLimitPerMinute = 10;
    const SSubmitResult verified = two->SubmitAndWait(checked);
    EXPECT_EQ(verified.eResult, ESubmit::Stored);
    EXPECT_EQ(verified.rec.nId, kept.rec.nId);
    EXPECT_TRUE(verified.rec.bVerified);
    EXPECT_EQ(verified.nRank, 1);
    EXPECT_EQ(verified.nTotal, 1);
    EXPECT_EQ(one->Count(1, true), 1);
    EXPECT_EQ(one->Count(1, false), 0);
    EXPECT_EQ(AreaSummary(*one), "Japan:1:1200 ");
    std::string body;
    EXPECT_TRUE(one->ReplayOfRecord(kept.rec.nId, body));
    EXPECT_EQ(body, "the game");
    // Once verified, it is done: the same again is another record's claim.
    const SSubmitResult after = one->SubmitAndWait(checked);
    EXPECT_NE(after.rec.nId, kept.rec.nId);
    EXPECT_FALSE(after.rec.bVerified);
    // Another name with that replay is another record, and no unjudged one.
    SSubmission other = first;
    other.rec.strName = "Other";
    EXPECT_NE(one->SubmitAndWait(other).rec.nId, kept.rec.nId);
    // A record that failed its check is not waiting for one.
    ASSERT_EQ(one->StoreReplay(Sha(8), "game two", "10.0.0.1", 10), EUpload::Stored);
    SSubmission failed = Sub("Failed", 900, "10.0.0.1", 1, "Japan");
    failed.rec.strReplay = Sha(8);
    const SSubmitResult refused = one->SubmitAndWait(failed);
    const SSubmitResult later = one->SubmitAndWait(Verified("Failed", 900, Sha(8)));
    EXPECT_NE(later.rec.nId, refused.rec.nId);
    EXPECT_EQ(one->Count(1, true), 2);
}

// Uploads no record claimed go a day after they came (or came again);
// claimed ones stay with their records; bytes are bounded per address a day.
TEST_P(StoreTest, UnclaimedUploadsExpireAndBytesAreBoundedPerAddress) {
    auto store = Open();
    ASSERT_TRUE(store);
    const std::string body(1000, 'r');
    EXPECT_EQ(store->StoreReplay(Sha(1), body, "10.2.0.1", 100, 2500), EUpload::Stored);
    EXPECT_EQ(store->StoreReplay(Sha(2), body, "10.2.0.1", 100, 2500), EUpload::Stored);
    EXPECT_EQ(store->StoreReplay(Sha(3), body, "10.2.0.1", 100, 2500), EUpload::TooMuch);
    EXPECT_EQ(store->StoreReplay(Sha(3), body, "10.2.0.2", 100, 2500), EUpload::Stored);
    // Already there: no new bytes.
    EXPECT_EQ(store->StoreReplay(Sha(1), body, "10.2.0.1", 100, 2500), EUpload::AlreadyThere);
    EXPECT_TRUE(store->SubmitAndWait(Verified("kept", 50, Sha(2))).rec.bVerified);
    // A day and a bit later, as far as the uploads know.
    const std::string dayAgo = std::to_string(CRankStore::kUploadKeepMs + 60000);
    Sql("UPDATE replays SET at = at - " + dayAgo);
    EXPECT_EQ(store->StoreReplay(Sha(4), body, "10.2.0.1", 100, 2500), EUpload::Stored);
    std::string back;
    EXPECT_FALSE(store->LoadReplay(Sha(1), back));
    EXPECT_FALSE(store->LoadReplay(Sha(3), back));
    EXPECT_TRUE(store->LoadReplay(Sha(2), back));  // its record's
    EXPECT_TRUE(store->ReplayOfRecord(store->Best(true, nullptr, 0, 0, 1).at(0).nId, back));
    // The day's bytes are the new day's only.
    EXPECT_EQ(store->StoreReplay(Sha(5), body, "10.2.0.1", 100, 2500), EUpload::Stored);
    EXPECT_EQ(store->StoreReplay(Sha(6), body, "10.2.0.1", 100, 2500), EUpload::TooMuch);
    // Sent again within its day, an upload is kept a day from then.
    const std::string almost = std::to_string(CRankStore::kUploadKeepMs - 60000);
    Sql("UPDATE replays SET at = at - " + almost);
    EXPECT_EQ(store->StoreReplay(Sha(4), body, "10.2.0.1", 100, 2500), EUpload::AlreadyThere);
    Sql("UPDATE replays SET at = at - 120000");
    EXPECT_EQ(store->StoreReplay(Sha(6), body, "10.2.0.3", 100, 2500), EUpload::Stored);
    EXPECT_TRUE(store->LoadReplay(Sha(4), back));
    EXPECT_FALSE(store->LoadReplay(Sha(5), back));
}

TEST_P(StoreTest, ManyThreadsAllAnsweredAndAllKept) {
    constexpr int kThreads = 8, kEach = 40;
    std::atomic<int> stored{0}, answered{0};
    std::set<int64_t> ids;
    std::mutex mutex;
    uint64_t generation = 0;
    {
        auto store = Open();
        ASSERT_TRUE(store);
        generation = store->Generation();
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < kEach; ++i)
                    store->Submit(Sub("t" + std::to_string(t) + "." + std::to_string(i), i * 7,
                                      "10.2.0." + std::to_string(t)),
                                  [&](const SSubmitResult& r) {
                                      answered++;
                                      if (r.eResult == ESubmit::Stored) {
                                          stored++;
                                          std::lock_guard<std::mutex> lock(mutex);
                                          ids.insert(r.rec.nId);
                                      }
                                  });
            });
        for (auto& t : threads)
            t.join();
        // The store answers everything queued before it goes.
    }
    EXPECT_EQ(answered, kThreads * kEach);
    EXPECT_EQ(stored, kThreads * kEach);
    EXPECT_EQ(ids.size(), static_cast<size_t>(kThreads * kEach));
    auto again = Open();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Count(1, false), kThreads * kEach);
    EXPECT_EQ(again->NewestAt(0, 1000).size(), static_cast<size_t>(kThreads * kEach));
    // Queued together, written together: fewer commits than records.
    EXPECT_GT(again->Generation(), generation);
    EXPECT_LT(again->Generation() - generation, static_cast<uint64_t>(kThreads * kEach));
}

// Text one engine would refuse or cut fails its own write alike on both, and
// the batch it came in still stores every other record.
TEST_P(StoreTest, AWriteThatFailsCostsNoOtherRecordItsPlace) {
    auto store = Open();
    ASSERT_TRUE(store);
    const std::vector<std::string> bad = {std::string("ab\0cd", 5), "\xC0\x80", "\xED\xA0\x80",
                                          "\xF4\x90\x80\x80",       "\xE6\x97", "\xFF"};
    std::mutex mutex;
    std::map<std::string, ESubmit> answers;
    std::atomic<int> answered{0};
    auto note = [&](const std::string& key) {
        return [&, key](const SSubmitResult& r) {
            std::lock_guard<std::mutex> lock(mutex);
            answers[key] = r.eResult;
            answered++;
        };
    };
    int sent = 0;
    for (int i = 0; i < 10; ++i, ++sent) {
        store->Submit(Sub("good" + std::to_string(i), i), note("good" + std::to_string(i)));
        if (i < static_cast<int>(bad.size())) {
            store->Submit(Sub(bad[i], i), note("bad" + std::to_string(i)));
            ++sent;
        }
    }
    SSubmission odd = Sub("\xE6\x97\xA5 fine", 3);
    odd.strFingerprint = std::string("any\0bytes\xFF", 10);  // compared by digest only
    store->Submit(odd, note("odd"));
    ++sent;
    while (answered < sent)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(answers["good" + std::to_string(i)], ESubmit::Stored) << i;
    for (size_t i = 0; i < bad.size(); ++i)
        EXPECT_EQ(answers["bad" + std::to_string(i)], ESubmit::Failed) << i;
    EXPECT_EQ(answers["odd"], ESubmit::Stored);
    EXPECT_EQ(store->Count(1, false), 11);
    EXPECT_EQ(store->StoreReplay(Sha(1), "x", std::string("a\0b", 3), 10), EUpload::Failed);
    EXPECT_EQ(store->SubmitAndWait(odd).eResult, ESubmit::Repeated);
}

// A flood of readers shares a bounded set of connections and reads right.
TEST_P(StoreTest, ManyReadersShareABoundedSetOfConnections) {
    auto store = Open();
    ASSERT_TRUE(store);
    for (int i = 0; i < 20; ++i)
        store->Submit(Sub("r" + std::to_string(i), i * 10), [](const SSubmitResult&) {});
    ASSERT_EQ(store->SubmitAndWait(Sub("last", 1000)).nTotal, 21);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 64; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10; ++i)
                if (store->RankOf(1, false, 95) != 12 ||
                    store->Best(false, nullptr, 0, 0, 5).size() != 5)
                    wrong++;
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(wrong, 0);
    if (GetParam() == EEngine::Postgres) {
        std::string err;
        auto conn = OpenSqlConn(m_strDb, err);
        ASSERT_TRUE(conn) << err;
        int64_t n = 0;
        ASSERT_TRUE(SqlScalar(*conn,
                              "SELECT COUNT(*) FROM pg_stat_activity WHERE datname = "
                              "current_database()",
                              {}, n));
        // The readers, the writer and this connection.
        EXPECT_LE(n, CRankStore::kMaxReaders + 2);
    }
}

TEST_P(StoreTest, CountersFollowAnOperatorsEdits) {
    auto store = Open();
    ASSERT_TRUE(store);
    store->StoreReplay(Sha(1), "r1", "10.0.0.1", 10);
    store->StoreReplay(Sha(2), "r2", "10.0.0.1", 10);
    store->StoreReplay(Sha(3), "r3", "10.0.0.1", 10);
    store->SubmitAndWait(Verified("a", 300, Sha(1)));
    store->SubmitAndWait(Verified("b", 300, Sha(2)));
    store->SubmitAndWait(Verified("c", 100, Sha(3), "France"));
    EXPECT_EQ(AreaSummary(*store), "Japan:2:300 France:1:100 ");
    const uint64_t generation = store->Generation();
    Sql("DELETE FROM records WHERE name = 'a'");
    Sql("UPDATE records SET score = 50, aria = 'Japan' WHERE name = 'c'");
    EXPECT_EQ(store->Count(1, true), 2);
    EXPECT_EQ(store->RankOf(1, true, 100), 2);
    EXPECT_EQ(AreaSummary(*store), "Japan:2:300 ");
    Sql("UPDATE records SET verified = 0 WHERE name = 'b'");
    EXPECT_EQ(AreaSummary(*store), "Japan:1:50 ");
    EXPECT_EQ(store->Count(1, false), 1);
    Sql("DELETE FROM records");
    EXPECT_EQ(AreaSummary(*store), "");
    EXPECT_EQ(store->Count(1, true), 0);
    EXPECT_EQ(store->RankOf(1, true, 0), 1);
    EXPECT_EQ(store->Generation(), generation);  // only the store's commits count
}

// Two servers on one database writing batches whose records cross (levels,
// verified states, areas and scores in every order): the counters' rows are
// locked in one order by both, so neither waits in a circle for the other,
// and every record is counted once.
TEST_P(StoreTest, CrossingBatchesOfTwoStoresNeverDeadlock) {
    auto one = Open();
    auto two = Open();
    ASSERT_TRUE(one && two);
    const int64_t deadlocksBefore = Deadlocks();
    const char* const areas[] = {"Japan", "France", "Brazil", "Kenya"};
    std::atomic<int> stored{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            CRankStore* store = t % 2 ? one.get() : two.get();
            for (int burst = 0; burst < 12; ++burst) {
                std::vector<std::future<SSubmitResult>> pending;
                for (int i = 0; i < 16; ++i) {
                    const int n = (t * 12 + burst) * 16 + i;
                    // Descending scores in one store, ascending in the other.
                    const int score = t % 2 ? n * 37 % 20000 : 20000 - n * 37 % 20000;
                    SSubmission s = Sub("x" + std::to_string(n), score,
                                        "10.9." + std::to_string(t) + "." + std::to_string(i),
                                        (n / 3) % 2, areas[(n * 7 / 5) % 4]);
                    if (n % 3 != 1) {
                        s.rec.bVerified = true;
                        s.rec.strReplay = Sha(n);
                    }
                    auto p = std::make_shared<std::promise<SSubmitResult>>();
                    pending.push_back(p->get_future());
                    store->Submit(s, [p](const SSubmitResult& r) { p->set_value(r); });
                }
                for (auto& f : pending)
                    stored += f.get().eResult == ESubmit::Stored;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(stored, 8 * 12 * 16);
    one.reset();
    two.reset();  // their sessions end, so the server's statistics are current
    if (GetParam() == EEngine::Postgres) {
        EXPECT_EQ(Deadlocks(), deadlocksBefore) << "the database server broke deadlocks";
    }
    // The counters agree with a count of the records themselves.
    std::string err;
    auto conn = OpenSqlConn(m_strDb, err);
    ASSERT_TRUE(conn) << err;
    int64_t wrong = -1;
    ASSERT_TRUE(SqlScalar(*conn,
                          "SELECT (SELECT COUNT(*) FROM (SELECT level, verified, w.width, score "
                          "/ w.width AS b, COUNT(*) AS n FROM records CROSS JOIN (SELECT 1 AS "
                          "width UNION SELECT DISTINCT width FROM score_buckets) AS w GROUP BY "
                          "1, 2, 3, 4) r FULL JOIN (SELECT level, "
                          "verified, 1 AS width, score AS bucket, n FROM score_counts UNION ALL "
                          "SELECT * FROM score_buckets WHERE n > 0) c ON c.level = r.level AND "
                          "c.verified = r.verified AND c.width = r.width AND c.bucket = r.b "
                          "WHERE r.n IS NULL OR c.n IS NULL OR r.n <> c.n) + (SELECT COUNT(*) FROM "
                          "(SELECT aria, COUNT(*) AS n, MAX(score) AS m FROM records WHERE level "
                          "= 1 AND verified = 1 GROUP BY aria) r FULL JOIN area_totals a ON "
                          "a.aria = r.aria WHERE r.n IS NULL OR a.players IS NULL OR r.n <> "
                          "a.players OR r.m <> a.best)",
                          {}, wrong));
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, StoreTest, ::testing::Values(EEngine::Sqlite, EEngine::Postgres),
                         [](const ::testing::TestParamInfo<EEngine>& info) {
                             return info.param == EEngine::Sqlite ? "Sqlite" : "Postgres";
                         });

namespace {

class SqliteFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_strDb = ::testing::TempDir() + "store_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".db";
        Remove();
    }
    void TearDown() override { Remove(); }
    void Remove() {
        for (const char* ext : {"", "-wal", "-shm"})
            std::filesystem::remove(m_strDb + ext);
    }
    std::string m_strDb;
};

}  // namespace

// A file of the first server: its own counters and triggers, no verified state.
TEST_F(SqliteFileTest, FileOfAnEarlierServerIsMovedInPlaceOnce) {
    {
        std::string err;
        auto conn = OpenSqliteConn(m_strDb, err);
        ASSERT_TRUE(conn) << err;
        ASSERT_TRUE(conn->Exec(
            "CREATE TABLE records(id INTEGER PRIMARY KEY, aria TEXT NOT NULL, name TEXT NOT NULL, "
            "level INTEGER NOT NULL, score INTEGER NOT NULL);"
            "CREATE INDEX by_score ON records(level, score DESC);"
            "CREATE TABLE score_counts(level INTEGER NOT NULL, score INTEGER NOT NULL, "
            "n INTEGER NOT NULL, PRIMARY KEY(level, score)) WITHOUT ROWID;"
            "CREATE TABLE area_totals(aria TEXT PRIMARY KEY, players INTEGER NOT NULL, "
            "best INTEGER NOT NULL) WITHOUT ROWID;"
            "CREATE TRIGGER records_added AFTER INSERT ON records BEGIN "
            "INSERT INTO score_counts VALUES(new.level, new.score, 1) "
            "ON CONFLICT(level, score) DO UPDATE SET n = n + 1; END;"
            "CREATE TRIGGER records_changed AFTER UPDATE OF aria ON records BEGIN SELECT 1; END;"
            "INSERT INTO records(aria, name, level, score) VALUES('Japan', 'x', 1, 70), "
            "('Japan', 'y', 1, 20), ('Peru', 'z', 1, 20), ('Peru', 't', 0, 900)"));
    }
    {
        std::string err;
        auto store = CRankStore::Open(m_strDb, err);
        ASSERT_TRUE(store) << err;
        EXPECT_EQ(store->Count(1, false), 3);
        EXPECT_EQ(store->Count(1, true), 0);
        EXPECT_EQ(store->Count(0, false), 1);
        EXPECT_EQ(store->RankOf(1, false, 20), 2);
        EXPECT_EQ(AreaSummary(*store), "");  // nothing there was verified
        const auto best = store->Best(false, nullptr, 0, 0, 10);
        EXPECT_EQ(Names(best), (std::vector<std::string>{"x", "y", "z"}));
        EXPECT_FALSE(best[0].bVerified);
        EXPECT_TRUE(best[0].strReplay.empty());
        EXPECT_EQ(store->SubmitAndWait(Sub("w", 80, "10.0.0.1", 1, "Peru")).nRank, 1);
    }
    std::string err;
    auto again = CRankStore::Open(m_strDb, err);  // moved once: counts nothing twice
    ASSERT_TRUE(again) << err;
    EXPECT_EQ(again->Count(1, false), 4);
    EXPECT_EQ(again->RankOf(1, false, 70), 2);
}

TEST_F(SqliteFileTest, UnusableFileIsRefusedWithAReason) {
    {
        std::ofstream junk(m_strDb);
        junk << std::string(4096, 'x');
    }
    std::string err;
    EXPECT_FALSE(CRankStore::Open(m_strDb, err));
    EXPECT_FALSE(err.empty());
    EXPECT_FALSE(CRankStore::Open(::testing::TempDir() + "no/such/folder/x.db", err));
    EXPECT_FALSE(CRankStore::Open("postgresql://127.0.0.1:1/none", err));
    EXPECT_FALSE(err.empty());
}

// The database server killed (-9) while records arrive: each answered Stored
// is there after its restart, and the same store goes on once it is back.
TEST(PgCrashTest, EveryAcknowledgedRecordSurvivesAKill) {
    if (!CPgCluster::Installed())
        GTEST_SKIP() << "PostgreSQL 15 is not installed";
    std::string err;
    auto cluster = CPgCluster::Start(err);
    ASSERT_TRUE(cluster) << err;
    auto store = CRankStore::Open(cluster->Uri(), err);
    ASSERT_TRUE(store) << err;
    std::mutex mutex;
    std::set<std::string> acked;
    std::atomic<bool> stop{false};
    std::atomic<int> failed{0};
    std::vector<std::thread> senders;
    for (int t = 0; t < 4; ++t)
        senders.emplace_back([&, t] {
            for (int i = 0; !stop; ++i) {
                const std::string name = "k" + std::to_string(t) + "." + std::to_string(i);
                const SSubmitResult r = store->SubmitAndWait(Sub(name, i, "10.3.0.1"));
                if (r.eResult == ESubmit::Stored) {
                    std::lock_guard<std::mutex> lock(mutex);
                    acked.insert(name);
                } else {
                    failed++;
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
            }
        });
    auto count = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return acked.size();
    };
    for (int i = 0; i < 1000 && count() < 200; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    cluster->Kill();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_TRUE(cluster->Restart());
    const size_t before = count();
    for (int i = 0; i < 1000 && count() < before + 50; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    stop = true;
    for (auto& t : senders)
        t.join();
    EXPECT_GT(failed, 0);  // the kill was felt
    EXPECT_GE(count(), before + 50) << "the store did not reconnect";
    store.reset();
    auto conn = OpenSqlConn(cluster->Uri(), err);
    ASSERT_TRUE(conn) << err;
    auto rows = SqlRun(*conn, "SELECT name FROM records", {});
    std::set<std::string> kept;
    while (rows && rows->Step())
        kept.insert(rows->Text(0));
    for (const std::string& name : acked)
        EXPECT_TRUE(kept.count(name)) << name << " was answered Stored and is lost";
}
