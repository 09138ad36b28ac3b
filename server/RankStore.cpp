#include "server/RankStore.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <future>
#include <set>

#include "server/RankSchema.h"
#include "server/SqlConn.h"

namespace {

constexpr int64_t kMinuteMs = 60000;
constexpr int64_t kRepeatMs = 1000;
constexpr int kMaxRows = 1000;

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A stable 64-bit hash of an address: the key of its advisory lock.
int64_t AddressKey(const std::string& s) {
    uint64_t h = 1469598103934665603ull;
    for (const char c : s)
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return static_cast<int64_t>(h);
}

// Text both engines keep byte for byte: valid UTF-8 without NUL (PostgreSQL
// refuses the one and its client library cuts at the other). Anything else
// fails its write, on either engine alike.
bool Storable(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80         ? 0
                         : (c >> 5) == 6  ? 1
                         : (c >> 4) == 14 ? 2
                         : (c >> 3) == 30 ? 3
                                          : 9;
        if (c == 0 || n == 9 || i + n >= s.size())
            return false;
        uint32_t cp = n == 0 ? c : c & (0x3F >> n);
        for (size_t k = 1; k <= n; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if ((d >> 6) != 2)
                return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF.
        static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[n] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return false;
        i += n + 1;
    }
    return true;
}

// The repeat check compares requests, whatever bytes they hold: by a digest.
std::string Digest(const std::string& s) {
    uint64_t a = 1469598103934665603ull, b = 0x9E3779B97F4A7C15ull;
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        a = (a ^ c) * 1099511628211ull;
        b = (b ^ c) * 0x100000001B3ull + 0x2545F4914F6CDD1Dull;
    }
    char out[33];
    std::snprintf(out, sizeof out, "%016llx%016llx", static_cast<unsigned long long>(a),
                  static_cast<unsigned long long>(b));
    return out;
}

// Reads that failed on this thread, so that a caller can tell an empty answer
// from a lost one.
thread_local int tls_nReadFailures = 0;

const char* const kRecordColumns = "id, aria, name, level, score, verified, replay";

std::vector<SRecord> Rows(CSqlStmt* s, std::vector<SRecord> out = {}) {
    while (s && s->Step())
        out.push_back({s->Int(0), s->Text(1), s->Text(2), static_cast<int>(s->Int(3)),
                       static_cast<int>(s->Int(4)), s->Int(5) != 0,
                       s->Null(6) ? std::string() : s->Text(6)});
    return out;
}

int Higher(CSqlConn& c, int nLevel, bool bVerified, int nScore) {
    auto text = [](EEngine e) {
        return "SELECT " + SqlHigher(e, "p.lv", "p.v", "p.s") +
               " FROM (SELECT CAST(? AS INTEGER) AS lv, CAST(? AS INTEGER) AS v, CAST(? AS "
               "INTEGER) AS s) AS p";
    };
    static const std::string sqlite = text(EEngine::Sqlite), postgres = text(EEngine::Postgres);
    const std::string& sql = c.Engine() == EEngine::Sqlite ? sqlite : postgres;
    int64_t n = 0;
    if (!SqlScalar(c, sql, {int64_t{nLevel}, int64_t{bVerified ? 1 : 0}, int64_t{nScore}}, n))
        return -1;
    return static_cast<int>(n);
}

int Total(CSqlConn& c, int nLevel, bool bVerified) {
    int64_t n = 0;
    if (!SqlScalar(c, SqlTotal(c.Engine()), {int64_t{nLevel}, int64_t{bVerified ? 1 : 0}}, n))
        return -1;
    return static_cast<int>(n);
}

bool RankAndTotal(CSqlConn& c, SSubmitResult& r) {
    const int higher = Higher(c, r.rec.nLevel, r.rec.bVerified, r.rec.nScore);
    r.nTotal = Total(c, r.rec.nLevel, r.rec.bVerified);
    r.nRank = higher + 1;
    return higher >= 0 && r.nTotal >= 0;
}

// An earlier identical request within the second: its record, if still there.
bool FindRepeat(CSqlConn& c, const SSubmission& sub, int64_t nNow, SRecord& rec) {
    if (sub.strFingerprint.empty())
        return false;
    int64_t id = 0;
    if (!SqlScalar(c,
                   "SELECT record_id FROM submissions WHERE fingerprint = ? AND kind = 0 AND "
                   "at > ? ORDER BY at LIMIT 1",
                   {sub.strFingerprint, nNow - kRepeatMs}, id))
        return false;
    auto s =
        SqlRun(c, std::string("SELECT ") + kRecordColumns + " FROM records WHERE id = ?", {id});
    const auto rows = Rows(s.get());
    if (rows.empty())
        return false;
    rec = rows[0];
    return true;
}

// Counts no further than the limit: an address that keeps sending costs no more.
int64_t RecentCount(CSqlConn& c, int nKind, const std::string& strClient, int64_t nNow,
                    int nLimit) {
    int64_t n = 0;
    SqlScalar(c,
              "SELECT COUNT(*) FROM (SELECT 1 FROM submissions WHERE client = ? AND kind = ? AND "
              "at > ? LIMIT ?) AS recent",
              {strClient, int64_t{nKind}, nNow - kMinuteMs, int64_t{std::max(nLimit, 0)}}, n);
    return n;
}

// A replay verifies one record, ever: the first whose transaction claims it.
bool ClaimReplay(CSqlConn& c, const SRecord& rec, bool& bClaimed) {
    auto keep = c.Prepare(
        "INSERT INTO replays(sha, body, client, at, claimed_by) VALUES(?, ?, '', 0, NULL) "
        "ON CONFLICT(sha) DO NOTHING");
    if (!keep)
        return false;
    keep->Bind(1, rec.strReplay);
    keep->BindBlob(2, std::string());
    while (keep->Step()) {
    }
    int64_t changed = 0;
    if (keep->Failed() ||
        !SqlDo(c, "UPDATE replays SET claimed_by = ? WHERE sha = ? AND claimed_by IS NULL",
               {rec.nId, rec.strReplay}, &changed))
        return false;
    bClaimed = changed == 1;
    return bClaimed || SqlDo(c, "UPDATE records SET verified = 0 WHERE id = ?", {rec.nId});
}

// A PostgreSQL array literal of texts; a null for an empty replay.
std::string TextArray(const std::vector<const std::string*>& arr) {
    std::string out = "{";
    for (const std::string* p : arr) {
        out += out.size() > 1 ? "," : "";
        if (!p) {
            out += "NULL";
            continue;
        }
        out += '"';
        for (const char ch : *p) {
            if (ch == '"' || ch == '\\')
                out += '\\';
            out += ch;
        }
        out += '"';
    }
    return out + "}";
}

std::string IntArray(const std::vector<int64_t>& arr) {
    std::string out = "{";
    for (const int64_t n : arr)
        out += (out.size() > 1 ? "," : "") + std::to_string(n);
    return out + "}";
}

// A run of submissions in one round trip: the server's function (see the
// schema) once for each, in their order, each seeing the ones before it.
// One statement instead of one a record was most of a batch's time.
bool DoSubmitsPg(CSqlConn& c, const std::vector<const SSubmission*>& subs, int64_t nNow,
                 const std::vector<SSubmitResult*>& results) {
    std::vector<const std::string*> clients, fps, arias, names, replays;
    std::vector<int64_t> limits, levels, scores, claims;
    for (const SSubmission* sub : subs) {
        clients.push_back(&sub->strClient);
        fps.push_back(&sub->strFingerprint);
        arias.push_back(&sub->rec.strAria);
        names.push_back(&sub->rec.strName);
        replays.push_back(sub->rec.strReplay.empty() ? nullptr : &sub->rec.strReplay);
        limits.push_back(sub->nLimitPerMinute);
        levels.push_back(sub->rec.nLevel);
        scores.push_back(sub->rec.nScore);
        claims.push_back(sub->rec.bVerified && !sub->rec.strReplay.empty() ? 1 : 0);
    }
    auto s = SqlRun(
        c,
        "SELECT r.outcome, r.rid, r.raria, r.rname, r.rlevel, r.rscore, r.rverified, r.rreplay, "
        "r.taken, r.higher, r.total FROM unnest(?::text[], ?::text[], ?::integer[], ?::text[], "
        "?::text[], ?::integer[], ?::integer[], ?::integer[], ?::text[]) WITH ORDINALITY AS "
        "a(client, fp, lim, aria, name, level, score, claim, replay, ord) CROSS JOIN LATERAL "
        "rank_submit(a.client, a.fp, a.lim, ?, a.aria, a.name, a.level, a.score, a.claim, "
        "a.replay) AS r ORDER BY a.ord",
        {TextArray(clients), TextArray(fps), IntArray(limits), TextArray(arias), TextArray(names),
         IntArray(levels), IntArray(scores), IntArray(claims), TextArray(replays), nNow});
    size_t i = 0;
    for (; s && i < results.size() && s->Step(); ++i) {
        SSubmitResult& r = *results[i];
        const int64_t outcome = s->Int(0);
        if (outcome == 2) {
            r.eResult = ESubmit::Limited;
            r.rec.bVerified = false;
            continue;
        }
        r.eResult = outcome == 1 ? ESubmit::Repeated : ESubmit::Stored;
        r.rec = {s->Int(1),
                 s->Text(2),
                 s->Text(3),
                 static_cast<int>(s->Int(4)),
                 static_cast<int>(s->Int(5)),
                 s->Int(6) != 0,
                 s->Null(7) ? std::string() : s->Text(7)};
        r.bReplayTaken = s->Int(8) != 0;
        r.nRank = static_cast<int>(s->Int(9)) + 1;
        r.nTotal = static_cast<int>(s->Int(10));
    }
    while (s && s->Step()) {
    }
    return s && !s->Failed() && i == results.size();
}

bool Storable(const SSubmission& sub) {
    return Storable(sub.rec.strAria) && Storable(sub.rec.strName) && Storable(sub.rec.strReplay) &&
           Storable(sub.strClient);
}

bool DoSubmitRecord(CSqlConn& c, const SSubmission& sub, int64_t nNow, SSubmitResult& r) {
    r = SSubmitResult();
    r.rec = sub.rec;
    r.rec.nId = 0;
    if (!Storable(sub))
        return false;
    if (FindRepeat(c, sub, nNow, r.rec)) {
        r.eResult = ESubmit::Repeated;
        return RankAndTotal(c, r);
    }
    if (RecentCount(c, 0, sub.strClient, nNow, sub.nLimitPerMinute) >= sub.nLimitPerMinute) {
        r.eResult = ESubmit::Limited;
        return true;
    }
    const bool bClaim = r.rec.bVerified && !r.rec.strReplay.empty();
    r.rec.bVerified = bClaim;
    auto ins = SqlRun(c,
                      "INSERT INTO records(aria, name, level, score, verified, replay, at) "
                      "VALUES(?, ?, ?, ?, ?, ?, ?) RETURNING id",
                      {r.rec.strAria, r.rec.strName, int64_t{r.rec.nLevel}, int64_t{r.rec.nScore},
                       int64_t{bClaim ? 1 : 0},
                       r.rec.strReplay.empty() ? SqlArg(nullptr) : SqlArg(r.rec.strReplay), nNow});
    if (!ins || !ins->Step())
        return false;
    r.rec.nId = ins->Int(0);
    while (ins->Step()) {
    }
    ins.reset();
    if (bClaim) {
        bool bClaimed = false;
        if (!ClaimReplay(c, r.rec, bClaimed))
            return false;
        r.rec.bVerified = bClaimed;
        r.bReplayTaken = !bClaimed;
    }
    if (!SqlDo(c, "INSERT INTO submissions VALUES(0, ?, ?, ?, ?)",
               {sub.strClient, nNow, sub.strFingerprint, r.rec.nId}))
        return false;
    r.eResult = ESubmit::Stored;
    return RankAndTotal(c, r);
}

// A game verifies one record, ever: the first whose transaction claims its
// digest, whichever file (packed otherwise, say) brought it. The claim is
// taken before the record exists (record 0) and given to it once stored, so
// both engines share it; a record not stored (a repeat, over the limit, its
// file claimed already) gives it back.
bool ClaimGame(CSqlConn& c, const std::string& strGame, bool& bClaimed) {
    int64_t changed = 0;
    if (!SqlDo(c,
               "INSERT INTO games(digest, record_id) VALUES(?, 0) ON CONFLICT(digest) DO NOTHING",
               {strGame}, &changed))
        return false;
    bClaimed = changed == 1;
    return true;
}

bool SettleGame(CSqlConn& c, const std::string& strGame, const SSubmitResult& r) {
    if (r.eResult == ESubmit::Stored && r.rec.bVerified)
        return SqlDo(c, "UPDATE games SET record_id = ? WHERE digest = ?", {r.rec.nId, strGame});
    return SqlDo(c, "DELETE FROM games WHERE digest = ? AND record_id = 0", {strGame});
}

// A record sent again: the same replay named with the same keys.
std::string ResendKey(const SRecord& rec) {
    return Digest(rec.strReplay + "\n" + std::to_string(rec.nLevel) + "\n" +
                  std::to_string(rec.nScore) + "\n" + rec.strAria + "\n" + rec.strName);
}

// The record stored unverified under this key because its check could not run.
int64_t UnjudgedRecord(CSqlConn& c, const std::string& strKey) {
    int64_t id = 0;
    SqlScalar(c,
              "SELECT u.record_id FROM unjudged u JOIN records r ON r.id = u.record_id "
              "WHERE u.resend = ? AND r.verified = 0",
              {strKey}, id);
    return id;
}

// The same record sent again: it counts against the address like any
// record, and verifies the record stored before when its replay has been
// checked now, instead of adding another.
// A batch on PostgreSQL counts only the records it adds: the trigger counts
// a change to an earlier one.
bool SetTriggerCounts(CSqlConn& c, bool bTrigger) {
    return c.Engine() != EEngine::Postgres ||
           SqlDo(c, "SELECT set_config('doruzoro.batch_counted', ?, true)",
                 {std::string(bTrigger ? "off" : "on")});
}

bool DoResend(CSqlConn& c, const SSubmission& sub, int64_t nId, int64_t nNow, SSubmitResult& r) {
    r = SSubmitResult();
    r.rec = sub.rec;
    r.bSentAgain = true;
    if (sub.strCheckToken.empty() &&
        RecentCount(c, 0, sub.strClient, nNow, sub.nLimitPerMinute) >= sub.nLimitPerMinute) {
        r.eResult = ESubmit::Limited;
        return true;
    }
    auto s =
        SqlRun(c, std::string("SELECT ") + kRecordColumns + " FROM records WHERE id = ?", {nId});
    const auto rows = Rows(s.get());
    s.reset();
    if (rows.empty())
        return false;
    r.rec = rows[0];
    if (sub.rec.bVerified) {
        bool bClaimed = false;
        if (!SetTriggerCounts(c, true) ||
            !SqlDo(c, "UPDATE records SET verified = 1 WHERE id = ?", {nId}) ||
            !ClaimReplay(c, r.rec, bClaimed) || !SetTriggerCounts(c, false) ||
            (bClaimed && !SqlDo(c, "DELETE FROM unjudged WHERE record_id = ?", {nId})))
            return false;
        r.rec.bVerified = bClaimed;
        r.bReplayTaken = !bClaimed;
    }
    if (!SqlDo(c, "INSERT INTO submissions VALUES(0, ?, ?, ?, ?)",
               {sub.strClient, nNow, sub.strFingerprint, nId}))
        return false;
    r.eResult = ESubmit::Stored;
    return RankAndTotal(c, r);
}

bool DoSubmit(CSqlConn& c, const SSubmission& sub, int64_t nNow, SSubmitResult& r) {
    SSubmission s = sub;
    s.rec.bVerified = sub.rec.bVerified && !sub.rec.strReplay.empty() && !sub.strGame.empty() &&
                      Storable(sub.strGame);
    bool bClaimed = false;
    if (s.rec.bVerified && !ClaimGame(c, s.strGame, bClaimed))
        return false;
    const bool bTaken = s.rec.bVerified && !bClaimed;
    s.rec.bVerified = bClaimed;
    const std::string key = s.rec.strReplay.empty() ? std::string() : ResendKey(s.rec);
    const int64_t earlier = key.empty() ? 0 : UnjudgedRecord(c, key);
    if (!(earlier ? DoResend(c, s, earlier, nNow, r) : DoSubmitRecord(c, s, nNow, r)))
        return false;
    const bool bStored = r.eResult == ESubmit::Stored;
    if (bTaken && bStored && !r.rec.bVerified)
        r.bReplayTaken = true;
    if (bClaimed && !SettleGame(c, s.strGame, r))
        return false;
    // The reserved check is now this record, counted as one; a check that
    // ran for a record not stored (a repeat) still counts; one that never
    // ran (busy) never does.
    if (!s.strCheckToken.empty() && (bStored || s.bUnjudged) &&
        !SqlDo(c, "DELETE FROM submissions WHERE kind = 2 AND fingerprint = ?", {s.strCheckToken}))
        return false;
    if (!earlier && s.bUnjudged && bStored && !r.rec.bVerified &&
        !SqlDo(c,
               "INSERT INTO unjudged(resend, record_id) VALUES(?, ?) ON CONFLICT(resend) DO UPDATE "
               "SET record_id = excluded.record_id",
               {key, r.rec.nId}))
        return false;
    return true;
}

bool DoReserveCheck(CSqlConn& c, const std::string& strClient, int nLimit,
                    const std::string& strToken, int64_t nNow, ESubmit& e) {
    if (!Storable(strClient) || !Storable(strToken))
        return false;
    int64_t n = 0;
    if (!SqlScalar(c,
                   "SELECT COUNT(*) FROM (SELECT 1 FROM submissions WHERE client = ? AND kind IN "
                   "(0, 2) AND at > ? LIMIT ?) AS recent",
                   {strClient, nNow - kMinuteMs, int64_t{std::max(nLimit, 0)}}, n))
        return false;
    if (n >= nLimit) {
        e = ESubmit::Limited;
        return true;
    }
    e = ESubmit::Stored;
    return SqlDo(c, "INSERT INTO submissions VALUES(2, ?, ?, ?, 0)", {strClient, nNow, strToken});
}

bool DoUpload(CSqlConn& c, const std::string& strSha, const std::string& strBody,
              const std::string& strClient, int nLimit, int64_t nBytesPerDay, int64_t nNow,
              EUpload& e) {
    if (!Storable(strSha) || !Storable(strClient))
        return false;
    if (RecentCount(c, 1, strClient, nNow, nLimit) >= nLimit) {
        e = EUpload::Limited;
        return true;
    }
    // Uploads that no record claimed within a day go, a few with each
    // upload: as many go as come, and no upload waits for a sweep.
    if (!SqlDo(c,
               "DELETE FROM replays WHERE sha IN (SELECT sha FROM replays WHERE claimed_by IS "
               "NULL AND at < ? ORDER BY at LIMIT 16)",
               {nNow - CRankStore::kUploadKeepMs}))
        return false;
    int64_t size = -1;
    SqlScalar(c, "SELECT length(body) FROM replays WHERE sha = ?", {strSha}, size);
    if (size > 0) {
        // Sent again (by a game sending its record again, say): kept a day from now.
        e = EUpload::AlreadyThere;
        return SqlDo(c, "UPDATE replays SET at = ? WHERE sha = ? AND claimed_by IS NULL",
                     {nNow, strSha}) &&
               SqlDo(c, "INSERT INTO submissions VALUES(1, ?, ?, '', 0)", {strClient, nNow});
    }
    int64_t bytes = 0;
    if (!SqlScalar(c,
                   "SELECT coalesce(SUM(length(body)), 0) FROM replays WHERE client = ? AND at > ?",
                   {strClient, nNow - CRankStore::kUploadKeepMs}, bytes))
        return false;
    if (bytes + static_cast<int64_t>(strBody.size()) > nBytesPerDay) {
        e = EUpload::TooMuch;
        return true;
    }
    // A record may have claimed the hash before its body came: fill it in.
    auto s = c.Prepare(size < 0 ? "INSERT INTO replays(body, sha, client, at) VALUES(?, ?, ?, ?)"
                                : "UPDATE replays SET body = ?, client = ?, at = ? WHERE sha = ? "
                                  "AND length(body) = 0");
    if (!s)
        return false;
    s->BindBlob(1, strBody);
    if (size < 0) {
        s->Bind(2, strSha);
        s->Bind(3, strClient);
        s->Bind(4, nNow);
    } else {
        s->Bind(2, strClient);
        s->Bind(3, nNow);
        s->Bind(4, strSha);
    }
    while (s->Step()) {
    }
    if (s->Failed())
        return false;
    e = EUpload::Stored;
    return SqlDo(c, "INSERT INTO submissions VALUES(1, ?, ?, '', 0)", {strClient, nNow});
}

}  // namespace

// A reading connection for the length of one call, then back to the pool.
// A read that fails drops its connection and the idle ones with it: after a
// restart of the database server every pooled link is dead, and each would
// otherwise fail one request before it is made again.
class CRankStore::CLease {
public:
    explicit CLease(CRankStore& store) : m_store(store), m_pConn(store.TakeReader()) {
        if (!m_pConn)
            ++tls_nReadFailures;
    }
    ~CLease() {
        if (m_bFailed)
            m_store.DropReaders(std::move(m_pConn));
        else if (m_pConn)
            m_store.GiveBack(std::move(m_pConn));
    }
    CSqlConn* operator->() { return m_pConn.get(); }
    CSqlConn& operator*() { return *m_pConn; }
    explicit operator bool() const { return m_pConn != nullptr; }
    // Checks a statement once its rows were read: false when it failed.
    bool Check(const CSqlStmt* s) {
        if (s && !s->Failed())
            return true;
        Fail();
        return false;
    }
    void Fail() {
        if (m_pConn && !m_bFailed) {
            m_bFailed = true;
            ++tls_nReadFailures;
        }
    }

private:
    CRankStore& m_store;
    std::unique_ptr<CSqlConn> m_pConn;
    bool m_bFailed = false;
};

template <typename T>
T CRankStore::Checked(CLease& c, const CSqlStmt* s, T rows) {
    c.Check(s);
    return rows;
}

int CRankStore::ReadFailuresOnThisThread() {
    return tls_nReadFailures;
}

CRankStore::CRankStore(std::string strDb) : m_strDb(std::move(strDb)) {}

std::unique_ptr<CRankStore> CRankStore::Open(const std::string& strDb, std::string& strError) {
    std::unique_ptr<CRankStore> store(new CRankStore(strDb));
    store->m_pWriter = OpenSqlConn(strDb, strError);
    if (!store->m_pWriter || !EnsureRankSchema(*store->m_pWriter, strError))
        return nullptr;
    int64_t generation = 0;
    if (SqlScalar(*store->m_pWriter, "SELECT value FROM meta WHERE key = 'generation'", {},
                  generation))
        store->RaiseGeneration(generation);
    store->m_writer = std::thread([p = store.get()] { p->WriterLoop(); });
    store->m_housekeeper = std::thread([p = store.get()] { p->HousekeepLoop(); });
    return store;
}

// Only ever forward: a read of the database that started before a commit of
// this store may come back after it.
void CRankStore::RaiseGeneration(int64_t nSeen) {
    const auto seen = static_cast<uint64_t>(nSeen);
    uint64_t now = m_nGeneration.load();
    while (now < seen && !m_nGeneration.compare_exchange_weak(now, seen)) {
    }
}

// Every kGenerationMs: the commits of other servers on the same database
// (the page cache's key), and for an SQLite file its log is copied into the
// file here, beside the writer, not by the commit that happens to fill it: a
// commit that checkpointed waited for the whole copy and its sync (a p99 of
// 24 ms instead of 4 ms at 5,000 records a second), and a log left to grow
// slows every reader.
void CRankStore::HousekeepLoop() {
    std::string err;
    const bool bSqlite = m_pWriter->Engine() == EEngine::Sqlite;
    std::unique_ptr<CSqlConn> conn = bSqlite ? OpenSqlConn(m_strDb, err) : nullptr;
    std::unique_lock<std::mutex> lock(m_queueMutex);
    while (!m_bStop) {
        m_housekeepCv.wait_for(lock, std::chrono::milliseconds(kGenerationMs));
        if (m_bStop)
            break;
        lock.unlock();
        {
            CLease c(*this);
            int64_t n = 0;
            if (c && SqlScalar(*c, "SELECT value FROM meta WHERE key = 'generation'", {}, n))
                RaiseGeneration(n);
            else
                c.Fail();
        }
        if (conn)
            conn->Exec("PRAGMA wal_checkpoint(PASSIVE)");
        lock.lock();
    }
}

CRankStore::~CRankStore() {
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_bStop = true;
    }
    m_queueCv.notify_all();
    m_housekeepCv.notify_all();
    if (m_writer.joinable())
        m_writer.join();
    if (m_housekeeper.joinable())
        m_housekeeper.join();
}

void CRankStore::Enqueue(SJob job) {
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_queue.push_back(std::move(job));
    }
    m_queueCv.notify_one();
}

void CRankStore::WriterLoop() {
    for (;;) {
        std::vector<SJob> batch;
        {
            std::unique_lock<std::mutex> lock(m_queueMutex);
            m_queueCv.wait(lock, [this] { return m_bStop || !m_queue.empty(); });
            if (m_queue.empty())
                return;  // stopping, and everything answered
            while (!m_queue.empty() && batch.size() < kMaxBatch) {
                batch.push_back(std::move(m_queue.front()));
                m_queue.pop_front();
            }
        }
        RunBatch(batch);
    }
}

// One transaction for the whole batch; when one write in it fails, each is
// tried again alone, so that one bad write costs no other its record.
void CRankStore::RunBatch(std::vector<SJob>& jobs) {
    std::vector<SJob*> order;
    for (SJob& j : jobs)
        order.push_back(&j);
    std::stable_sort(order.begin(), order.end(),
                     [](const SJob* a, const SJob* b) { return a->strOrder < b->strOrder; });
    const int64_t now = NowMs();
    if (RunInTransaction(order, now)) {
        for (SJob* j : order)
            j->fnDone(true);
        return;
    }
    for (SJob* j : order) {
        std::vector<SJob*> one{j};
        j->fnDone(RunInTransaction(one, now));
    }
}

bool CRankStore::RunInTransaction(std::vector<SJob*>& jobs, int64_t nNow) {
    CSqlConn& c = *m_pWriter;
    if (!c.Usable() || !c.Begin()) {
        c.Rollback();
        return false;
    }
    bool ok = true;
    if (c.Engine() == EEngine::Postgres) {
        // Servers on other machines check the same addresses: one at a time
        // per address, locks taken in one order so that none waits in a circle.
        std::set<int64_t> keys;
        for (const SJob* j : jobs)
            keys.insert(AddressKey(j->strClient));
        std::string arr;
        for (const int64_t k : keys)
            arr += (arr.empty() ? "{" : ",") + std::to_string(k);
        // The batch counts its records itself (CountBatch), not the trigger.
        ok = SqlDo(c,
                   "SELECT pg_advisory_xact_lock(k), set_config('doruzoro.batch_counted', 'on', "
                   "true) FROM unnest(?::bigint[]) AS k ORDER BY k",
                   {arr + "}"});
    }
    ok = ok && SqlDo(c, "DELETE FROM submissions WHERE at < ?", {nNow - kMinuteMs});
    ok = ok && (c.Engine() == EEngine::Postgres ? RunJobsPg(c, jobs, nNow) && CountBatch(c, jobs)
                                                : RunJobs(c, jobs, nNow));
    int64_t generation = 0;
    ok = ok && SqlScalar(c,
                         "UPDATE meta SET value = value + 1 WHERE key = 'generation' RETURNING "
                         "value",
                         {}, generation);
    // A failed COMMIT is not retried: it may have reached the disk after all.
    if (ok && c.Commit()) {
        RaiseGeneration(generation);  // before the answers: a page asked next shows the write
        return true;
    }
    c.Rollback();
    return false;
}

bool CRankStore::RunJobs(CSqlConn& c, std::vector<SJob*>& jobs, int64_t nNow) {
    for (SJob* j : jobs)
        if (!j->fnRun(c, nNow))
            return false;
    return true;
}

namespace {

// A replay's game claim, a reserved check or a re-send's upgrade are more
// than the server's submission function does: those run one by one.
bool NeedsItsOwnRun(const SSubmission& sub) {
    return !sub.rec.strReplay.empty() || !sub.strCheckToken.empty() || sub.bUnjudged;
}

}  // namespace

// Consecutive submissions go to the server as one statement, in their order.
bool CRankStore::RunJobsPg(CSqlConn& c, std::vector<SJob*>& jobs, int64_t nNow) {
    std::vector<const SSubmission*> subs;
    std::vector<SSubmitResult*> results;
    auto flush = [&] {
        const bool ok = subs.empty() || DoSubmitsPg(c, subs, nNow, results);
        subs.clear();
        results.clear();
        return ok;
    };
    for (SJob* j : jobs) {
        if (!j->pSub) {
            if (!flush() || !j->fnRun(c, nNow))
                return false;
            continue;
        }
        if (NeedsItsOwnRun(*j->pSub)) {
            if (!flush() || !j->fnRun(c, nNow))
                return false;
            continue;
        }
        *j->pResult = SSubmitResult();
        j->pResult->rec = j->pSub->rec;
        j->pResult->rec.nId = 0;
        if (!Storable(*j->pSub))
            return false;
        subs.push_back(j->pSub.get());
        results.push_back(j->pResult.get());
    }
    return flush();
}

// The batch's stored records added to the counters in one statement. Each
// record's place was read from the counters as they stood before the batch:
// the batch's own records before it are added here, as the one-by-one
// counting of the embedded engine would have it.
bool CRankStore::CountBatch(CSqlConn& c, std::vector<SJob*>& jobs) {
    std::vector<int64_t> levels, verified, scores;
    std::vector<const std::string*> arias;
    std::vector<const SRecord*> earlier;
    for (SJob* j : jobs) {
        SSubmitResult* r = j->pResult.get();
        if (!r || (r->eResult != ESubmit::Stored && r->eResult != ESubmit::Repeated))
            continue;
        for (const SRecord* e : earlier) {
            if (e->nLevel != r->rec.nLevel || e->bVerified != r->rec.bVerified)
                continue;
            ++r->nTotal;
            r->nRank += e->nScore > r->rec.nScore ? 1 : 0;
        }
        if (r->eResult != ESubmit::Stored || r->bSentAgain)  // counted when first stored
            continue;
        ++r->nTotal;  // itself
        earlier.push_back(&r->rec);
        levels.push_back(r->rec.nLevel);
        verified.push_back(r->rec.bVerified ? 1 : 0);
        scores.push_back(r->rec.nScore);
        arias.push_back(&r->rec.strAria);
    }
    if (earlier.empty())
        return true;
    return SqlDo(c, "SELECT rank_count(?::integer[], ?::integer[], ?::integer[], ?::text[])",
                 {IntArray(levels), IntArray(verified), IntArray(scores), TextArray(arias)});
}

void CRankStore::Submit(SSubmission sub, SubmitDone done) {
    auto result = std::make_shared<SSubmitResult>();
    SJob job;
    job.strClient = sub.strClient;
    job.strOrder = sub.rec.strReplay;
    job.pResult = result;
    if (!sub.strFingerprint.empty())
        sub.strFingerprint = Digest(sub.strFingerprint);
    auto pSub = std::make_shared<const SSubmission>(std::move(sub));
    job.pSub = pSub;
    job.fnRun = [pSub, result](CSqlConn& c, int64_t nNow) {
        return DoSubmit(c, *pSub, nNow, *result);
    };
    job.fnDone = [result, done = std::move(done)](bool bCommitted) {
        if (!bCommitted) {
            result->eResult = ESubmit::Failed;
            result->bReplayTaken = false;
        }
        done(*result);
    };
    Enqueue(std::move(job));
}

SSubmitResult CRankStore::SubmitAndWait(SSubmission sub) {
    std::promise<SSubmitResult> promise;
    auto future = promise.get_future();
    Submit(std::move(sub), [&promise](const SSubmitResult& r) { promise.set_value(r); });
    return future.get();
}

EUpload CRankStore::StoreReplay(const std::string& strSha, const std::string& strBody,
                                const std::string& strClient, int nLimitPerMinute,
                                int64_t nBytesPerDay) {
    auto result = std::make_shared<EUpload>(EUpload::Failed);
    std::promise<EUpload> promise;
    auto future = promise.get_future();
    SJob job;
    job.strClient = strClient;
    job.strOrder = strSha;
    job.fnRun = [&, result](CSqlConn& c, int64_t nNow) {
        return DoUpload(c, strSha, strBody, strClient, nLimitPerMinute, nBytesPerDay, nNow,
                        *result);
    };
    job.fnDone = [&promise, result](bool bCommitted) {
        promise.set_value(bCommitted ? *result : EUpload::Failed);
    };
    Enqueue(std::move(job));
    return future.get();
}

void CRankStore::ReserveCheck(const std::string& strClient, int nLimitPerMinute,
                              const std::string& strToken, std::function<void(ESubmit)> done) {
    auto result = std::make_shared<ESubmit>(ESubmit::Failed);
    SJob job;
    job.strClient = strClient;
    job.fnRun = [strClient, nLimitPerMinute, strToken, result](CSqlConn& c, int64_t nNow) {
        return DoReserveCheck(c, strClient, nLimitPerMinute, strToken, nNow, *result);
    };
    job.fnDone = [result, done = std::move(done)](bool bCommitted) {
        done(bCommitted ? *result : ESubmit::Failed);
    };
    Enqueue(std::move(job));
}

// At most kMaxReaders connections read at once: a flood of page requests
// queues here for a reader, never for a write, and cannot use up the
// database server's connections.
std::unique_ptr<CSqlConn> CRankStore::TakeReader() {
    std::unique_ptr<CSqlConn> conn;
    {
        std::unique_lock<std::mutex> lock(m_readerMutex);
        m_readerCv.wait(lock, [this] { return m_nReadersOut < kMaxReaders; });
        ++m_nReadersOut;
        if (!m_arrReaders.empty()) {
            conn = std::move(m_arrReaders.back());
            m_arrReaders.pop_back();
        }
    }
    if (conn && conn->Usable())
        return conn;
    std::string err;
    conn = OpenSqlConn(m_strDb, err);
    if (!conn)
        GiveBack(nullptr);
    return conn;
}

void CRankStore::DropReaders(std::unique_ptr<CSqlConn> conn) {
    std::vector<std::unique_ptr<CSqlConn>> idle;
    {
        std::lock_guard<std::mutex> lock(m_readerMutex);
        idle.swap(m_arrReaders);
    }
    conn.reset();
    idle.clear();  // closed outside the lock
    GiveBack(nullptr);
}

void CRankStore::GiveBack(std::unique_ptr<CSqlConn> conn) {
    {
        std::lock_guard<std::mutex> lock(m_readerMutex);
        --m_nReadersOut;
        if (conn)
            m_arrReaders.push_back(std::move(conn));
    }
    m_readerCv.notify_one();
}

int CRankStore::RankOf(int nLevel, bool bVerified, int nScore) {
    CLease c(*this);
    const int n = c ? Higher(*c, nLevel, bVerified, nScore) : -1;
    if (n < 0)
        c.Fail();
    return n < 0 ? 0 : n + 1;
}

// The place of every score of a page of an area, whose rows other areas'
// records stand between: the counters' rank for each, in one round trip.
std::vector<int> CRankStore::RanksOf(int nLevel, bool bVerified,
                                     const std::vector<int>& arrScores) {
    if (arrScores.empty())
        return {};
    CLease c(*this);
    if (!c)
        return {};
    std::string values;
    for (size_t i = 0; i < arrScores.size(); ++i)
        values += std::string(i ? ", (" : "(") + std::to_string(arrScores[i]) + ", " +
                  std::to_string(i) + ")";
    const std::string sql = "WITH s(sc, o) AS (VALUES " + values + ") SELECT " +
                            SqlHigher(c->Engine(), "p.lv", "p.v", "s.sc") +
                            " FROM (SELECT CAST(? AS INTEGER) AS lv, CAST(? AS INTEGER) AS v) AS "
                            "p CROSS JOIN s ORDER BY s.o";
    auto st = SqlRun(*c, sql, {int64_t{nLevel}, int64_t{bVerified ? 1 : 0}});
    std::vector<int> out;
    while (st && st->Step())
        out.push_back(static_cast<int>(st->Int(0)) + 1);
    if (!st || st->Failed() || out.size() != arrScores.size()) {
        c.Fail();
        return {};
    }
    return out;
}

int CRankStore::Count(int nLevel, bool bVerified) {
    CLease c(*this);
    const int n = c ? Total(*c, nLevel, bVerified) : -1;
    if (n < 0)
        c.Fail();
    return std::max(n, 0);
}

int CRankStore::CountAt(int nLevel, bool bVerified, int nScore) {
    CLease c(*this);
    int64_t n = 0;
    if (!c)
        return 0;
    auto s = SqlRun(*c, "SELECT n FROM score_counts WHERE level = ? AND verified = ? AND score = ?",
                    {int64_t{nLevel}, int64_t{bVerified ? 1 : 0}, int64_t{nScore}});
    if (s && s->Step())
        n = s->Int(0);
    c.Check(s.get());
    return static_cast<int>(n);
}

std::vector<SRecord> CRankStore::Newest(int64_t nAfterId, int nLimit) {
    CLease c(*this);
    if (!c)
        return {};
    const int64_t limit = std::clamp(nLimit, 0, kMaxRows);
    const std::string sql = std::string("SELECT ") + kRecordColumns + " FROM records ";
    auto s = nAfterId > 0
                 ? SqlRun(*c, sql + "WHERE id < ? ORDER BY id DESC LIMIT ?", {nAfterId, limit})
                 : SqlRun(*c, sql + "ORDER BY id DESC LIMIT ?", {limit});
    return Checked(c, s.get(), Rows(s.get()));
}

std::vector<SRecord> CRankStore::NewestAt(int nOffset, int nLimit) {
    if (nOffset < 0 || nOffset > kMaxOffset)
        return {};
    CLease c(*this);
    if (!c)
        return {};
    auto s = SqlRun(
        *c,
        std::string("SELECT ") + kRecordColumns + " FROM records ORDER BY id DESC LIMIT ? OFFSET ?",
        {int64_t{std::clamp(nLimit, 0, kMaxRows)}, int64_t{nOffset}});
    return Checked(c, s.get(), Rows(s.get()));
}

// Two exact index ranges instead of one OR: the rest of the tied score after
// the id, then the lower scores. Neither reads a row it does not return.
std::vector<SRecord> CRankStore::Best(bool bVerified, const std::string* pAria, int nAfterScore,
                                      int64_t nAfterId, int nLimit) {
    CLease c(*this);
    if (!c)
        return {};
    const int64_t v = bVerified ? 1 : 0;
    int64_t limit = std::clamp(nLimit, 0, kMaxRows);
    const std::string head = std::string("SELECT ") + kRecordColumns +
                             " FROM records WHERE level = 1 AND verified = ? AND " +
                             (pAria ? "aria = ? AND " : "");
    const std::string aria = pAria ? *pAria : std::string();
    std::vector<SRecord> out;
    if (nAfterId > 0) {
        auto tied = pAria ? SqlRun(*c, head + "score = ? AND id > ? ORDER BY id LIMIT ?",
                                   {v, aria, int64_t{nAfterScore}, nAfterId, limit})
                          : SqlRun(*c, head + "score = ? AND id > ? ORDER BY id LIMIT ?",
                                   {v, int64_t{nAfterScore}, nAfterId, limit});
        out = Checked(c, tied.get(), Rows(tied.get()));
        limit -= static_cast<int64_t>(out.size());
        if (limit <= 0)
            return out;
        auto lower = pAria ? SqlRun(*c, head + "score < ? ORDER BY score DESC, id LIMIT ?",
                                    {v, aria, int64_t{nAfterScore}, limit})
                           : SqlRun(*c, head + "score < ? ORDER BY score DESC, id LIMIT ?",
                                    {v, int64_t{nAfterScore}, limit});
        return Checked(c, lower.get(), Rows(lower.get(), std::move(out)));
    }
    auto top = pAria ? SqlRun(*c, head + "1 = 1 ORDER BY score DESC, id LIMIT ?", {v, aria, limit})
                     : SqlRun(*c, head + "1 = 1 ORDER BY score DESC, id LIMIT ?", {v, limit});
    return Checked(c, top.get(), Rows(top.get()));
}

std::vector<SRecord> CRankStore::BestAt(bool bVerified, const std::string* pAria, int nOffset,
                                        int nLimit) {
    if (nOffset < 0 || nOffset > kMaxOffset)
        return {};
    CLease c(*this);
    if (!c)
        return {};
    const int64_t v = bVerified ? 1 : 0, limit = std::clamp(nLimit, 0, kMaxRows), off = nOffset;
    const std::string sql = std::string("SELECT ") + kRecordColumns +
                            " FROM records WHERE level = 1 AND verified = ? AND " +
                            (pAria ? "aria = ? " : "1 = 1 ") +
                            "ORDER BY score DESC, id LIMIT ? OFFSET ?";
    auto s = pAria ? SqlRun(*c, sql, {v, *pAria, limit, off}) : SqlRun(*c, sql, {v, limit, off});
    return Checked(c, s.get(), Rows(s.get()));
}

std::vector<SAreaRow> CRankStore::Areas() {
    CLease c(*this);
    std::vector<SAreaRow> out;
    if (!c)
        return out;
    auto s = SqlRun(*c,
                    "SELECT aria, players, best FROM area_totals ORDER BY best DESC, aria "
                    "LIMIT 300",
                    {});
    while (s && s->Step())
        out.push_back({s->Text(0), static_cast<int>(s->Int(1)), static_cast<int>(s->Int(2))});
    return Checked(c, s.get(), std::move(out));
}

bool CRankStore::LoadReplay(const std::string& strSha, std::string& strBody, bool* pClaimed) {
    CLease c(*this);
    auto s = c ? SqlRun(*c,
                        "SELECT body, CASE WHEN claimed_by IS NULL THEN 0 ELSE 1 END FROM replays "
                        "WHERE sha = ? AND length(body) > 0",
                        {strSha})
               : nullptr;
    if (!s || !s->Step()) {
        c.Check(s.get());
        return false;
    }
    strBody = s->Blob(0);
    if (pClaimed)
        *pClaimed = s->Int(1) != 0;
    return true;
}

bool CRankStore::ReplayOfRecord(int64_t nRecordId, std::string& strBody) {
    CLease c(*this);
    auto s = c ? SqlRun(*c,
                        "SELECT p.body FROM records r JOIN replays p ON p.sha = r.replay "
                        "WHERE r.id = ? AND r.verified = 1 AND p.claimed_by = r.id "
                        "AND length(p.body) > 0",
                        {nRecordId})
               : nullptr;
    if (!s || !s->Step()) {
        c.Check(s.get());
        return false;
    }
    strBody = s->Blob(0);
    return true;
}
