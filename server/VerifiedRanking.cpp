#include "server/VerifiedRanking.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/digest.h"
#include "replay/ReplayCodec.h"
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

void CVerifiedRanking::Submit(SSubmission sub, const std::string& strReplayKey, TextDone done) {
    sub.rec.bVerified = false;
    sub.rec.strReplay.clear();
    if (strReplayKey.empty())
        return Store(std::move(sub), "no replay came with it", std::move(done));
    if (!IsReplayKey(strReplayKey))
        return Store(std::move(sub), "the replay key is not a replay's name", std::move(done));
    std::string body;
    bool bClaimed = false;
    if (!m_store.LoadReplay(strReplayKey, body, &bClaimed))
        return Store(std::move(sub), "its replay did not arrive", std::move(done));
    // A replay verifies one record only: one already claimed is not re-played
    // again for every record that names it.
    if (bClaimed)
        return Store(std::move(sub), kTaken, std::move(done));
    if (!m_pChecker)
        return Store(std::move(sub), "this server does not check replays", std::move(done));
    const int nLevel = sub.rec.nLevel;
    const int nScore = sub.rec.nScore;
    sub.rec.strReplay = strReplayKey;
    auto pending = std::make_shared<SSubmission>(std::move(sub));
    m_pChecker->Check(std::move(body), nLevel, nScore,
                      [this, pending, done](const SCheckResult& result) mutable {
                          pending->rec.bVerified = result.bVerified;
                          pending->strGame = result.strGameDigest;
                          Store(std::move(*pending), result.strReason, std::move(done));
                      });
}

void CVerifiedRanking::Store(SSubmission sub, const std::string& strNotVerified, TextDone done) {
    m_store.Submit(std::move(sub), [strNotVerified, done](const SSubmitResult& result) {
        done(SubmissionText(result, strNotVerified));
    });
}

int CVerifiedRanking::Upload(const std::string& strBody, const std::string& strClient,
                             int nLimitPerMinute, std::string& strText) {
    if (!LooksLikeReplay(strBody)) {
        strText = "Not stored: this is not a replay.";
        return 400;
    }
    const std::string sha = plat::Sha256Hex(strBody);
    switch (m_store.StoreReplay(sha, strBody, strClient, nLimitPerMinute)) {
        case EUpload::Stored:
        case EUpload::AlreadyThere:
            strText = "Stored " + sha;
            return 200;
        case EUpload::Limited:
            strText = "Not stored: too many replays from your address. Try again in a minute.";
            return 429;
        case EUpload::Failed:
            break;
    }
    strText = "Not stored: the ranking cannot store replays now.";
    return 503;
}
