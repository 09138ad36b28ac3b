// Re-runs a recorded game on a clock fed by the recorded counter values,
// with no window on screen and no sound, and says whether it ran in step.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "replay/ReplayCodec.h"

namespace replay {

enum class EVerdict {
    InStep,           // ran to its end, every value read by exactly the read that asked for it
    Unreadable,       // not a replay, damaged, cut short or too large
    OtherVersion,     // recorded by another program version
    GeometryDiffers,  // client or picture sizes that are not the game's
    Diverged,         // the re-run read the counter more or less often than recorded
    TooLong,          // more events than the caller allows
    SummaryDiffers,   // in step, but the file claims another outcome
};
// The verifier's exit status for each verdict.
int ExitStatus(EVerdict verdict);

struct SStageHash {
    int nStage = 0;
    uint64_t qwHash = 0;
};

struct SVerifyResult {
    EVerdict verdict = EVerdict::Unreadable;
    EReadStatus readStatus = EReadStatus::Ok;
    std::string strReason;  // empty when in step
    SHeader header;
    SSummary outcome;  // where the re-run ended
    SSummary claimed;  // what the file says
    // The state after each event that changed the stage, the start included.
    std::vector<SStageHash> arrStages;
    uint64_t nEvents = 0;
};

struct SVerifyLimits {
    uint64_t nMaxEvents = 4000000;
    // The file and its inflated data; a server keeps both far below the format's.
    size_t nMaxFileBytes = kMaxFileBytes;
    size_t nMaxDataBytes = kMaxDataBytes;
    // Program versions whose games this library re-runs alike; empty: this
    // program's own only.
    std::vector<std::string> arrVersions;
};

SVerifyResult VerifyReplay(const std::string& file, const SGeometry& official,
                           const SVerifyLimits& limits = SVerifyLimits());

// The lines the verifier prints for a result.
std::string DescribeResult(const SVerifyResult& result);

}  // namespace replay
