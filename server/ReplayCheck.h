// The server's check of an uploaded replay: the game is re-run with the
// game's own library before its score is believed. Checks run on a few
// worker threads behind a bounded queue, so a flood of uploads costs a
// bounded amount of time and memory.
#pragma once
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "replay/ReplayCodec.h"
#include "replay/ReplayVerify.h"

struct SCheckResult {
    bool bVerified = false;
    // Empty when verified; else a short reason a player reads after
    // "Registered (not verified: " ... ")."
    std::string strReason;
    // The SHA-256 (lowercase hex) of the game the replay holds, its decoded
    // header and events, for every replay that decodes whole, verified or
    // not: two files with one game (compressed otherwise, say) share it.
    // Empty for one that does not decode.
    std::string strGameDigest;
};

// The reasons, as the player reads them.
namespace checkreason {
extern const char* const kDamaged;
extern const char* const kOtherVersion;
extern const char* const kOtherData;
extern const char* const kNotInStep;
extern const char* const kOtherMode;
extern const char* const kNotThisScore;
extern const char* const kTooLong;
extern const char* const kBadClock;
extern const char* const kPaintsMissing;
extern const char* const kTooCostly;
extern const char* const kBusy;
extern const char* const kShuttingDown;
}  // namespace checkreason

// What one check may cost. A whole ten-stage game is about 1.2 KB
// compressed, 45 KB inflated and 20,000 events, re-run in under a
// millisecond; the costliest upload these limits let through takes a few.
struct SCheckLimits {
    size_t nMaxFileBytes = 256u << 10;  // what the front accepts as an upload
    size_t nMaxDataBytes = 1u << 20;
    uint64_t nMaxEvents = 200000;
    // Processor time of its worker one check may take: a bound for what the
    // limits above miss. The costliest upload they let through takes about
    // 40 ms here (500 under the sanitizers), so a slow server has room.
    uint32_t nCpuMs = 1000;
};

class CReplayChecker {
public:
    // strDataDir: the game's data folder (the official picture sizes come
    // from it). nWorkers threads (1..16), at most nMaxQueue (>= 1) checks
    // waiting. Null with the reason when the data can't be read.
    static std::unique_ptr<CReplayChecker> Create(const std::string& strDataDir, int nWorkers,
                                                  size_t nMaxQueue, std::string& strError);
    // Tests and the fuzzer give the sizes themselves.
    static std::unique_ptr<CReplayChecker> Create(const replay::SGeometry& official, int nWorkers,
                                                  size_t nMaxQueue, const SCheckLimits& limits,
                                                  std::string& strError);
    // Answers every queued check (not verified: the server is shutting
    // down) and waits for the running ones before it returns.
    ~CReplayChecker();
    CReplayChecker(const CReplayChecker&) = delete;
    CReplayChecker& operator=(const CReplayChecker&) = delete;

    // Thread-safe, never blocks: done is called exactly once, from a worker
    // thread, or at once on the caller's thread when the queue is full.
    void Check(std::string strReplay, int nLevel, int nScore,
               std::function<void(const SCheckResult&)> done);
    // The same rules on the caller's thread.
    SCheckResult CheckNow(const std::string& strReplay, int nLevel, int nScore) const;

    // The program versions whose replays this server re-runs.
    static const std::vector<std::string>& KnownVersions();
    const SCheckLimits& Limits() const { return m_limits; }

private:
    struct SJob {
        std::string strReplay;
        int nLevel = 0;
        int nScore = 0;
        std::function<void(const SCheckResult&)> done;
    };

    CReplayChecker(const replay::SGeometry& official, size_t nMaxQueue, const SCheckLimits& limits);
    void Work();

    const replay::SGeometry m_official;
    const size_t m_nMaxQueue;
    const SCheckLimits m_limits;
    std::mutex m_mutex;
    std::condition_variable m_cvWork;
    std::deque<SJob> m_arrQueue;
    bool m_bStopping = false;
    std::vector<std::thread> m_arrWorkers;
};
