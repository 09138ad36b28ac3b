// The records, in an embedded file or a shared database server. Every write
// is durable before it is answered; everything a ranking server must agree on
// with its peers (the per-address limit, repeats, uploaded replays) lives in
// the database, so any number of servers can share one ranking.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CSqlConn;
class CSqlStmt;

struct SRecord {
    int64_t nId = 0;
    std::string strAria, strName;
    int nLevel = 0;  // 0 tutorial, 1 game
    int nScore = 0;
    bool bVerified = false;
    std::string strReplay;  // lowercase hex SHA-256 of the replay the record names, or empty
};

struct SAreaRow {
    std::string strAria;
    int nPlayers = 0;
    int nBest = 0;
};

struct SSubmission {
    SRecord rec;                 // bVerified: the caller has verified rec.strReplay for this record
    std::string strClient;       // the player's address, for the limit
    std::string strFingerprint;  // identical requests (same fingerprint) within one second are one
                                 // record; empty: never a repeat
    int nLimitPerMinute = 10;    // records one address may send a minute, counted in the database
    // With bVerified: the digest of the game the replay holds (SCheckResult::strGameDigest).
    // A game verifies one record, ever, however its file is packed.
    std::string strGame;
    // The check of its replay reserved by ReserveCheck under this token, or empty.
    std::string strCheckToken;
    // Stored unverified because its replay could not be checked (the server
    // was busy or shutting down): the same record sent again later, its
    // replay checked then, verifies this one instead of adding another.
    bool bUnjudged = false;
};

// The highest score a record may hold.
constexpr int kMaxScore = 1000000;

enum class ESubmit { Stored, Repeated, Limited, Failed };

struct SSubmitResult {
    ESubmit eResult = ESubmit::Failed;
    SRecord rec;                // as stored: nId set; bVerified false when its replay was taken
    bool bReplayTaken = false;  // the replay was claimed by an earlier record
    bool bSentAgain = false;    // the answer is an earlier record's, kept unjudged until now
    int nRank = 0;   // 1 + records of the same level and verified state with a higher score
    int nTotal = 0;  // records of the same level and verified state
};

using SubmitDone = std::function<void(const SSubmitResult&)>;

// Limited: too many uploads this minute; TooMuch: too many bytes this day.
enum class EUpload { Stored, AlreadyThere, Limited, TooMuch, Failed };

class CRankStore {
public:
    // nullptr with the reason in strError when the database cannot be used.
    // strDb: a file path, or a postgresql:// URI.
    static std::unique_ptr<CRankStore> Open(const std::string& strDb, std::string& strError);
    ~CRankStore();  // answers everything queued before it returns
    CRankStore(const CRankStore&) = delete;
    CRankStore& operator=(const CRankStore&) = delete;

    // Thread-safe. `done` is called exactly once, from the writer thread, after
    // the transaction that holds the record is durable (or with Failed).
    // Never blocks the caller.
    void Submit(SSubmission sub, SubmitDone done);
    SSubmitResult SubmitAndWait(SSubmission sub);

    // Reads: thread-safe, never wait behind a write in progress.
    int RankOf(int nLevel, bool bVerified, int nScore);
    // RankOf of each score, in one query; empty when the database cannot be read.
    std::vector<int> RanksOf(int nLevel, bool bVerified, const std::vector<int>& arrScores);
    int Count(int nLevel, bool bVerified);
    // Records of one level and verified state with exactly this score.
    int CountAt(int nLevel, bool bVerified, int nScore);
    // Newest first; rows with an id below nAfterId (0: from the newest).
    std::vector<SRecord> Newest(int64_t nAfterId, int nLimit);
    // Level 1 records of one verified state, best first, ties by id; pAria
    // limits to one area. Rows strictly after (nAfterScore, nAfterId) in that
    // order; nAfterId 0 = from the top.
    std::vector<SRecord> Best(bool bVerified, const std::string* pAria, int nAfterScore,
                              int64_t nAfterId, int nLimit);
    // The first pages by number: nOffset up to kMaxOffset, else nothing.
    static constexpr int kMaxOffset = 1000;
    std::vector<SRecord> NewestAt(int nOffset, int nLimit);
    std::vector<SRecord> BestAt(bool bVerified, const std::string* pAria, int nOffset, int nLimit);
    std::vector<SAreaRow> Areas();  // verified level-1 records only
    // Changes with every commit (a page cache's key). Never touches the
    // database: this store's commits set it, a thread of the store reads
    // those of other servers on the same database.
    uint64_t Generation() const { return m_nGeneration.load(); }

    // Uploads no record has claimed are deleted after a day (by the uploads
    // that come later, a few with each); one address may upload this many
    // bytes a day.
    static constexpr int64_t kUploadKeepMs = 24 * 3600 * 1000;
    static constexpr int64_t kUploadBytesPerDay = 8 << 20;

    // Uploaded replays, stored under their hash; limited per address per
    // minute in number and per day in bytes.
    EUpload StoreReplay(const std::string& strSha, const std::string& strBody,
                        const std::string& strClient, int nLimitPerMinute,
                        int64_t nBytesPerDay = kUploadBytesPerDay);
    // Before a replay is checked: the check counts against its address as a
    // record does (records and checks together within nLimitPerMinute), so
    // that no address fills the checks' queue. `done` gets Stored (the check
    // may run; its record then carries strToken), Limited or Failed, from
    // the writer thread.
    void ReserveCheck(const std::string& strClient, int nLimitPerMinute,
                      const std::string& strToken, std::function<void(ESubmit)> done);
    // pClaimed, when given, tells whether a record has already claimed it.
    bool LoadReplay(const std::string& strSha, std::string& strBody, bool* pClaimed = nullptr);
    bool ReplayOfRecord(int64_t nRecordId, std::string& strBody);  // of a verified record only

    // Reads on the calling thread that failed (no connection, a statement
    // that failed), ever: a change across calls means their answers are not
    // to be trusted, whatever they returned.
    static int ReadFailuresOnThisThread();

    // Most connections reading at once.
    static constexpr int kMaxReaders = 32;
    // Most writes one transaction of the writer carries.
    static constexpr size_t kMaxBatch = 256;

private:
    // One write for the writer thread: run inside the batch's transaction
    // (false fails the transaction), then told whether it was committed.
    struct SJob {
        std::string strClient;  // its address is locked for the transaction
        // Jobs run in the order of the replay each one writes, so that two
        // servers' batches take those rows in one order.
        std::string strOrder;
        std::shared_ptr<const SSubmission> pSub;  // a submission's, run with its neighbours
        std::shared_ptr<SSubmitResult> pResult;   // and counted by the batch
        std::function<bool(CSqlConn&, int64_t nNowMs)> fnRun;
        std::function<void(bool bCommitted)> fnDone;
    };
    class CLease;
    explicit CRankStore(std::string strDb);
    void Enqueue(SJob job);
    void WriterLoop();
    void HousekeepLoop();
    void RaiseGeneration(int64_t nSeen);
    void RunBatch(std::vector<SJob>& jobs);
    bool RunInTransaction(std::vector<SJob*>& jobs, int64_t nNow);
    static bool RunJobs(CSqlConn& c, std::vector<SJob*>& jobs, int64_t nNow);
    static bool RunJobsPg(CSqlConn& c, std::vector<SJob*>& jobs, int64_t nNow);
    static bool CountBatch(CSqlConn& c, std::vector<SJob*>& jobs);
    std::unique_ptr<CSqlConn> TakeReader();
    void GiveBack(std::unique_ptr<CSqlConn> conn);
    void DropReaders(std::unique_ptr<CSqlConn> conn);
    template <typename T>
    static T Checked(CLease& c, const CSqlStmt* s, T rows);

    const std::string m_strDb;
    std::unique_ptr<CSqlConn> m_pWriter;
    std::mutex m_queueMutex;
    std::condition_variable m_queueCv;
    std::deque<SJob> m_queue;
    bool m_bStop = false;
    std::mutex m_readerMutex;
    std::condition_variable m_readerCv;
    std::vector<std::unique_ptr<CSqlConn>> m_arrReaders;  // idle
    int m_nReadersOut = 0;
    std::thread m_writer;
    static constexpr int64_t kGenerationMs = 100;
    std::atomic<uint64_t> m_nGeneration{0};
    std::condition_variable m_housekeepCv;  // wakes the housekeeper to stop
    std::thread m_housekeeper;
};
