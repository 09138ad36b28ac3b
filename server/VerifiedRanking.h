// A record with its replay: the replay is re-played before the record counts
// as verified, and the reply says which it is.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "server/RankStore.h"

class CReplayChecker;

// What a reply to a submission reads, between the markers.
std::string SubmissionText(const SSubmitResult& result, const std::string& strNotVerified);

class CVerifiedRanking {
public:
    // pChecker may be null: every record is then stored unverified.
    CVerifiedRanking(CRankStore& store, CReplayChecker* pChecker);
    ~CVerifiedRanking();
    CVerifiedRanking(const CVerifiedRanking&) = delete;
    CVerifiedRanking& operator=(const CVerifiedRanking&) = delete;

    using TextDone = std::function<void(const std::string& strText)>;
    // strReplayKey: the "replay" query value, empty when the game sent none.
    // done is called once, from whichever thread finishes the work. The
    // address is counted by LimitKey; a replay's check counts against it
    // before it runs.
    void Submit(SSubmission sub, const std::string& strReplayKey, TextDone done);

    // An upload: stored under its SHA-256; the text and the HTTP status to answer.
    int Upload(const std::string& strBody, const std::string& strClient, int nLimitPerMinute,
               std::string& strText);

    // Before the checker goes: checks reserved after this are answered as
    // when shutting down. Waits for a check being handed to the checker.
    void StopChecks();

    struct SChecks;
    struct SPending;

private:
    CRankStore& m_store;
    std::shared_ptr<SChecks> m_pChecks;  // shared with the reservations still in the store's queue
};
