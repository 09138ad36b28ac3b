#include "server/ReplayCheck.h"

#include <algorithm>
#include <utility>

#include "replay/ReplayGame.h"

namespace checkreason {
const char* const kDamaged = "the replay is damaged or not a replay";
const char* const kOtherVersion = "the replay was recorded by another version of the game";
const char* const kOtherData = "the replay does not match the game's data";
const char* const kNotInStep = "the replay does not run in step";
const char* const kOtherMode = "the replay is of another mode";
const char* const kNotThisScore = "the replay does not reach this score";
const char* const kTooLong = "the replay is too long";
const char* const kBadClock = "the replay's clock does not run as the game's timer does";
const char* const kPaintsMissing = "the replay leaves out the game's paints";
const char* const kTooCostly = "the replay takes too long to check";
const char* const kBusy = "the server is busy; try again later";
const char* const kShuttingDown = "the server is shutting down";
}  // namespace checkreason

namespace {

constexpr int kMaxWorkers = 16;

// The submitted level is the game's mode less one: 0 the tutorial, 1 a game;
// no replay is of a level that is neither.
int ModeOfLevel(int nLevel) {
    return nLevel == 0 || nLevel == 1 ? nLevel + 1 : -1;
}

// Too long is for what is honestly too big; a stream that inflates past the
// size its own frame gives is damaged.
bool OverLimits(const std::string& file, const SCheckLimits& limits) {
    constexpr size_t kSizeAt = sizeof replay::kMagic + 1;
    if (file.size() > limits.nMaxFileBytes)
        return true;
    if (file.size() < kSizeAt + 4)
        return false;
    uint32_t nData = 0;
    for (size_t i = 0; i < 4; ++i)
        nData |= static_cast<uint32_t>(static_cast<uint8_t>(file[kSizeAt + i])) << (8 * i);
    return nData > limits.nMaxDataBytes;
}

SCheckResult NotVerified(const char* pReason, std::string strGameDigest = std::string()) {
    SCheckResult r;
    r.strReason = pReason;
    r.strGameDigest = std::move(strGameDigest);
    return r;
}

const char* ReasonOf(const replay::SVerifyResult& v) {
    using replay::EVerdict;
    switch (v.verdict) {
        case EVerdict::InStep:
            return nullptr;
        case EVerdict::Unreadable:
            return v.readStatus == replay::EReadStatus::TooLarge ? checkreason::kTooLong
                                                                 : checkreason::kDamaged;
        case EVerdict::OtherVersion:
            return checkreason::kOtherVersion;
        case EVerdict::GeometryDiffers:
            return checkreason::kOtherData;
        case EVerdict::Diverged:
        case EVerdict::SummaryDiffers:
            // A summary that is not where the game ends is an edited file.
            return checkreason::kNotInStep;
        case EVerdict::TooLong:
            return checkreason::kTooLong;
        case EVerdict::OtherMode:
            return checkreason::kOtherMode;
        case EVerdict::ClockForged:
            return checkreason::kBadClock;
        case EVerdict::PaintsMissing:
            return checkreason::kPaintsMissing;
        case EVerdict::TooCostly:
            return checkreason::kTooCostly;
    }
    return checkreason::kDamaged;
}

}  // namespace

const std::vector<std::string>& CReplayChecker::KnownVersions() {
    // The game's library says which versions' games still re-run alike.
    return replay::RerunVersions();
}

std::unique_ptr<CReplayChecker> CReplayChecker::Create(const std::string& strDataDir, int nWorkers,
                                                       size_t nMaxQueue, std::string& strError) {
    replay::SGeometry official;
    if (!replay::OfficialGeometry(strDataDir, official, strError))
        return nullptr;
    return Create(official, nWorkers, nMaxQueue, SCheckLimits(), strError);
}

std::unique_ptr<CReplayChecker> CReplayChecker::Create(const replay::SGeometry& official,
                                                       int nWorkers, size_t nMaxQueue,
                                                       const SCheckLimits& limits,
                                                       std::string& strError) {
    if (nWorkers < 1 || nWorkers > kMaxWorkers) {
        strError = "the number of replay checkers must be 1 to " + std::to_string(kMaxWorkers);
        return nullptr;
    }
    if (nMaxQueue < 1) {
        strError = "the replay check queue must hold at least one replay";
        return nullptr;
    }
    std::unique_ptr<CReplayChecker> p(new CReplayChecker(official, nMaxQueue, limits));
    for (int i = 0; i < nWorkers; ++i)
        p->m_arrWorkers.emplace_back([raw = p.get()] { raw->Work(); });
    return p;
}

CReplayChecker::CReplayChecker(const replay::SGeometry& official, size_t nMaxQueue,
                               const SCheckLimits& limits)
    : m_official(official), m_nMaxQueue(nMaxQueue), m_limits(limits) {}

CReplayChecker::~CReplayChecker() {
    std::deque<SJob> waiting;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_bStopping = true;
        waiting.swap(m_arrQueue);
    }
    m_cvWork.notify_all();
    // Answered outside the lock: a callback may call Check again (it is
    // then answered at once).
    for (SJob& job : waiting)
        job.done(NotVerified(checkreason::kShuttingDown));
    for (std::thread& t : m_arrWorkers)
        t.join();
}

void CReplayChecker::Check(std::string strReplay, int nLevel, int nScore,
                           std::function<void(const SCheckResult&)> done) {
    if (!done)
        return;  // nobody to answer: the work would be thrown away
    const char* pRefusal = nullptr;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_bStopping)
            pRefusal = checkreason::kShuttingDown;
        else if (m_arrQueue.size() >= m_nMaxQueue)
            pRefusal = checkreason::kBusy;
        else
            m_arrQueue.push_back({std::move(strReplay), nLevel, nScore, std::move(done)});
    }
    if (pRefusal)
        done(NotVerified(pRefusal));
    else
        m_cvWork.notify_one();
}

void CReplayChecker::Work() {
    for (;;) {
        SJob job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_cvWork.wait(lock, [this] { return m_bStopping || !m_arrQueue.empty(); });
            if (m_arrQueue.empty())
                return;  // stopping, and nothing left to do
            job = std::move(m_arrQueue.front());
            m_arrQueue.pop_front();
        }
        job.done(CheckNow(job.strReplay, job.nLevel, job.nScore));
    }
}

SCheckResult CReplayChecker::CheckNow(const std::string& strReplay, int nLevel, int nScore) const {
    // The header is read first, and a replay of the other mode is refused
    // without a re-run; the data is inflated once.
    replay::SVerifyLimits limits;
    limits.nMaxEvents = m_limits.nMaxEvents;
    limits.nMaxFileBytes = m_limits.nMaxFileBytes;
    limits.nMaxDataBytes = m_limits.nMaxDataBytes;
    limits.arrVersions = KnownVersions();
    limits.nMode = ModeOfLevel(nLevel);
    limits.nCpuMs = m_limits.nCpuMs;
    const replay::SVerifyResult v = replay::VerifyReplay(strReplay, m_official, limits);
    if (v.verdict == replay::EVerdict::Unreadable &&
        v.readStatus == replay::EReadStatus::TooLarge && !OverLimits(strReplay, m_limits))
        return NotVerified(checkreason::kDamaged, v.strGameDigest);
    if (const char* pReason = ReasonOf(v))
        return NotVerified(pReason, v.strGameDigest);
    // The re-run's outcome, not the file's claim (they agree once in step).
    if (v.outcome.nScore != nScore)
        return NotVerified(checkreason::kNotThisScore, v.strGameDigest);
    SCheckResult r;
    r.bVerified = true;
    r.strGameDigest = v.strGameDigest;
    return r;
}
