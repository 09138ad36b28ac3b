#include "server/VerifiedRanking.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <utility>

#include "platform/digest.h"
#include "replay/ReplayCodec.h"
#include "server/RecordRules.h"
#include "server/ReplayCheck.h"

namespace {

constexpr const char* kTaken = "the replay was already sent with another record";

bool IsReplayKey(const std::string& key) {
    return key.size() == 64 && std::all_of(key.begin(), key.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// Only the frame is looked at here: the whole replay is re-played when a
// record names it, and bytes that are not a replay are not worth a row.
bool LooksLikeReplay(const std::string& body) {
    return body.size() > sizeof replay::kMagic &&
           std::memcmp(body.data(), replay::kMagic, sizeof replay::kMagic) == 0;
}

}  // namespace

std::string SubmissionText(const SSubmitResult& result, const std::string& strNotVerified) {
    switch (result.eResult) {
        case ESubmit::Limited:
            return "Not registered: too many records from your address. Try again in a minute.";
        case ESubmit::Failed:
            return "Not registered: the ranking cannot store records now.";
        case ESubmit::Stored:
        case ESubmit::Repeated:
            break;
    }
    std::string text = "Registered.";
    std::string among;
    if (!result.rec.bVerified) {
        const std::string why = result.bReplayTaken ? kTaken : strNotVerified;
        text = "Registered (not verified: " + why + ").";
        among = " (unverified)";
    }
    // The game shows this text as it stands, so it echoes nothing typed.
    return text + "<P>Score " + std::to_string(result.rec.nScore) + "<P>Rank " +
           std::to_string(result.nRank) + " of " + std::to_string(result.nTotal) + among;
}

struct CVerifiedRanking::SChecks {
    std::mutex mutex;
    CReplayChecker* pChecker = nullptr;
};

struct CVerifiedRanking::SPending {
    SSubmission sub;
    std::string strBody;
    TextDone done;
};

namespace {

void Store(CRankStore& store, SSubmission sub, const std::string& strNotVerified,
           CVerifiedRanking::TextDone done) {
    store.Submit(std::move(sub), [strNotVerified, done](const SSubmitResult& result) {
        done(SubmissionText(result, strNotVerified));
    });
}

// Names the reservation of one check among every server's on the database.
std::string NewCheckToken() {
    static const uint64_t seed = (uint64_t{std::random_device{}()} << 32) ^ std::random_device{}();
    static std::atomic<uint64_t> next{0};
    char token[48];
    std::snprintf(token, sizeof token, "check %016llx %llu", static_cast<unsigned long long>(seed),
                  static_cast<unsigned long long>(++next));
    return token;
}

// The check did not run: its record is stored to be verified when sent again.
bool Unjudged(const SCheckResult& result) {
    return !result.bVerified && (result.strReason == checkreason::kBusy ||
                                 result.strReason == checkreason::kShuttingDown);
}

void RunCheck(CRankStore& store, CVerifiedRanking::SChecks& checks,
              const std::shared_ptr<CVerifiedRanking::SPending>& p) {
    std::lock_guard<std::mutex> lock(checks.mutex);
    if (!checks.pChecker) {
        p->sub.bUnjudged = true;
        return Store(store, std::move(p->sub), checkreason::kShuttingDown, std::move(p->done));
    }
    const int nLevel = p->sub.rec.nLevel;
    const int nScore = p->sub.rec.nScore;
    checks.pChecker->Check(
        std::move(p->strBody), nLevel, nScore, [&store, p](const SCheckResult& result) {
            p->sub.rec.bVerified = result.bVerified;
            p->sub.strGame = result.strGameDigest;
            p->sub.bUnjudged = Unjudged(result);
            Store(store, std::move(p->sub), result.strReason, std::move(p->done));
        });
}

}  // namespace

CVerifiedRanking::CVerifiedRanking(CRankStore& store, CReplayChecker* pChecker)
    : m_store(store), m_pChecks(std::make_shared<SChecks>()) {
    m_pChecks->pChecker = pChecker;
}

CVerifiedRanking::~CVerifiedRanking() {
    StopChecks();
}

void CVerifiedRanking::StopChecks() {
    std::lock_guard<std::mutex> lock(m_pChecks->mutex);
    m_pChecks->pChecker = nullptr;
}

void CVerifiedRanking::Submit(SSubmission sub, const std::string& strReplayKey, TextDone done) {
    sub.strClient = LimitKey(sub.strClient);
    sub.rec.bVerified = false;
    sub.rec.strReplay.clear();
    if (strReplayKey.empty())
        return Store(m_store, std::move(sub), "no replay came with it", std::move(done));
    if (!IsReplayKey(strReplayKey))
        return Store(m_store, std::move(sub), "the replay key is not a replay's name",
                     std::move(done));
    std::string body;
    bool bClaimed = false;
    if (!m_store.LoadReplay(strReplayKey, body, &bClaimed))
        return Store(m_store, std::move(sub), "its replay did not arrive", std::move(done));
    // A replay verifies one record only: one already claimed is not re-played
    // again for every record that names it.
    if (bClaimed)
        return Store(m_store, std::move(sub), kTaken, std::move(done));
    bool bChecks = false;
    {
        std::lock_guard<std::mutex> lock(m_pChecks->mutex);
        bChecks = m_pChecks->pChecker != nullptr;
    }
    if (!bChecks)
        return Store(m_store, std::move(sub), "this server does not check replays",
                     std::move(done));
    sub.rec.strReplay = strReplayKey;
    sub.strCheckToken = NewCheckToken();
    const std::string client = sub.strClient, token = sub.strCheckToken;
    const int nLimit = sub.nLimitPerMinute;
    auto pending =
        std::make_shared<SPending>(SPending{std::move(sub), std::move(body), std::move(done)});
    // Counted before it runs, a failed check included: no address's records
    // keep the checks' queue full for everyone else.
    CRankStore& store = m_store;
    m_store.ReserveCheck(client, nLimit, token, [&store, checks = m_pChecks, pending](ESubmit e) {
        if (e == ESubmit::Stored)
            return RunCheck(store, *checks, pending);
        SSubmitResult refused;
        refused.eResult = e;
        pending->done(SubmissionText(refused, ""));
    });
}

int CVerifiedRanking::Upload(const std::string& strBody, const std::string& strClient,
                             int nLimitPerMinute, std::string& strText) {
    if (!LooksLikeReplay(strBody)) {
        strText = "Not stored: this is not a replay.";
        return 400;
    }
    const std::string sha = plat::Sha256Hex(strBody);
    switch (m_store.StoreReplay(sha, strBody, LimitKey(strClient), nLimitPerMinute)) {
        case EUpload::Stored:
        case EUpload::AlreadyThere:
            strText = "Stored " + sha;
            return 200;
        case EUpload::Limited:
            strText = "Not stored: too many replays from your address. Try again in a minute.";
            return 429;
        case EUpload::TooMuch:
            strText =
                "Not stored: too many replay bytes from your address today. Try again "
                "tomorrow.";
            return 429;
        case EUpload::Failed:
            break;
    }
    strText = "Not stored: the ranking cannot store replays now.";
    return 503;
}
